// The message coder's packet opener on what comes back from the network: raw packets of
// any shape under the reply secret (and under secrets of any length), the Base64 text of
// a reply as the proxy opens it, and the round trip of sealing the plain text that an
// opened packet gave.
#include "common/FuzzInput.h"

#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "AltirenClient/MessageCoder.h"

#include <vector>

using namespace altiren::crypto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MessageCoder coder; // registers the algorithms and computes the key sets
    const std::vector<uint8_t>& reply = GetKeySetSecrets(KeySetId::A).second;
    if (reply.empty())
        fuzz::Fail("the key sets are not ready");

    fuzz::Input in(data, size);
    const uint8_t mode = in.u8();
    std::vector<uint8_t> secret = reply;
    if (mode & 1) {
        auto own = in.bytes(in.u8());
        secret.assign(own.begin(), own.end());
    }
    const size_t capacity = (mode & 2) ? in.u16() : 4096;
    const auto packet = in.rest();
    const std::vector<uint8_t> exact(packet.begin(), packet.end());

    std::vector<uint8_t> out(capacity);
    size_t length = 0;
    uint32_t check = 0;
    std::string error;
    const bool opened = OpenDhPacket(exact.data(), exact.size(), secret, out.data(), out.size(),
                                     length, check, error);
    if (opened && length > capacity)
        fuzz::Fail("an opened packet claims more data than the buffer holds");
    if (!opened && error.empty())
        fuzz::Fail("a refused packet gives no reason");

    // The same bytes as Base64 text, the way a reply arrives.
    std::string text(exact.begin(), exact.end());
    std::string plain;
    if (OpenText(text, reply, plain, check, error)) {
        std::string sealed, back;
        uint32_t backCheck = 0;
        if (!SealText(plain, check, reply, sealed, error) ||
            !OpenText(sealed, reply, back, backCheck, error) || back != plain || backCheck != check)
            fuzz::Fail("sealed text does not open to itself");
    }
    std::string message = text;
    coder.EncryptDecryptMessage(message, false);
    return 0;
}
