// The two Diffie-Hellman key sets and the secrets they yield.
//
// Set A (the client's) gives the request secret from its first private and public
// key and the reply secret from its second pair. Set B (the management server's)
// holds the counterparts: its first pair gives the request secret and its second
// pair the reply secret.
#pragma once

#include <cstdint>
#include <vector>

namespace altiren::crypto {

enum class KeySetId { A, B };

struct KeySetSecrets {
    bool ready = false; // both secrets were computed
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
};

// Computed once per process (registering the library's algorithms first).
const KeySetSecrets& GetKeySetSecrets(KeySetId set);

// dh_shared_secret of an exported private key and an exported public key; false
// when either cannot be imported or they are not of one group.
bool ComputeSharedSecret(const uint8_t* privateKey, unsigned long privateLength,
                         const uint8_t* publicKey, unsigned long publicLength,
                         std::vector<uint8_t>& secret);

} // namespace altiren::crypto
