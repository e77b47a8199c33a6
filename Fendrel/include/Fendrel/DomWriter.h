// Writes a DOM node and its descendants as XML text.
#pragma once

#include <xercesc/dom/DOMNode.hpp>

#include <string>

// The markup of the node followed by one line feed; no indentation is added. A
// document the library created starts with its XML declaration. Attribute values and
// text are escaped, and every character above 126 is written as one "&#N;" per code
// point, so the text is plain ASCII apart from names, comments, CDATA sections and
// processing instructions. Those are written in the encoding the text declares:
// iso-8859-1 for a whole document the library created (a CDATA section holds a
// character beyond it as a reference; a name, comment or processing instruction that
// holds one cannot be written), UTF-8 for everything else, which has no declaration.
// Returns "" when the node is null or the text cannot be built.
std::string SerializeNode(const xercesc::DOMNode* node);
