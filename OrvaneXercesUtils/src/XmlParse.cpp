#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include "Morrane/STrace.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/SecurityManager.hpp>

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

bool GetDtdNameFromText(const char* text, std::string& name) {
    if (!text)
        return false;
    const char* dtd = std::strstr(text, ".dtd");
    if (!dtd)
        return false;
    const char* start = dtd;
    while (start > text && start[-1] != '"' && start[-1] != '\'')
        --start;
    name.assign(start, dtd + 4);
    return true;
}

bool ParseFromMemory(const char* text, XmlDocument& document, bool validate, ErrorHandler* handler,
                     const char* dtdFolder) {
    if (!text)
        return false;
    try {
        std::string dtdName;
        std::string dtdPath;
        if (dtdFolder && *dtdFolder && GetDtdNameFromText(text, dtdName)) {
            std::string file = base_name(dtdName);
            if (!file.empty() && file != "." && file != "..")
                dtdPath = JoinPath(dtdFolder, file);
        }
        // The resolver is always installed and default resolution is off, so no
        // entity is ever fetched from anywhere but the one DTD file.
        CSDtdEntityResolver resolver(dtdPath);
        SecurityManager security;
        security.setEntityExpansionLimit(kEntityExpansionLimit);
        CSParseErrorHandler localHandler;

        XercesDOMParser parser;
        parser.setSecurityManager(&security);
        parser.setEntityResolver(&resolver);
        parser.setDisableDefaultEntityResolution(true);
        // Without validation the DTD is not read at all: it declares no defaults or
        // entities, a broken DTD file must not fail the parse, and the scanner leaves a
        // small declaration behind each time it reads an external subset.
        parser.setLoadExternalDTD(false);
        parser.setDoNamespaces(false);
        parser.setDoSchema(false);
        // Entity references become their text, so every value reads and writes whole.
        parser.setCreateEntityReferenceNodes(false);
        if (validate) {
            parser.setErrorHandler(handler ? handler : &localHandler);
            parser.setValidationScheme(XercesDOMParser::Val_Auto);
        } else {
            parser.setValidationScheme(XercesDOMParser::Val_Never);
        }
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text), std::strlen(text), "fake",
                                 false);
        parser.parse(source);
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
