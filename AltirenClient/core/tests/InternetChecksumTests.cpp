#include "AltirenClient/InternetChecksum.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(InternetChecksum, EdgeValues) {
    const uint8_t one[] = {0x00, 0x01};
    EXPECT_EQ(InternetChecksum(one, sizeof one), 0xFFFE);
    EXPECT_EQ(InternetChecksum(nullptr, 0), 0xFFFF);
    // An odd last byte is a word's high byte.
    const uint8_t odd[] = {0x00, 0x01, 0x02};
    EXPECT_EQ(InternetChecksum(odd, sizeof odd), static_cast<uint16_t>(~0x0201));
}

// A 20-byte IPv4 header with a correct checksum (0xB861).
std::array<uint8_t, 20> Header() {
    return {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
            0xB8, 0x61, 0xC0, 0xA8, 0x00, 0x01, 0xC0, 0xA8, 0x00, 0xC7};
}

TEST(InternetChecksum, HeaderCheckMatchesAndLeavesTheHeaderAlone) {
    auto header = Header();
    const auto before = header;
    EXPECT_EQ(CheckIpHeaderChecksum(header.data(), header.size()), 1);
    EXPECT_EQ(header, before);
    header[11] ^= 1;
    EXPECT_EQ(CheckIpHeaderChecksum(header.data(), header.size()), 0);
}

TEST(InternetChecksum, HeaderCheckRefusesLengthsThatDoNotFit) {
    auto header = Header();
    header[0] = 0x40; // length 0
    EXPECT_EQ(CheckIpHeaderChecksum(header.data(), header.size()), 0);
    header[0] = 0x46; // 24 bytes claimed, 20 given
    EXPECT_EQ(CheckIpHeaderChecksum(header.data(), header.size()), 0);
    header[0] = 0x44; // 16 bytes: shorter than any IPv4 header
    EXPECT_EQ(CheckIpHeaderChecksum(header.data(), header.size()), 0);
    EXPECT_EQ(CheckIpHeaderChecksum(nullptr, 0), 0);
}

} // namespace
