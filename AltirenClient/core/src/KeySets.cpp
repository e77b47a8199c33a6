#include "AltirenClient/KeySets.h"

#include "CryptoLibrary.h"
#include "KeyBlobs.h"

#include <mutex>

namespace altiren::crypto {

namespace {

KeySetSecrets g_sets[2];
std::once_flag g_once;

KeySetSecrets Compute(const unsigned char* priv1, unsigned long priv1Size,
                      const unsigned char* pub1, unsigned long pub1Size, const unsigned char* priv2,
                      unsigned long priv2Size, const unsigned char* pub2, unsigned long pub2Size) {
    KeySetSecrets s;
    s.ready = ComputeSharedSecret(priv1, priv1Size, pub1, pub1Size, s.first) &&
              ComputeSharedSecret(priv2, priv2Size, pub2, pub2Size, s.second);
    return s;
}

void ComputeAll() {
    using namespace blobs;
    g_sets[0] = Compute(kSetAPrivate1, kSetAPrivate1Size, kSetAPublic1, kSetAPublic1Size,
                        kSetAPrivate2, kSetAPrivate2Size, kSetAPublic2, kSetAPublic2Size);
    g_sets[1] = Compute(kSetBPrivate1, kSetBPrivate1Size, kSetBPublic1, kSetBPublic1Size,
                        kSetBPrivate2, kSetBPrivate2Size, kSetBPublic2, kSetBPublic2Size);
}

} // namespace

bool ComputeSharedSecret(const uint8_t* privateKey, unsigned long privateLength,
                         const uint8_t* publicKey, unsigned long publicLength,
                         std::vector<uint8_t>& secret) {
    EnsureCryptoLibrary();
    secret.clear();
    dh_key priv, pub;
    if (dh_import(privateKey, privateLength, &priv) != CRYPT_OK)
        return false;
    if (dh_import(publicKey, publicLength, &pub) != CRYPT_OK) {
        dh_free(&priv);
        return false;
    }
    bool ok = priv.type == PK_PRIVATE;
    std::vector<uint8_t> out(1536);
    unsigned long length = static_cast<unsigned long>(out.size());
    ok = ok && dh_shared_secret(&priv, &pub, out.data(), &length) == CRYPT_OK;
    dh_free(&priv);
    dh_free(&pub);
    if (!ok)
        return false;
    out.resize(length);
    secret.swap(out);
    return true;
}

const KeySetSecrets& GetKeySetSecrets(KeySetId set) {
    std::call_once(g_once, ComputeAll);
    return g_sets[set == KeySetId::A ? 0 : 1];
}

} // namespace altiren::crypto
