#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "AltirenClient/MessageCoder.h"

#include <OrvaneUtils/Base64Coder.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <string>
#include <vector>

using namespace altiren::crypto;

namespace {

std::vector<uint8_t> Unbase64(const std::string& text) {
    Base64Coder coder;
    coder.Decode(text.data(), static_cast<unsigned long>(text.size()));
    if (!coder.DecodedMessage())
        return {};
    return std::vector<uint8_t>(coder.DecodedMessage(),
                                coder.DecodedMessage() + coder.GetDecodeDataSize());
}

std::string Base64(const std::vector<uint8_t>& bytes) {
    Base64Coder coder;
    coder.Encode(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return coder.EncodedMessage();
}

// What the management server does: open a request with set B's first secret.
bool ServerOpens(const std::string& request, std::string& text, uint32_t& nonce) {
    std::vector<uint8_t> packet = Unbase64(request);
    std::vector<uint8_t> out(packet.size() + 200, 0);
    size_t n = 0;
    std::string error;
    if (!OpenDhPacket(packet.data(), packet.size(), GetKeySetSecrets(KeySetId::B).first, out.data(),
                      out.size(), n, nonce, error))
        return false;
    text.assign(reinterpret_cast<const char*>(out.data()), n);
    return true;
}

// A reply as the server sends it: set B's second secret, the request's nonce.
std::string ServerReply(const std::string& text, uint32_t nonce, KeySetId set = KeySetId::B,
                        bool second = true) {
    const KeySetSecrets& s = GetKeySetSecrets(set);
    std::vector<uint8_t> out(text.size() + 200, 0);
    size_t length = 0;
    std::string error;
    EXPECT_TRUE(BuildDhPacket(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1,
                              nonce, second ? s.second : s.first, out.data(), out.size(), length,
                              error));
    out.resize(length);
    return Base64(out);
}

uint32_t g_serial = 0;
uint32_t FakeSerial() {
    return g_serial;
}

class SerialOverride {
public:
    explicit SerialOverride(uint32_t serial) {
        g_serial = serial;
        MessageCoder::SetVolumeSerialSource(FakeSerial);
    }
    ~SerialOverride() { MessageCoder::SetVolumeSerialSource(nullptr); }
};

} // namespace

TEST(MessageCoder, RequestIsTheBase64OfAPacketTheServerOpens) {
    MessageCoder coder;
    EXPECT_EQ(coder.GetNonce(), 0u);
    std::string text(100, 'q');
    ASSERT_TRUE(coder.EncryptDecryptMessage(text, true)) << coder.GetLastErrorText();
    EXPECT_EQ(text.size(), 336u); // 250 bytes in Base64
    EXPECT_EQ(Unbase64(text).size(), 250u);

    std::string seen;
    uint32_t nonce = 0;
    ASSERT_TRUE(ServerOpens(text, seen, nonce));
    EXPECT_EQ(seen, std::string(100, 'q') + std::string(1, '\0'));
    EXPECT_EQ(nonce, coder.GetNonce());

    std::string second = "again";
    ASSERT_TRUE(coder.EncryptDecryptMessage(second, true));
    EXPECT_NE(coder.GetNonce(), nonce);
}

TEST(MessageCoder, ReplyOpensOnlyWithTheNonceOfTheRequestJustSent) {
    MessageCoder coder;
    std::string request = "<ALTIREN_EVENT EVENT_TYPE='CLIENT_LAUNCH'/>";
    ASSERT_TRUE(coder.EncryptDecryptMessage(request, true));
    uint32_t nonce = coder.GetNonce();

    std::string reply = ServerReply("<ALTIREN_REPLY PERMISSION='OK'/>", nonce);
    ASSERT_TRUE(coder.EncryptDecryptMessage(reply, false)) << coder.GetLastErrorText();
    EXPECT_EQ(reply, "<ALTIREN_REPLY PERMISSION='OK'/>");

    std::string stale = ServerReply("<ALTIREN_REPLY PERMISSION='OK'/>", nonce + 1);
    std::string kept = stale;
    EXPECT_FALSE(coder.EncryptDecryptMessage(stale, false));
    EXPECT_EQ(stale, kept);

    // A reply under the request secret does not open as a reply.
    std::string wrongKey = ServerReply("<ALTIREN_REPLY/>", nonce, KeySetId::B, false);
    EXPECT_FALSE(coder.EncryptDecryptMessage(wrongKey, false));

    std::string garbage = "not base64 !";
    EXPECT_FALSE(coder.EncryptDecryptMessage(garbage, false));
    std::string empty;
    EXPECT_FALSE(coder.EncryptDecryptMessage(empty, false));
}

TEST(MessageCoder, StoredValueReadsBackOnlyOnTheMachineThatWroteIt) {
    std::string value = "s3cret pass";
    {
        SerialOverride here(0x1234ABCD);
        MessageCoder coder;
        ASSERT_TRUE(coder.EncryptDecryptStoredValue(value, true));
        EXPECT_NE(value, "s3cret pass");
        std::string copy = value;
        ASSERT_TRUE(coder.EncryptDecryptStoredValue(copy, false));
        EXPECT_EQ(copy, "s3cret pass");
    }
    {
        SerialOverride elsewhere(0x1234ABCE);
        MessageCoder coder;
        std::string copy = value;
        EXPECT_FALSE(coder.EncryptDecryptStoredValue(copy, false));
        EXPECT_TRUE(copy.empty());
    }
    {
        SerialOverride unreadable(0); // both sides use 0
        MessageCoder coder;
        std::string v = "pw";
        ASSERT_TRUE(coder.EncryptDecryptStoredValue(v, true));
        ASSERT_TRUE(coder.EncryptDecryptStoredValue(v, false));
        EXPECT_EQ(v, "pw");
    }
}

TEST(MessageCoder, EscapesTheTextWithoutItsTerminatingZero) {
    MessageCoder coder;
    std::string text = "ab+/=cd";
    ASSERT_TRUE(coder.EscapeForURL(text));
    EXPECT_EQ(text, "ab%2B%2F%3Dcd");

    std::string request = "escape this request";
    ASSERT_TRUE(coder.EncryptDecryptMessage(request, true));
    ASSERT_TRUE(coder.EscapeForURL(request));
    EXPECT_EQ(request.find("%00"), std::string::npos);
}

TEST(MessageCoder, VolumeSerialFromMachineIdElseTheRootFilesystem) {
    testsupport::TempDir dir("serial");
    testsupport::write_file(dir / "machine-id", "0123abcd4567ef890123abcd4567ef89\n");
    EXPECT_EQ(MessageCoder::ReadVolumeSerial((dir / "machine-id").c_str(), nullptr), 0x0123ABCDu);

    testsupport::write_file(dir / "bad-id", "xyz");
    struct statvfs fs;
    ASSERT_EQ(statvfs(dir.str().c_str(), &fs), 0);
    EXPECT_EQ(MessageCoder::ReadVolumeSerial((dir / "bad-id").c_str(), dir.str().c_str()),
              static_cast<uint32_t>(fs.f_fsid));
    EXPECT_EQ(MessageCoder::ReadVolumeSerial((dir / "missing").c_str(), (dir / "missing").c_str()),
              0u);
}
