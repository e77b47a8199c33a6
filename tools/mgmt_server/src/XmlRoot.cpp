// Reading the root element of a request with xerces-c.
#include "MgmtServer/RequestCodec.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>

namespace mgmt {

namespace {

using namespace xercesc;

std::string Narrow(const XMLCh* text) {
    if (!text || !*text)
        return std::string();
    TranscodeToStr utf8(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

} // namespace

XmlLibraryScope::XmlLibraryScope() {
    try {
        XMLPlatformUtils::Initialize();
        m_ready = true;
    } catch (...) {
        m_ready = false;
    }
}

XmlLibraryScope::~XmlLibraryScope() {
    if (m_ready)
        XMLPlatformUtils::Terminate();
}

bool ParseRootElement(const std::string& xml, std::string& root, Attributes& attributes) {
    // The caller keeps the parser library initialised (MgmtServer does while it runs).
    bool ok = false;
    try {
        XercesDOMParser parser;
        HandlerBase handler; // throws on fatal errors
        parser.setErrorHandler(&handler);
        parser.setValidationScheme(XercesDOMParser::Val_Never);
        parser.setDoNamespaces(false);
        parser.setLoadExternalDTD(false);
        parser.setDisableDefaultEntityResolution(true);
        parser.setCreateEntityReferenceNodes(false);
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(),
                                 "request", false);
        parser.parse(source);
        DOMDocument* document = parser.getDocument();
        DOMElement* element = document ? document->getDocumentElement() : nullptr;
        if (parser.getErrorCount() == 0 && element) {
            root = Narrow(element->getTagName());
            attributes.clear();
            DOMNamedNodeMap* map = element->getAttributes();
            for (XMLSize_t i = 0; map && i < map->getLength(); ++i) {
                DOMNode* a = map->item(i);
                attributes.emplace_back(Narrow(a->getNodeName()), Narrow(a->getNodeValue()));
            }
            ok = true;
        }
    } catch (...) {
        ok = false;
    }
    return ok;
}

} // namespace mgmt
