// Thin layer over the DOM of xerces-c: parsing from memory (optionally validating
// against a DTD read from a local folder), finding, creating and ordering elements,
// element text, empty documents, escaping and reading numbers out of sample text.
// No function throws: each catches every parser and DOM exception and reports false.
#pragma once

#include "OrvaneXercesUtils/XmlString.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/ErrorHandler.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::xml {

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;

// Shared owner of one DOM document; the last owner releases it.
using XmlDocument = std::shared_ptr<DOMDocument>;
XmlDocument AdoptDocument(DOMDocument* document);

// Tag names in the order in which the children of one parent stand.
using TagOrder = std::vector<std::string>;

// Upper bound on entity expansions in one parse (external entities read as nothing and
// internal ones are refused, so only the predefined entities remain).
constexpr size_t kEntityExpansionLimit = 10000;
// Upper bound on element nesting in a parsed document. The DOM's deep copy (importNode)
// and node release recurse once per level, so a hostile document nested deeper than
// this would exhaust the stack later; no document of this system comes near it.
constexpr unsigned kMaxElementDepth = 1000;

// Parses text held in memory. With validate, the handler (or a tracing one when null)
// is installed and a text with a DOCTYPE is validated against the DTD it names: the
// .dtd file of that name in the DTD folder. When that file cannot be named (no folder,
// not a .dtd name) the parse fails and the handler is told why. Nothing else external
// is ever loaded, and without validation nothing external at all. A text that
// declares an entity with text of its own, or nests deeper than kMaxElementDepth,
// fails. On success the new document is handed out; on failure `document` is left as
// it was.
bool ParseFromMemory(const char* text, XmlDocument& document, bool validate,
                     xercesc::ErrorHandler* handler, const char* dtdFolder);

// Parses one fragment into a document of its own (held by `holder`) and hands out
// its document element.
bool ParseElementText(const char* text, XmlDocument& holder, DOMElement*& element);

// Replaces the caller's document by a new one. Document mode builds a whole document
// with XML declaration and DOCTYPE (root TOPOVEL: ID, NAME, TOPOVEL_VERSION and the
// empty NET_OBJECTS and LINKS; root TALLIVORE: the same attributes and an empty
// NET_OBJECTS_STATS). Element mode builds only the root with ID and NAME when given.
// On failure the caller's field is left empty.
bool CreateEmptyDocument(XmlDocument& document, const char* rootTag, const char* id,
                         const char* name, const char* dtdFileName, const char* version,
                         bool documentMode);

// First element of that tag anywhere in the document / below the element.
bool GetFirstElementByTag(const char* tag, const DOMDocument* document, DOMElement*& out);
bool GetFirstElementByTag(const char* tag, const DOMElement* parent, DOMElement*& out);
// First direct child element with exactly that tag.
bool GetChildElementByTag(const char* tag, const DOMNode* node, DOMElement*& out);
// First element that has the attribute and whose attribute equals the value: among
// the descendants of that tag, or among the direct children when tag is null.
bool FindElementByAttribute(const DOMElement* parent, const char* tag, const char* attribute,
                            const char* value, DOMElement*& out);
// Finds the element, or creates it when allowed. With an empty order list the whole
// document is searched and a new element is appended to the document element; with an
// order list only the document element's children count and a new one is placed in
// order (InsertChildInOrder).
bool GetOrCreateElement(DOMDocument* document, DOMElement*& out, const char* tag,
                        const TagOrder& order, bool create);
// Inserts the child before the first direct child whose tag comes later in the order;
// appends it when none does or when its tag is not in the list.
bool InsertChildInOrder(DOMElement* parent, DOMElement* child, const TagOrder& order);
bool CountChildElements(const DOMNode* node, unsigned& count);
bool GetChildElementAt(const DOMNode* node, unsigned index, DOMElement*& out);
// Value of the first direct text child; true, text unchanged, when there is none.
bool GetElementText(const DOMElement* element, std::string& text);
bool SetElementText(DOMDocument* document, DOMNode* node, const char* text);

// The DTD that the text names: the system identifier of its DOCTYPE, which follows
// the XML declaration, comments and processing instructions. False when the text has
// no DOCTYPE or its DOCTYPE names no external DTD.
bool GetDtdNameFromText(const char* text, std::string& name);
// Folder and file joined with "/".
std::string JoinPath(const std::string& folder, const std::string& file);

// Textual search for markup of one element name in XML text (for sample bodies that
// are kept out of the DOM). Each gives the offset or std::string_view::npos.
// The next "<name" followed by a blank, "/" or ">" at or after `from`; comments and
// CDATA sections are skipped.
size_t FindOpenTag(std::string_view text, std::string_view name, size_t from);
// The ">" that ends the tag starting at `from`; quoted attribute values are skipped.
size_t FindTagEnd(std::string_view text, size_t from);
// The next "</name" followed by a blank or ">" at or after `from`.
size_t FindCloseTag(std::string_view text, std::string_view name, size_t from);

// Escapes & " ' < > as entities.
void EscapeXmlText(std::string& result, const char* text);
// The same, and every character above 126 becomes one "&#N;" per code point.
bool EscapeXmlTextAscii(const std::string& text, std::string& result);

// Replaces the first occurrence of `what` (every one, left to right, with `all`) by
// `with`, or removes it when `with` is null; true when anything was replaced.
bool ReplaceInString(std::string& text, const char* what, const char* with, bool all);

// Reads up to 39 digits and points at the cursor and advances past them; false, cursor
// unchanged, when there is none. The integer is the whole-number part, clamped to the
// range of int.
bool ReadIntAt(const char** cursor, int& value);
bool ReadDoubleAt(const char** cursor, double& value);

// Locale-independent numbers. TextToInt reads like atoi (leading blanks, a sign,
// digits; anything else gives 0) but clamps instead of overflowing.
std::string IntToText(long long value);
std::string DoubleToText(double value, int decimals);
long long TextToInt(const char* text);
double TextToDouble(const char* text);

// True when every character of the text may stand in an XML document: no control
// character but tab, line feed and carriage return, neither U+FFFE nor U+FFFF. A text
// with any other would be written as it stands and the document would not parse again.
// Null counts as "".
bool IsXmlText(const char* text);

// Attribute and element helpers (UTF-8 in and out; a null value is written as "").
// SetAttr throws std::invalid_argument, and SetElementText gives false, for a text
// that is not IsXmlText.
std::string GetAttr(const DOMElement* element, const char* name);
bool HasAttr(const DOMElement* element, const char* name);
void SetAttr(DOMElement* element, const char* name, const char* value);
DOMElement* CreateElement(DOMDocument* document, const char* tag);
std::string TagName(const DOMElement* element);

// XML declaration of the documents this layer creates; parsed documents have none.
struct XmlDeclaration {
    const char* version;
    const char* encoding;
    const char* standalone;
};
const XmlDeclaration* GetXmlDeclaration(const DOMDocument* document);

} // namespace orvane::xml

// The handler installed when a validating parse is given none: traces each problem.
class CSParseErrorHandler : public xercesc::ErrorHandler {
public:
    ~CSParseErrorHandler() override;
    void warning(const xercesc::SAXParseException& e) override;
    void error(const xercesc::SAXParseException& e) override;
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override;
};

// Input source of the DTD file.
class CSDtdInputSource : public xercesc::LocalFileInputSource {
public:
    explicit CSDtdInputSource(const XMLCh* filePath);
    ~CSDtdInputSource() override;
};

// Resolves the DTD file name, and only that, to the file in the DTD folder. Any other
// entity, and every entity when no DTD path is set, resolves to nothing.
class CSDtdEntityResolver : public xercesc::EntityResolver {
public:
    explicit CSDtdEntityResolver(std::string dtdPath);
    ~CSDtdEntityResolver() override;
    xercesc::InputSource* resolveEntity(const XMLCh* const publicId,
                                        const XMLCh* const systemId) override;

private:
    std::string m_sDtdPath;
};
