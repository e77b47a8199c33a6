#include "OrvaneUtils/Base64Coder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Encode(const std::string& bytes) {
    Base64Coder coder;
    coder.Encode(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return coder.EncodedMessage();
}

bool Decode(const std::string& text, std::string& bytes) {
    Base64Coder coder;
    coder.Decode(text.data(), static_cast<unsigned long>(text.size()));
    if (!coder.DecodedMessage())
        return false;
    bytes.assign(reinterpret_cast<const char*>(coder.DecodedMessage()), coder.GetDecodeDataSize());
    return true;
}

} // namespace

TEST(Base64Coder, KnownVectorsAndRoundTripOfEveryTailLength) {
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Encode("f"), "Zg==");
    EXPECT_EQ(Encode("fo"), "Zm8=");
    EXPECT_EQ(Encode("foo"), "Zm9v");
    EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Encode(std::string("\xfb\xff\x00", 3)), "+/8A");

    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t n = 0; n <= all.size(); n += 1 + n / 17) {
        std::string back;
        std::string part = all.substr(0, n);
        if (n == 0) {
            EXPECT_FALSE(Decode(Encode(part), back));
            continue;
        }
        ASSERT_TRUE(Decode(Encode(part), back)) << n;
        EXPECT_EQ(back, part);
    }
}

TEST(Base64Coder, DamagedTextDecodesNothing) {
    std::string out;
    EXPECT_FALSE(Decode("Zm9v!mFy", out));
    EXPECT_FALSE(Decode("Zm9vY", out));       // a lone sextet
    EXPECT_FALSE(Decode("Zg==Zg==", out));    // data after padding
    EXPECT_FALSE(Decode("Zm9v=", out));       // padding after a full group
    ASSERT_TRUE(Decode("Zm9v\r\nYmFy", out)); // line breaks are skipped
    EXPECT_EQ(out, "foobar");
}
