#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include "Morrane/STrace.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <cstring>

using namespace xercesc;

namespace {

const char kHandlerClass[] = "CSParseErrorHandler";
const char kSourceFile[] = "OrvaneXercesUtils";

std::string base_name(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void trace_problem(const SAXParseException& e, const char* method) {
    CSTranscodedString message(e.getMessage());
    CSTrace::instance()->Trace(CSTrace::eInformation, message.Get() ? message.Get() : "",
                               kHandlerClass, method, kSourceFile, __LINE__);
}

// True when some element stands deeper below the document than `limit` levels.
bool nested_deeper_than(const DOMDocument* document, unsigned limit) {
    const DOMNode* top = document;
    const DOMNode* node = top->getFirstChild();
    unsigned depth = 1;
    while (node) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE && depth > limit)
            return true;
        if (node->getFirstChild()) {
            node = node->getFirstChild();
            ++depth;
            continue;
        }
        while (node != top && !node->getNextSibling()) {
            node = node->getParentNode();
            --depth;
        }
        if (node == top)
            break;
        node = node->getNextSibling();
    }
    return false;
}

} // namespace

namespace orvane::xml {

XmlDocument AdoptDocument(DOMDocument* document) {
    return XmlDocument(document, [](DOMDocument* d) {
        if (d)
            d->release();
    });
}

std::string JoinPath(const std::string& folder, const std::string& file) {
    if (folder.empty() || folder.back() == '/')
        return folder + file;
    return folder + "/" + file;
}

namespace {

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

const char* skip_blanks(const char* p) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    return p;
}

// The quoted literal at p into `out`; the position after it, or null.
const char* read_literal(const char* p, std::string& out) {
    if (*p != '"' && *p != '\'')
        return nullptr;
    const char* end = std::strchr(p + 1, *p);
    if (!end)
        return nullptr;
    out.assign(p + 1, end);
    return end + 1;
}

// The system identifier of the DOCTYPE that follows the XML declaration, comments and
// processing instructions of the prolog, and where the DOCTYPE starts.
bool find_doctype_system_id(const char* text, std::string& systemId, const char*& doctype) {
    const char* p = text;
    if (starts_with(p, "\xEF\xBB\xBF"))
        p += 3;
    for (;;) {
        p = skip_blanks(p);
        const char* end = nullptr;
        if (starts_with(p, "<?"))
            end = std::strstr(p + 2, "?>");
        else if (starts_with(p, "<!--"))
            end = std::strstr(p + 4, "-->");
        else
            break;
        if (!end)
            return false;
        p = end + (*end == '?' ? 2 : 3);
    }
    if (!starts_with(p, "<!DOCTYPE"))
        return false;
    doctype = p;
    p += 9;
    const char* name = p = skip_blanks(p);
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != '[' && *p != '>')
        ++p;
    if (p == name)
        return false;
    p = skip_blanks(p);
    std::string literal;
    if (starts_with(p, "SYSTEM")) {
        p = read_literal(skip_blanks(p + 6), literal);
    } else if (starts_with(p, "PUBLIC")) {
        p = read_literal(skip_blanks(p + 6), literal);
        if (p)
            p = read_literal(skip_blanks(p), literal);
    } else {
        return false;
    }
    if (!p)
        return false;
    systemId = std::move(literal);
    return true;
}

// Line and column (from 1) of a position in the text.
void line_and_column(const char* text, const char* at, XMLFileLoc& line, XMLFileLoc& column) {
    line = 1;
    column = 1;
    for (const char* p = text; p < at; ++p) {
        if (*p == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

// A validating parse that cannot read the DTD reports why, in place of the
// misleading complaints about undeclared elements that validating against
// nothing would give.
void report_unreadable_dtd(ErrorHandler* handler, const std::string& problem, const char* text,
                           const char* doctype) {
    if (!handler)
        return;
    XMLFileLoc line, column;
    line_and_column(text, doctype, line, column);
    SAXParseException e(orvane::xml::ToX(problem).c_str(), u"", u"fake", line, column);
    handler->fatalError(e);
}

bool is_predefined_entity(const XMLCh* name) {
    for (const char16_t* predefined : {u"lt", u"gt", u"amp", u"apos", u"quot"})
        if (XMLString::equals(name, predefined))
            return true;
    return false;
}

// Ends the parse from inside one of the parser's callbacks.
struct ParseRefused {};

// The DOM parser of this layer. A document may not declare entities with text of
// their own: expanding them could grow a small text without bound (a count of
// expansions does not bound their size). The five predefined entities and character
// references stay as they are.
class CSGuardedDomParser : public XercesDOMParser {
public:
    void entityDecl(const DTDEntityDecl& decl, const bool isPEDecl, const bool isIgnored) override {
        if (!decl.isExternal() && !(!isPEDecl && is_predefined_entity(decl.getName())))
            Refuse("The entity \"" + orvane::xml::ToUtf8(decl.getName()) +
                   "\" is refused: a document may not declare entities with text");
        XercesDOMParser::entityDecl(decl, isPEDecl, isIgnored);
    }

private:
    [[noreturn]] void Refuse(const std::string& problem) {
        if (ErrorHandler* handler = getErrorHandler()) {
            const Locator* locator = getScanner()->getLocator();
            if (locator) {
                SAXParseException e(orvane::xml::ToX(problem).c_str(), *locator);
                handler->fatalError(e);
            }
        }
        throw ParseRefused{};
    }
};

} // namespace

bool GetDtdNameFromText(const char* text, std::string& name) {
    const char* doctype = nullptr;
    return text && find_doctype_system_id(text, name, doctype);
}

bool ParseFromMemory(const char* text, XmlDocument& document, bool validate, ErrorHandler* handler,
                     const char* dtdFolder) {
    if (!text)
        return false;
    try {
        CSParseErrorHandler localHandler;
        ErrorHandler* reporter = handler ? handler : &localHandler;
        std::string dtdPath;
        std::string systemId;
        const char* doctype = nullptr;
        if (validate && find_doctype_system_id(text, systemId, doctype)) {
            // Only a .dtd file of the DTD folder is read, by its file name.
            std::string file = base_name(systemId);
            if (!dtdFolder || !*dtdFolder) {
                report_unreadable_dtd(reporter,
                                      "No DTD folder is set: the DTD \"" + systemId +
                                          "\" cannot be read to validate the document",
                                      text, doctype);
                return false;
            }
            if (file.size() <= 4 || file.compare(file.size() - 4, 4, ".dtd") != 0) {
                report_unreadable_dtd(reporter,
                                      "The DTD \"" + systemId +
                                          "\" is not read: only a .dtd file of the DTD folder is",
                                      text, doctype);
                return false;
            }
            dtdPath = JoinPath(dtdFolder, file);
        }
        // The resolver is always installed and default resolution is off, so no
        // entity is ever fetched from anywhere but the one DTD file.
        CSDtdEntityResolver resolver(dtdPath);
        SecurityManager security;
        security.setEntityExpansionLimit(kEntityExpansionLimit);

        CSGuardedDomParser parser;
        parser.setSecurityManager(&security);
        parser.setEntityResolver(&resolver);
        parser.setDisableDefaultEntityResolution(true);
        // Without validation the DTD is not read at all: it declares no defaults, and a
        // broken DTD file must not fail the parse. (Reading it, as a validating parse
        // does, leaves a small declaration behind in xerces-c 3.2: see
        // LsanSuppressions.cpp.)
        parser.setLoadExternalDTD(false);
        parser.setDoNamespaces(false);
        parser.setDoSchema(false);
        // Entity references become their text, so every value reads and writes whole.
        parser.setCreateEntityReferenceNodes(false);
        if (validate) {
            parser.setErrorHandler(reporter);
            parser.setValidationScheme(XercesDOMParser::Val_Auto);
        } else {
            parser.setValidationScheme(XercesDOMParser::Val_Never);
        }
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text), std::strlen(text), "fake",
                                 false);
        parser.parse(source); // a refusal throws ParseRefused
        if (parser.getErrorCount() != 0)
            return false;
        XmlDocument parsed = AdoptDocument(parser.adoptDocument());
        if (!parsed || nested_deeper_than(parsed.get(), kMaxElementDepth))
            return false;
        document = std::move(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

bool ParseElementText(const char* text, XmlDocument& holder, DOMElement*& element) {
    XmlDocument parsed;
    if (!ParseFromMemory(text, parsed, true, nullptr, nullptr))
        return false;
    DOMElement* root = parsed->getDocumentElement();
    if (!root)
        return false;
    holder = std::move(parsed);
    element = root;
    return true;
}

} // namespace orvane::xml

CSParseErrorHandler::~CSParseErrorHandler() = default;

void CSParseErrorHandler::warning(const SAXParseException& e) {
    try {
        trace_problem(e, "warning");
    } catch (...) {
    }
}

void CSParseErrorHandler::error(const SAXParseException& e) {
    try {
        trace_problem(e, "error");
    } catch (...) {
    }
}

void CSParseErrorHandler::fatalError(const SAXParseException& e) {
    try {
        trace_problem(e, "fatalError");
    } catch (...) {
    }
}

void CSParseErrorHandler::resetErrors() {
    CSTrace::instance()->Trace(CSTrace::eInformation, "I am here...", kHandlerClass, "resetErrors",
                               kSourceFile, __LINE__);
}

CSDtdInputSource::CSDtdInputSource(const XMLCh* filePath) : LocalFileInputSource(filePath) {}

CSDtdInputSource::~CSDtdInputSource() = default;

CSDtdEntityResolver::CSDtdEntityResolver(std::string dtdPath) : m_sDtdPath(std::move(dtdPath)) {}

CSDtdEntityResolver::~CSDtdEntityResolver() = default;

InputSource* CSDtdEntityResolver::resolveEntity(const XMLCh* const /*publicId*/,
                                                const XMLCh* const systemId) {
    try {
        if (!m_sDtdPath.empty() && systemId &&
            base_name(orvane::xml::ToUtf8(systemId)) == base_name(m_sDtdPath))
            return new CSDtdInputSource(orvane::xml::ToX(m_sDtdPath).c_str());
        // Anything else reads as empty: nothing is fetched from a file or the network.
        static const XMLByte kNothing[] = "";
        return new MemBufInputSource(kNothing, 0, systemId ? systemId : u"", false);
    } catch (...) {
        return nullptr;
    }
}
