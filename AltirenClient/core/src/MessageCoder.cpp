#include "AltirenClient/MessageCoder.h"

#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "CryptoLibrary.h"

#include <Morrane/STrace.h>
#include <OrvaneUtils/Base64Coder.h>
#include <OrvaneUtils/HttpServices.h>

#include <cstring>
#include <mutex>
#include <vector>

using namespace altiren::crypto;

namespace {

// Room the buffers keep beyond the packet or the data.
constexpr size_t kSlack = 200;

bool DrawNonce(uint32_t& nonce) {
    prng_state prng;
    if (!StartSeededYarrow(prng))
        return false;
    unsigned char bytes[4];
    bool ok = yarrow_read(bytes, sizeof bytes, &prng) == sizeof bytes;
    yarrow_done(&prng);
    if (ok)
        nonce = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
                (uint32_t(bytes[3]) << 24);
    return ok;
}

// Encrypts text with its terminating zero into the Base64 text of a packet.
bool Seal(std::string& text, const std::vector<uint8_t>& secret, uint32_t check,
          std::string& error) {
    size_t n = text.size() + 1;
    std::vector<uint8_t> packet(text.size() + kSlack, 0);
    size_t length = 0;
    if (!BuildDhPacket(reinterpret_cast<const uint8_t*>(text.c_str()), n, check, secret,
                       packet.data(), packet.size(), length, error))
        return false;
    Base64Coder coder;
    coder.Encode(packet.data(), static_cast<unsigned long>(length));
    std::string encoded = coder.EncodedMessage();
    if (encoded.empty()) {
        error = "Base64 encoding failed.";
        return false;
    }
    text = encoded;
    return true;
}

// Decodes and opens the Base64 text of a packet; data is the plain text up to its
// first zero byte.
bool Unseal(const std::string& text, const std::vector<uint8_t>& secret, std::string& data,
            uint32_t& check, std::string& error) {
    Base64Coder coder;
    coder.Decode(text.data(), static_cast<unsigned long>(text.size()));
    const unsigned char* packet = coder.DecodedMessage();
    if (!packet) {
        error = "Base64 decoding failed.";
        return false;
    }
    size_t size = coder.GetDecodeDataSize();
    std::vector<uint8_t> out(size + kSlack, 0);
    size_t n = 0;
    if (!OpenDhPacket(packet, size, secret, out.data(), out.size(), n, check, error))
        return false;
    const char* plain = reinterpret_cast<const char*>(out.data());
    data.assign(plain, strnlen(plain, n));
    return true;
}

const std::vector<uint8_t>* Secret(KeySetId set, bool second, std::string& error) {
    const KeySetSecrets& s = GetKeySetSecrets(set);
    if (!s.ready) {
        error = "The key sets are not ready.";
        return nullptr;
    }
    return second ? &s.second : &s.first;
}

} // namespace

MessageCoder::MessageCoder() {
    EnsureCryptoLibrary();
    GetKeySetSecrets(KeySetId::A);
}

MessageCoder::~MessageCoder() = default;

void MessageCoder::ReportError(const std::string& text, const char* method) {
    m_lastError = text;
    CSTrace::instance()->Trace(CSTrace::eError, text.c_str(), "MessageCoder", method, __FILE__,
                               __LINE__);
}

bool MessageCoder::EncryptDecryptMessage(std::string& text, bool encrypt) {
    std::string error;
    if (encrypt) {
        uint32_t nonce = 0;
        if (!DrawNonce(nonce)) {
            ReportError("Error reading PRNG in dh_encrypt().", "EncryptDecryptMessage");
            return false;
        }
        m_nonce = nonce;
        const std::vector<uint8_t>* secret = Secret(KeySetId::A, false, error);
        if (!secret || !Seal(text, *secret, m_nonce, error)) {
            ReportError(error, "EncryptDecryptMessage");
            return false;
        }
        return true;
    }
    const std::vector<uint8_t>* secret = Secret(KeySetId::A, true, error);
    std::string plain;
    uint32_t check = 0;
    if (!secret || !Unseal(text, *secret, plain, check, error)) {
        ReportError(error, "EncryptDecryptMessage");
        return false;
    }
    if (check != m_nonce) {
        ReportError("The reply does not carry the nonce of the request.", "EncryptDecryptMessage");
        return false;
    }
    text = plain;
    return true;
}

bool MessageCoder::EscapeForURL(std::string& text) {
    CHttpServices http("ORVANE_UTILS");
    // Exactly the text: counting the terminating zero would escape it as "%00".
    char* escaped = http.URL_Escape(text.c_str(), static_cast<unsigned long>(text.size()));
    if (!escaped)
        return false;
    text = escaped;
    CHttpServices::FreeBuffer(escaped);
    return true;
}

bool MessageCoder::EncryptDecryptStoredValue(std::string& value, bool encrypt) {
    std::string error;
    uint32_t serial = GetVolumeSerial();
    if (encrypt) {
        // Set B's second secret equals the reply secret that decrypting uses.
        const std::vector<uint8_t>* secret = Secret(KeySetId::B, true, error);
        if (!secret || !Seal(value, *secret, serial, error)) {
            ReportError(error, "EncryptDecryptStoredValue");
            return false;
        }
        return true;
    }
    const std::vector<uint8_t>* secret = Secret(KeySetId::A, true, error);
    std::string plain;
    uint32_t check = 0;
    if (!secret || !Unseal(value, *secret, plain, check, error)) {
        ReportError(error, "EncryptDecryptStoredValue");
        return false;
    }
    if (check != serial) {
        value.clear();
        ReportError("The value was stored on another machine.", "EncryptDecryptStoredValue");
        return false;
    }
    value = plain;
    return true;
}
