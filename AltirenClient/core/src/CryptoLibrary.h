// One-time set-up of LibTomCrypt for the message coder, and the wire ids of its
// ciphers and hashes.
#pragma once

#include <tomcrypt.h>

#include <cstdint>

namespace altiren::crypto {

// Sets the math descriptor and registers the ciphers, hashes and generators, once
// per process.
void EnsureCryptoLibrary();

// Descriptor-table index of the cipher or hash with this wire id; -1 when the id
// names none or it is not registered.
int CipherIndexForId(uint8_t id);
int HashIndexForId(uint8_t id);

// Starts a fresh Yarrow generator seeded with the ctime text of now and 32 bytes of
// system entropy (the time alone repeats the key stream within one second). The
// caller ends it with yarrow_done.
bool StartSeededYarrow(prng_state& prng);

} // namespace altiren::crypto
