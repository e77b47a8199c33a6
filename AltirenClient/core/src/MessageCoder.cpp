#include "AltirenClient/MessageCoder.h"

#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "CryptoLibrary.h"

#include <Morrane/STrace.h>
#include <OrvaneUtils/HttpServices.h>

#include <vector>

using namespace altiren::crypto;

namespace {

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
    const char* method = "EncryptDecryptMessage";
    if (!encrypt)
        return Open(text, m_nonce, false, method);
    uint32_t nonce = 0;
    if (!DrawNonce(nonce)) {
        ReportError("Error reading PRNG in dh_encrypt().", method);
        return false;
    }
    m_nonce = nonce;
    return Seal(text, KeySetId::A, false, m_nonce, method);
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
    const char* method = "EncryptDecryptStoredValue";
    uint32_t serial = GetVolumeSerial();
    // Set B's second secret equals the reply secret that opening uses.
    if (encrypt)
        return Seal(value, KeySetId::B, true, serial, method);
    return Open(value, serial, true, method);
}

bool MessageCoder::Seal(std::string& text, KeySetId set, bool second, uint32_t check,
                        const char* method) {
    std::string error;
    const std::vector<uint8_t>* secret = Secret(set, second, error);
    if (!secret || !SealText(text, check, *secret, text, error)) {
        ReportError(error, method);
        return false;
    }
    return true;
}

bool MessageCoder::Open(std::string& text, uint32_t expected, bool emptyOnMismatch,
                        const char* method) {
    std::string error, plain;
    uint32_t check = 0;
    const std::vector<uint8_t>* secret = Secret(KeySetId::A, true, error);
    if (!secret || !OpenText(text, *secret, plain, check, error)) {
        ReportError(error, method);
        return false;
    }
    if (check != expected) {
        if (emptyOnMismatch)
            text.clear();
        ReportError(emptyOnMismatch ? "The value was stored on another machine."
                                    : "The reply does not carry the nonce of the request.",
                    method);
        return false;
    }
    text.swap(plain);
    return true;
}
