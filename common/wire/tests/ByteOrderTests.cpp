#include "quellin_wire/ByteOrder.h"

#include <gtest/gtest.h>

using namespace quellin::wire;

TEST(ByteOrder, BigAndLittleEndianPlaceBytesOppositeWays) {
    uint8_t b[8] = {};
    put_be16(b, 1, 0x1234);
    put_be32(b, 3, 0xA1B2C3D4u);
    const uint8_t big[8] = {0, 0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(b[i], big[i]) << i;
    EXPECT_EQ(get_be16(b, 1), 0x1234);
    EXPECT_EQ(get_be32(b, 3), 0xA1B2C3D4u);
    EXPECT_EQ(get_u16(b, 1), 0x3412);
    EXPECT_EQ(get_u32(b, 3), 0xD4C3B2A1u);

    put_u32(b, 0, 0xA1B2C3D4u);
    EXPECT_EQ(b[0], 0xD4);
    EXPECT_EQ(get_be32(b, 0), 0xD4C3B2A1u);
}
