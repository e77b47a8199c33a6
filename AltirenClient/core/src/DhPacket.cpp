#include "AltirenClient/DhPacket.h"

#include "CryptoLibrary.h"

#include <OrvaneUtils/Base64Coder.h>

#include <cstring>

namespace altiren::crypto {

namespace {

void Store32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Room the buffers of SealText and OpenText keep beyond the text or the packet.
constexpr size_t kSlack = 200;

// Wipes the key material of one packet operation however it ends.
struct Wipe {
    unsigned char key[MAXBLOCKSIZE];
    unsigned char counter[MAXBLOCKSIZE];
    symmetric_CTR ctr;
    bool ctrStarted = false;
    ~Wipe() {
        if (ctrStarted)
            ctr_done(&ctr);
        zeromem(key, sizeof key);
        zeromem(counter, sizeof counter);
        zeromem(&ctr, sizeof ctr);
    }
};

// The cipher key: the hash of the secret, cut to the cipher's largest key size that
// is not above the digest.
bool DeriveKey(int cipher, int hash, const std::vector<uint8_t>& secret, unsigned char* key,
               int& keySize) {
    keySize = static_cast<int>(hash_descriptor[hash].hashsize);
    if (cipher_descriptor[cipher].keysize(&keySize) != CRYPT_OK)
        return false;
    unsigned char digest[MAXBLOCKSIZE];
    unsigned long digestLength = sizeof digest;
    bool ok = hash_memory(hash, secret.data(), static_cast<unsigned long>(secret.size()), digest,
                          &digestLength) == CRYPT_OK &&
              keySize <= static_cast<int>(digestLength);
    if (ok)
        std::memcpy(key, digest, static_cast<size_t>(keySize));
    zeromem(digest, sizeof digest);
    return ok;
}

} // namespace

bool BuildDhPacket(const uint8_t* data, size_t n, uint32_t check,
                   const std::vector<uint8_t>& secret, uint8_t* out, size_t capacity,
                   size_t& length, std::string& error) {
    length = 0;
    prng_state prng;
    if (!StartSeededYarrow(prng)) {
        error = "Error reading PRNG in dh_encrypt().";
        return false;
    }
    struct PrngDone {
        prng_state& p;
        ~PrngDone() { yarrow_done(&p); }
    } prngDone{prng};

    if (n > UINT32_MAX - kPacketOverhead || capacity < kPacketOverhead + n) {
        error = "Buffer overflow in dh_encrypt().";
        return false;
    }
    if ((n && !data) || !out || secret.empty()) {
        error = "Invalid argument in dh_encrypt().";
        return false;
    }
    int cipher = CipherIndexForId(kCipherRijndael);
    int hash = HashIndexForId(kHashSha1);
    Wipe w;
    int keySize = 0;
    if (cipher < 0 || hash < 0 || !DeriveKey(cipher, hash, secret, w.key, keySize)) {
        error = "Invalid cipher and hash combination in dh_encrypt().";
        return false;
    }
    if (yarrow_read(w.counter, kCounterBlockSize, &prng) != kCounterBlockSize) {
        error = "Error reading PRNG in dh_encrypt().";
        return false;
    }

    size_t total = kPacketOverhead + n;
    out[8] = kCipherRijndael;
    out[9] = kHashSha1;
    Store32(out + 10, kFillerLength);
    if (yarrow_read(out + 14, kFillerLength, &prng) != kFillerLength) {
        error = "Error reading PRNG in dh_encrypt().";
        return false;
    }
    size_t pos = 14 + kFillerLength;
    std::memcpy(out + pos, w.counter, kCounterBlockSize);
    pos += kCounterBlockSize;
    Store32(out + pos, static_cast<uint32_t>(n));
    pos += 4;

    if (ctr_start(cipher, w.counter, w.key, keySize, 0, CTR_COUNTER_LITTLE_ENDIAN, &w.ctr) !=
        CRYPT_OK) {
        error = "Error starting CTR mode in dh_encrypt().";
        return false;
    }
    w.ctrStarted = true;
    uint8_t checkBytes[4];
    Store32(checkBytes, check);
    if ((n && ctr_encrypt(data, out + pos, static_cast<unsigned long>(n), &w.ctr) != CRYPT_OK) ||
        ctr_encrypt(checkBytes, out + pos + n, 4, &w.ctr) != CRYPT_OK) {
        error = "Error encrypting in dh_encrypt().";
        return false;
    }

    out[0] = kPacketVersion;
    out[1] = 0;
    out[2] = kSectionDh;
    out[3] = kSubEncrypted;
    Store32(out + 4, static_cast<uint32_t>(total));
    length = total;
    return true;
}

bool OpenDhPacket(const uint8_t* in, size_t inLength, const std::vector<uint8_t>& secret,
                  uint8_t* out, size_t capacity, size_t& dataLength, uint32_t& check,
                  std::string& error) {
    dataLength = 0;
    check = 0;
    const char* invalid = "Invalid packet for dh_decrypt().";
    if (!in || inLength < 14) {
        error = invalid;
        return false;
    }
    // The version is the first two bytes, little-endian.
    uint32_t version = uint32_t(in[0]) | (uint32_t(in[1]) << 8);
    if (version >= 0x66 || in[2] != kSectionDh || in[3] != kSubEncrypted) {
        error = invalid;
        return false;
    }
    // Every field is checked against the stated total, which must not exceed the bytes
    // received; sums are taken in 64 bits.
    uint64_t total = Load32(in + 4);
    if (total > inLength || total < 14) {
        error = invalid;
        return false;
    }
    int cipher = CipherIndexForId(in[8]);
    if (cipher < 0) {
        error = "Cipher not found in descriptor table in dh_decrypt().";
        return false;
    }
    int hash = HashIndexForId(in[9]);
    if (hash < 0) {
        error = "hash not found in descriptor table in dh_decrypt().";
        return false;
    }
    Wipe w;
    int keySize = 0;
    if (secret.empty() || !DeriveKey(cipher, hash, secret, w.key, keySize)) {
        error = "Invalid cipher and hash combination in dh_decrypt().";
        return false;
    }
    unsigned long blockLength = static_cast<unsigned long>(cipher_descriptor[cipher].block_length);
    uint64_t pos = 14 + uint64_t(Load32(in + 10)); // skip the filler
    if (pos + blockLength + 4 > total) {
        error = invalid;
        return false;
    }
    std::memcpy(w.counter, in + pos, blockLength);
    pos += blockLength;
    if (ctr_start(cipher, w.counter, w.key, keySize, 0, CTR_COUNTER_LITTLE_ENDIAN, &w.ctr) !=
        CRYPT_OK) {
        error = "Error starting CTR mode in dh_decrypt().";
        return false;
    }
    w.ctrStarted = true;
    uint64_t n = Load32(in + pos);
    pos += 4;
    if (n > capacity || (n && !out)) {
        error = "Buffer overrun in dh_decrypt().";
        return false;
    }
    if (pos + n + 4 > total) {
        error = invalid;
        return false;
    }
    uint8_t checkBytes[4];
    if ((n && ctr_decrypt(in + pos, out, static_cast<unsigned long>(n), &w.ctr) != CRYPT_OK) ||
        ctr_decrypt(in + pos + n, checkBytes, 4, &w.ctr) != CRYPT_OK) {
        error = "Error decrypting in dh_decrypt().";
        return false;
    }
    dataLength = static_cast<size_t>(n);
    check = Load32(checkBytes);
    return true;
}

bool SealText(const std::string& text, uint32_t check, const std::vector<uint8_t>& secret,
              std::string& encoded, std::string& error) {
    std::vector<uint8_t> packet(text.size() + kSlack, 0);
    size_t length = 0;
    if (!BuildDhPacket(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1, check,
                       secret, packet.data(), packet.size(), length, error))
        return false;
    Base64Coder coder;
    coder.Encode(packet.data(), static_cast<unsigned long>(length));
    std::string result = coder.EncodedMessage();
    if (result.empty()) {
        error = "Base64 encoding failed.";
        return false;
    }
    encoded.swap(result);
    return true;
}

bool OpenText(const std::string& encoded, const std::vector<uint8_t>& secret, std::string& text,
              uint32_t& check, std::string& error) {
    Base64Coder coder;
    coder.Decode(encoded.data(), static_cast<unsigned long>(encoded.size()));
    const unsigned char* packet = coder.DecodedMessage();
    if (!packet) {
        error = "Base64 decoding failed.";
        return false;
    }
    size_t size = coder.GetDecodeDataSize();
    std::vector<uint8_t> out(size + kSlack, 0);
    size_t n = 0;
    bool ok = OpenDhPacket(packet, size, secret, out.data(), out.size(), n, check, error);
    if (ok) {
        const char* plain = reinterpret_cast<const char*>(out.data());
        text.assign(plain, strnlen(plain, n));
    }
    zeromem(out.data(), out.size());
    return ok;
}

} // namespace altiren::crypto
