#include "ProxyXml.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/TransService.hpp>

namespace proxyxml {

namespace {

using namespace xercesc;

std::string ToUtf8(const XMLCh* text) {
    if (!text || !*text)
        return std::string();
    TranscodeToStr utf8(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

} // namespace

std::string Escape(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The parser library is initialised by the client's start-up.
bool ReadRootAttributes(const std::string& text, std::map<std::string, std::string>& attributes) {
    try {
        XercesDOMParser parser;
        HandlerBase handler; // fatal errors throw
        parser.setErrorHandler(&handler);
        parser.setValidationScheme(XercesDOMParser::Val_Never);
        parser.setDoNamespaces(false);
        parser.setLoadExternalDTD(false);
        parser.setDisableDefaultEntityResolution(true);
        parser.setCreateEntityReferenceNodes(false);
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                 "reply", false);
        parser.parse(source);
        DOMDocument* document = parser.getDocument();
        DOMElement* root = document ? document->getDocumentElement() : nullptr;
        if (parser.getErrorCount() != 0 || !root)
            return false;
        attributes.clear();
        DOMNamedNodeMap* map = root->getAttributes();
        for (XMLSize_t i = 0; map && i < map->getLength(); ++i) {
            DOMNode* a = map->item(i);
            attributes[ToUtf8(a->getNodeName())] = ToUtf8(a->getNodeValue());
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace proxyxml
