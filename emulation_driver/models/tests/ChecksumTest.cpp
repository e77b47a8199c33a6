#include "quellin_models/Checksum.h"
#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quellin::models;

TEST(Checksum, Ipv4HeaderChecksumIsWrittenWhereItVerifies) {
    std::vector<uint8_t> h = {0x45, 0,    0,   20, 0x12, 0x34, 0x40, 0,  64, 6,
                              0xAB, 0xCD, 198, 18, 0,    1,    198,  18, 0,  2};
    ipv4_set_header_checksum(h, 20);
    EXPECT_TRUE(quellin::wire::ipv4_header_checksum_ok(h.data(), h.size()));
    h[8] = 63;
    EXPECT_FALSE(quellin::wire::ipv4_header_checksum_ok(h.data(), h.size()));
}

namespace {
// Plain 32-bit accumulation of the pseudo-header and the whole message, checksum included
// as given; a correct checksum folds to 0xFFFF.
uint16_t fold_with_pseudo_header(const uint8_t* src, const uint8_t* dst,
                                 const std::vector<uint8_t>& msg) {
    uint64_t sum = 0;
    for (int i = 0; i < 16; i += 2)
        sum += (src[i] << 8 | src[i + 1]) + (dst[i] << 8 | dst[i + 1]);
    sum += msg.size() + 58;
    for (size_t i = 0; i < msg.size(); i += 2)
        sum += (msg[i] << 8) | (i + 1 < msg.size() ? msg[i + 1] : 0);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}
} // namespace

TEST(Checksum, In6ChecksumVerifiesForEvenAndOddMessages) {
    uint8_t src[16] = {0x20, 0x01, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    uint8_t dst[16] = {0x20, 0x01, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0, 2};
    for (size_t len : {8u, 9u, 56u, 57u}) {
        std::vector<uint8_t> msg(len);
        for (size_t i = 0; i < len; ++i)
            msg[i] = static_cast<uint8_t>(i * 37 + 5);
        msg[0] = 2;
        msg[1] = 0;
        msg[2] = 0xAA; // ignored: counts as zero
        msg[3] = 0x55;
        const uint16_t c =
            in6_checksum_impl(src, dst, msg[0], msg[1], 58, static_cast<uint32_t>(len), msg);
        msg[2] = static_cast<uint8_t>(c >> 8);
        msg[3] = static_cast<uint8_t>(c);
        EXPECT_EQ(fold_with_pseudo_header(src, dst, msg), 0xFFFF) << "length " << len;
    }
}
