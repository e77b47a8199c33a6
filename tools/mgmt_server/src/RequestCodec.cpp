#include "MgmtServer/RequestCodec.h"

#include <AltirenClient/DhPacket.h>
#include <AltirenClient/KeySets.h>
#include <OrvaneUtils/HttpServices.h>
#include <OrvaneXercesUtils/OrvaneXercesUtils.h>

namespace mgmt {

using namespace altiren::crypto;

bool ExtractBuffer(const std::string& target, std::string& escaped) {
    size_t query = target.find('?');
    if (query == std::string::npos)
        return false;
    size_t pos = query + 1;
    while (pos <= target.size()) {
        size_t end = target.find('&', pos);
        if (end == std::string::npos)
            end = target.size();
        if (target.compare(pos, 7, "BUFFER=") == 0) {
            escaped = target.substr(pos + 7, end - pos - 7);
            return true;
        }
        pos = end + 1;
    }
    return false;
}

bool DecodeRequest(const std::string& escaped, std::string& xml, uint32_t& nonce,
                   std::string& error) {
    CHttpServices http("ORVANE_UTILS");
    unsigned long length = 0;
    char* text =
        http.URL_UnEscape(escaped.c_str(), static_cast<unsigned long>(escaped.size()), &length);
    if (!text) {
        error = "URL unescape failed";
        return false;
    }
    std::string base64(text, length);
    CHttpServices::FreeBuffer(text);

    const KeySetSecrets& secrets = GetKeySetSecrets(KeySetId::B);
    if (!secrets.ready) {
        error = "The key set is not ready";
        return false;
    }
    return OpenText(base64, secrets.first, xml, nonce, error);
}

bool EncodeReply(const std::string& xml, uint32_t nonce, std::string& encoded, std::string& error) {
    const KeySetSecrets& secrets = GetKeySetSecrets(KeySetId::B);
    if (!secrets.ready) {
        error = "The key set is not ready";
        return false;
    }
    return SealText(xml, nonce, secrets.second, encoded, error);
}

std::string Attribute(const Attributes& attributes, const std::string& name) {
    for (const auto& a : attributes)
        if (a.first == name)
            return a.second;
    return std::string();
}

bool HasAttribute(const Attributes& attributes, const std::string& name) {
    for (const auto& a : attributes)
        if (a.first == name)
            return true;
    return false;
}

std::string EscapeXml(const std::string& text) {
    std::string out;
    orvane::xml::EscapeXmlText(out, text.c_str());
    return out;
}

std::string EscapeUrlSegment(const std::string& text) {
    CHttpServices http("ORVANE_UTILS");
    char* escaped = http.URL_Escape(text.c_str(), static_cast<unsigned long>(text.size()));
    if (!escaped)
        return std::string();
    std::string out = escaped;
    CHttpServices::FreeBuffer(escaped);
    return out;
}

} // namespace mgmt
