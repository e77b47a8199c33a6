#include "quellin_wire/ControlMessage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quellin::wire;

TEST(ControlMessage, EncodesAtFixedOffsetsAndRoundTrips) {
    ControlMessage m;
    m.command = 3;
    m.mode = 1;
    m.dataLength = 3272;
    m.checksum = 0xBEEF;
    m.dataAddress = 0x12345678;
    const auto bytes = m.encode();
    EXPECT_EQ(std::memcmp(bytes.data(), "BDDY01", 6), 0);
    EXPECT_EQ(bytes[6], 3);
    EXPECT_EQ(bytes[8], 6);
    EXPECT_EQ(bytes[16], 1);
    EXPECT_EQ(bytes[20], 0xC8);
    EXPECT_EQ(bytes[21], 0x0C);
    EXPECT_EQ(bytes[24], 0xEF);
    EXPECT_EQ(bytes[25], 0xBE);
    EXPECT_EQ(bytes[28], 0x78);
    EXPECT_EQ(bytes[31], 0x12);

    const auto back = ControlMessage::decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->command, 3);
    EXPECT_EQ(back->protocolVersion, 6);
    EXPECT_EQ(back->dataLength, 3272u);
    EXPECT_EQ(back->checksum, 0xBEEF);
    EXPECT_EQ(back->dataAddress, 0x12345678u);
}

TEST(ControlMessage, RefusesShortOrWrongMagic) {
    auto bytes = ControlMessage{}.encode();
    EXPECT_FALSE(ControlMessage::decode(bytes.data(), 31));
    bytes[5] = '2';
    EXPECT_FALSE(ControlMessage::decode(bytes.data(), bytes.size()));
}

TEST(ControlReply, FourteenBytesWithStateAndResult) {
    ControlReply r{static_cast<uint16_t>(DriverState::Loaded),
                   static_cast<uint16_t>(CommandResult::BadPlayBlock)};
    const auto bytes = r.encode();
    EXPECT_EQ(std::memcmp(bytes.data(), "BDDY01", 6), 0);
    EXPECT_EQ(bytes[6], 3);
    EXPECT_EQ(bytes[8], 0);
    EXPECT_EQ(bytes[10], 6);
    EXPECT_EQ(bytes[12], 0);
    const auto back = ControlReply::decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->driverState, 3);
    EXPECT_EQ(back->result, 6);
    EXPECT_FALSE(ControlReply::decode(bytes.data(), 13));
}
