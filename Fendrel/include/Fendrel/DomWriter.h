// Writes a DOM node and its descendants as XML text.
#pragma once

#include <xercesc/dom/DOMNode.hpp>

#include <string>

// The markup of the node followed by one line feed; no indentation is added. A
// document the library created starts with its XML declaration. Attribute values and
// text are escaped, and every character above 126 is written as one "&#N;" per code
// point, so the text is plain ASCII apart from names, comments, CDATA sections and
// processing instructions (UTF-8). Returns "" when the node is null or the text cannot
// be built.
std::string SerializeNode(const xercesc::DOMNode* node);
