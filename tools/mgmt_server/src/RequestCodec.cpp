#include "MgmtServer/RequestCodec.h"

#include <AltirenClient/DhPacket.h>
#include <AltirenClient/KeySets.h>
#include <OrvaneUtils/Base64Coder.h>
#include <OrvaneUtils/HttpServices.h>

#include <cstring>

namespace mgmt {

using namespace altiren::crypto;

namespace {
constexpr size_t kSlack = 200;
}

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

    Base64Coder coder;
    coder.Decode(base64.data(), static_cast<unsigned long>(base64.size()));
    const unsigned char* packet = coder.DecodedMessage();
    if (!packet) {
        error = "Base64 decoding failed";
        return false;
    }
    const KeySetSecrets& secrets = GetKeySetSecrets(KeySetId::B);
    if (!secrets.ready) {
        error = "The key set is not ready";
        return false;
    }
    size_t size = coder.GetDecodeDataSize();
    std::vector<uint8_t> out(size + kSlack, 0);
    size_t n = 0;
    if (!OpenDhPacket(packet, size, secrets.first, out.data(), out.size(), n, nonce, error))
        return false;
    const char* plain = reinterpret_cast<const char*>(out.data());
    xml.assign(plain, strnlen(plain, n));
    return true;
}

bool EncodeReply(const std::string& xml, uint32_t nonce, std::string& encoded, std::string& error) {
    const KeySetSecrets& secrets = GetKeySetSecrets(KeySetId::B);
    if (!secrets.ready) {
        error = "The key set is not ready";
        return false;
    }
    std::vector<uint8_t> packet(xml.size() + 1 + kPacketOverhead, 0);
    size_t length = 0;
    if (!BuildDhPacket(reinterpret_cast<const uint8_t*>(xml.c_str()), xml.size() + 1, nonce,
                       secrets.second, packet.data(), packet.size(), length, error))
        return false;
    Base64Coder coder;
    coder.Encode(packet.data(), static_cast<unsigned long>(length));
    encoded = coder.EncodedMessage();
    return !encoded.empty();
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
    out.reserve(text.size());
    for (char c : text) {
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
