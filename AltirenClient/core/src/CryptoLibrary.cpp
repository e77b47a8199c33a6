#include "CryptoLibrary.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

namespace altiren::crypto {

namespace {

// Wire ids are positions in these lists, the order in which the original library
// registered its algorithms. Serpent (cipher id 5) is not in this library build; its
// id stays unused.
const ltc_cipher_descriptor* const kCiphers[] = {
    &blowfish_desc,   &xtea_desc,        &rc5_desc,     &rc6_desc,       &saferp_desc,
    nullptr,          &rijndael_desc,    &twofish_desc, &safer_k64_desc, &safer_sk64_desc,
    &safer_k128_desc, &safer_sk128_desc, &rc2_desc,     &des_desc,       &des3_desc,
};
const ltc_hash_descriptor* const kHashes[] = {
    &sha256_desc, &tiger_desc, &sha1_desc, &md5_desc, &sha384_desc, &sha512_desc, &md4_desc,
};
constexpr size_t kCipherCount = sizeof kCiphers / sizeof kCiphers[0];
constexpr size_t kHashCount = sizeof kHashes / sizeof kHashes[0];

std::array<int, kCipherCount> g_cipherIndex;
std::array<int, kHashCount> g_hashIndex;
std::once_flag g_once;

void SetUp() {
    ltc_mp = ltm_desc;
    for (size_t i = 0; i < kCipherCount; ++i)
        g_cipherIndex[i] = kCiphers[i] ? register_cipher(kCiphers[i]) : -1;
    for (size_t i = 0; i < kHashCount; ++i)
        g_hashIndex[i] = register_hash(kHashes[i]);
    register_prng(&yarrow_desc);
    register_prng(&sprng_desc);
    // Starting a generator registers its own cipher and hash when they are missing;
    // do that once here, not racing in the threads that use generators later.
    prng_state warmUp;
    if (yarrow_start(&warmUp) == CRYPT_OK)
        yarrow_done(&warmUp);
}

bool FillEntropy(unsigned char* out, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(out + got, n - got, 0);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        got += static_cast<size_t>(r);
    }
    return true;
}

} // namespace

void EnsureCryptoLibrary() {
    std::call_once(g_once, SetUp);
}

int CipherIndexForId(uint8_t id) {
    EnsureCryptoLibrary();
    return id < kCipherCount ? g_cipherIndex[id] : -1;
}

int HashIndexForId(uint8_t id) {
    EnsureCryptoLibrary();
    return id < kHashCount ? g_hashIndex[id] : -1;
}

bool StartSeededYarrow(prng_state& prng) {
    EnsureCryptoLibrary();
    if (yarrow_start(&prng) != CRYPT_OK)
        return false;
    char timeText[32] = {0};
    time_t now = time(nullptr);
    bool ok =
        ctime_r(&now, timeText) != nullptr &&
        yarrow_add_entropy(reinterpret_cast<unsigned char*>(timeText),
                           static_cast<unsigned long>(std::strlen(timeText)), &prng) == CRYPT_OK;
    unsigned char entropy[32];
    ok = ok && FillEntropy(entropy, sizeof entropy) &&
         yarrow_add_entropy(entropy, sizeof entropy, &prng) == CRYPT_OK;
    zeromem(entropy, sizeof entropy);
    ok = ok && yarrow_ready(&prng) == CRYPT_OK;
    if (!ok)
        yarrow_done(&prng);
    return ok;
}

} // namespace altiren::crypto
