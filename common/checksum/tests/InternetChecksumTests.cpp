#include "AltirenChecksum/InternetChecksum.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace altiren;

TEST(Checksum, KnownIpv4HeaderVerifiesToZeroSum) {
    // A header with its checksum field zeroed gives the stored checksum 0xB861.
    const uint8_t header[] = {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                              0x00, 0x00, 0xc0, 0xa8, 0x00, 0x01, 0xc0, 0xa8, 0x00, 0xc7};
    EXPECT_EQ(internet_checksum(header, sizeof header), 0xB861);
}

TEST(Checksum, OddLastByteIsHighByteAndZeroBecomesFfff) {
    const uint8_t one[] = {0x00, 0x01};
    EXPECT_EQ(internet_checksum(one, sizeof one), 0xFFFE);
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
    EXPECT_EQ(internet_fold(0xFFFFFFFF), 0xFFFF);
    EXPECT_EQ(internet_fold(0x0001FFFF), 0x0001);
}

TEST(Checksum, SumsContinueAcrossPiecesAsOneBuffer) {
    // A pseudo-header and a message summed in pieces give the sum of the joined bytes, as
    // long as each piece but the last has an even length.
    const std::vector<uint8_t> whole = {0x20, 0x01, 0x0d, 0xb8, 0xFF, 0xFE, 0x12, 0x34, 0x56};
    const uint32_t joined = internet_sum(whole.data(), whole.size());
    const uint32_t pieces = internet_sum(whole.data() + 4, 5, internet_sum(whole.data(), 4));
    EXPECT_EQ(internet_fold(pieces), internet_fold(joined));
    EXPECT_EQ(static_cast<uint16_t>(~internet_fold(joined)),
              internet_checksum(whole.data(), whole.size()));
}

TEST(Checksum, Ipv4HeaderCheckRejectsShortAndWrongHeaders) {
    std::vector<uint8_t> h = {0x45, 0, 0,   20, 0x12, 0x34, 0x40, 0,  64, 6,
                              0,    0, 198, 18, 0,    1,    198,  18, 0,  2};
    const uint16_t c = internet_checksum(h.data(), 20);
    h[10] = static_cast<uint8_t>(c >> 8);
    h[11] = static_cast<uint8_t>(c);
    EXPECT_TRUE(ipv4_header_checksum_ok(h.data(), h.size()));
    h[8] = 63;
    EXPECT_FALSE(ipv4_header_checksum_ok(h.data(), h.size()));
    h[8] = 64;
    h[0] = 0x44; // below 20 bytes
    EXPECT_FALSE(ipv4_header_checksum_ok(h.data(), h.size()));
    h[0] = 0x46; // beyond the buffer
    EXPECT_FALSE(ipv4_header_checksum_ok(h.data(), h.size()));
    EXPECT_FALSE(ipv4_header_checksum_ok(h.data(), 0));
    EXPECT_FALSE(ipv4_header_checksum_ok(nullptr, 20));
}

TEST(Checksum, Ipv4HeaderWhoseChecksumIsZeroVerifiesEitherWay) {
    // The other words sum to 0xFFFF, so the checksum is the complement of zero: senders store
    // it as 0x0000 (as most stacks do) or 0xFFFF, and both verify.
    std::vector<uint8_t> h = {0x45, 0, 0,    20,   0, 0, 0,    0,    0x40, 0x01,
                              0,    0, 0x0A, 0x00, 0, 1, 0x70, 0xE9, 0,    0};
    EXPECT_TRUE(ipv4_header_checksum_ok(h.data(), h.size()));
    h[10] = h[11] = 0xFF;
    EXPECT_TRUE(ipv4_header_checksum_ok(h.data(), h.size()));
    h[11] = 0xFE;
    EXPECT_FALSE(ipv4_header_checksum_ok(h.data(), h.size()));
}

TEST(Checksum, TheSumIsThatOfEveryBigEndianWordWhateverTheLengthAndAlignment) {
    // Word by word, as the definition reads.
    const auto reference = [](const uint8_t* d, size_t n, uint32_t sum) {
        uint64_t s = sum;
        for (size_t i = 0; i + 1 < n; i += 2)
            s += static_cast<uint32_t>(d[i] << 8 | d[i + 1]);
        if (n % 2)
            s += static_cast<uint32_t>(d[n - 1]) << 8;
        while (s >> 16)
            s = (s & 0xFFFF) + (s >> 16);
        return static_cast<uint16_t>(s);
    };
    std::mt19937 random(5);
    std::vector<uint8_t> bytes(70000);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length < 300; ++length) {
            const uint32_t start = random() % 0x20000;
            ASSERT_EQ(internet_fold(internet_sum(bytes.data() + offset, length, start)),
                      reference(bytes.data() + offset, length, start))
                << "offset " << offset << ", length " << length;
        }
    // The largest frames, and all ones: carries from every word.
    EXPECT_EQ(internet_fold(internet_sum(bytes.data() + 1, 65535)),
              reference(bytes.data() + 1, 65535, 0));
    const std::vector<uint8_t> ones(65536, 0xFF);
    EXPECT_EQ(internet_fold(internet_sum(ones.data(), ones.size())), 0xFFFF);
    const std::vector<uint8_t> zeros(1500, 0);
    EXPECT_EQ(internet_sum(zeros.data(), zeros.size()), 0u);
}
