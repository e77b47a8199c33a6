#include "ProxyXml.h"

#include <OrvaneXercesUtils/OrvaneXercesUtils.h>

#include <xercesc/util/PlatformUtils.hpp>

namespace proxyxml {

std::string Escape(const std::string& value) {
    std::string escaped;
    orvane::xml::EscapeXmlText(escaped, value.c_str());
    return escaped;
}

bool ReadRootAttributes(const std::string& text, std::map<std::string, std::string>& attributes) {
    // The parser library is initialised by the client's start-up; without it there
    // is nothing to parse with.
    if (!xercesc::XMLPlatformUtils::fgMemoryManager)
        return false;
    orvane::xml::XmlDocument document;
    if (!orvane::xml::ParseFromMemory(text.c_str(), document, false, nullptr, nullptr))
        return false;
    try {
        const xercesc::DOMElement* root = document->getDocumentElement();
        if (!root)
            return false;
        attributes.clear();
        const xercesc::DOMNamedNodeMap* map = root->getAttributes();
        for (XMLSize_t i = 0; map && i < map->getLength(); ++i) {
            const xercesc::DOMNode* a = map->item(i);
            attributes[orvane::xml::ToUtf8(a->getNodeName())] =
                orvane::xml::ToUtf8(a->getNodeValue());
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace proxyxml
