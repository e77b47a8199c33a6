// Reading the root element of a request through the XML utility layer.
#include "MgmtServer/RequestCodec.h"

#include <OrvaneXercesUtils/OrvaneXercesUtils.h>

#include <xercesc/util/PlatformUtils.hpp>

namespace mgmt {

using namespace xercesc;

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
    orvane::xml::XmlDocument document;
    if (!orvane::xml::ParseFromMemory(xml.c_str(), document, false, nullptr, nullptr))
        return false;
    try {
        const DOMElement* element = document->getDocumentElement();
        if (!element)
            return false;
        root = orvane::xml::ToUtf8(element->getTagName());
        attributes.clear();
        const DOMNamedNodeMap* map = element->getAttributes();
        for (XMLSize_t i = 0; map && i < map->getLength(); ++i) {
            const DOMNode* a = map->item(i);
            attributes.emplace_back(orvane::xml::ToUtf8(a->getNodeName()),
                                    orvane::xml::ToUtf8(a->getNodeValue()));
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace mgmt
