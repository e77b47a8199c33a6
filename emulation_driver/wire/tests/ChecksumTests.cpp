#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

#include <vector>

using quellin::wire::internet_checksum;

TEST(Checksum, KnownIpv4HeaderVerifiesToZeroSum) {
    // A header with its checksum field zeroed gives the stored checksum 0xB861.
    const uint8_t header[] = {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                              0x00, 0x00, 0xc0, 0xa8, 0x00, 0x01, 0xc0, 0xa8, 0x00, 0xc7};
    EXPECT_EQ(internet_checksum(header, sizeof header), 0xB861);
}

TEST(Checksum, OddLastByteIsHighByteAndZeroBecomesFfff) {
    const uint8_t odd[] = {0x12, 0x34, 0x56};
    // 0x1234 + 0x5600 = 0x6834, complement 0x97CB.
    EXPECT_EQ(internet_checksum(odd, sizeof odd), 0x97CB);
    // A sum of 0xFFFF complements to 0, which is given as 0xFFFF.
    const uint8_t ones[] = {0xFF, 0xFF};
    EXPECT_EQ(internet_checksum(ones, sizeof ones), 0xFFFF);
    // Empty data: sum 0, complement 0xFFFF.
    EXPECT_EQ(internet_checksum(nullptr, 0), 0xFFFF);
}

TEST(Checksum, CarriesFoldTwice) {
    std::vector<uint8_t> data(4, 0xFF);
    data.push_back(0xFF);
    data.push_back(0xFE);
    // 0xFFFF * 2 + 0xFFFE = 0x2FFFC -> 0xFFFC + 2 = 0xFFFE -> complement 0x0001
    EXPECT_EQ(internet_checksum(data.data(), data.size()), 0x0001);
    // 0x8000 * 2 + 0xFFFF = 0x1FFFF -> 0xFFFF + 1 = 0x10000 -> second fold 0x0001 -> 0xFFFE
    const uint8_t twice[] = {0x80, 0x00, 0x80, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(internet_checksum(twice, sizeof twice), 0xFFFE);
}
