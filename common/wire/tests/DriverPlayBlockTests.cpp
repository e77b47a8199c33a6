#include "quellin_wire/Checksum.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quellin::wire;

TEST(DriverPlayBlock, FieldsSitAtTheirOffsets) {
    DriverPlayBlock b;
    ASSERT_EQ(b.size(), 3272u);
    EXPECT_EQ(get_u32(b.data(), 172), 1u);
    EXPECT_EQ(get_u32(b.data(), 176), 3088u);

    b.setAdapterNumber(2);
    b.setEastOut(100000);
    b.setWestIn(0xFFFFFFFF);
    b.setLossType(-1);
    b.setBitErrorChance(1000000000000ull);
    b.setCongestionMaxDuration(777);
    b.setFilterEntry(255, {0xC6120001, 0xC61200FF, 1, 2});
    EXPECT_EQ(get_u16(b.data(), 4), 2);
    EXPECT_EQ(get_u32(b.data(), 60), 100000u);
    EXPECT_EQ(get_u32(b.data(), 72), 0xFFFFFFFFu);
    EXPECT_EQ(get_u16(b.data(), 84), 0xFFFF);
    EXPECT_EQ(b.lossType(), -1);
    EXPECT_EQ(get_u64(b.data(), 128), 1000000000000ull);
    EXPECT_EQ(get_u16(b.data(), 3268), 777);
    EXPECT_EQ(get_u32(b.data(), 188 + 255 * 12), 0xC6120001u);
    EXPECT_EQ(get_u16(b.data(), 188 + 255 * 12 + 10), 2);
    EXPECT_EQ(b.filterEntry(255).lastAddress, 0xC61200FFu);

    b.setAdapterName("a-very-long-adapter-service-name");
    EXPECT_EQ(b.adapterName(), "a-very-long-adapter-");
    EXPECT_EQ(b.data()[48], 0); // the name field ends before the delay type
}

TEST(DriverPlayBlock, SampleTailFollowsFixedPart) {
    DriverPlayBlock b(3);
    ASSERT_EQ(b.size(), 3272u + 12);
    b.setDelaySample(0, 10);
    b.setDelaySample(2, -1);
    b.setLossSample(0, 9400);
    b.setLossSample(3, 5); // outside: ignored
    EXPECT_EQ(get_u16(b.data(), 3272), 10);
    EXPECT_EQ(get_u16(b.data(), 3276), 0xFFFF);
    EXPECT_EQ(get_u16(b.data(), 3278), 9400);
    EXPECT_EQ(b.delaySample(2), -1);
    EXPECT_EQ(b.lossSample(3), 0);
}

TEST(DriverPlayBlock, LoadCheckRefusesWrongLengthsAndHeaders) {
    DriverPlayBlock good;
    const uint16_t sum = internet_checksum(good.data(), good.size());
    EXPECT_EQ(check_play_block(good.data(), good.size(), sum), 0);
    EXPECT_EQ(check_play_block(good.data(), good.size(), sum ^ 1), 1);

    std::vector<uint8_t> longer(good.bytes());
    longer.push_back(0);
    EXPECT_EQ(check_play_block(longer.data(), 3273, 0), 6);
    EXPECT_EQ(check_play_block(good.data(), 3271, 0), 6);
    EXPECT_EQ(check_play_block(good.data(), 100, 0), 6);
    EXPECT_EQ(check_play_block(nullptr, 0, 0), 6);

    DriverPlayBlock wrongSize = good;
    wrongSize.setFilterSize(3089);
    EXPECT_EQ(check_play_block(wrongSize.data(), wrongSize.size(), 0), 6);
    DriverPlayBlock wrongMarker = good;
    wrongMarker.setFilterMarker(0);
    EXPECT_EQ(check_play_block(wrongMarker.data(), wrongMarker.size(), 0), 6);
    DriverPlayBlock tooMany = good;
    tooMany.setFilterCount(257);
    EXPECT_EQ(check_play_block(tooMany.data(), tooMany.size(), 0), 6);
    tooMany.setFilterCount(256);
    EXPECT_TRUE(play_block_header_ok(tooMany.data(), tooMany.size()));

    // A sample count that the length does not carry.
    DriverPlayBlock samples(2);
    samples.setSampleCount(3);
    EXPECT_FALSE(play_block_header_ok(samples.data(), samples.size()));
    samples.setSampleCount(2);
    EXPECT_TRUE(play_block_header_ok(samples.data(), samples.size()));
}

TEST(DriverPlayBlock, ShortBytesArePaddedSoFieldsReadSafely) {
    const uint8_t shortBlock[10] = {0, 0, 0, 0, 7, 0};
    const auto b = DriverPlayBlock::from_bytes(shortBlock, sizeof shortBlock);
    EXPECT_EQ(b.adapterNumber(), 7);
    EXPECT_EQ(b.congestionMaxDuration(), 0);
    EXPECT_EQ(b.delaySample(0), 0);
}

TEST(DriverPlayBlock, HeldSamplesAreExactlyThoseTheLengthCarries) {
    // Four words of tail, every one non-zero, under counts that fit and counts that lie.
    DriverPlayBlock two(2);
    for (size_t i = 0; i < 2; ++i) {
        two.setDelaySample(i, 0x0101);
        two.setLossSample(i, 0x0101);
    }
    for (uint16_t count : {0, 1, 2, 3, 4, 5, 60000, 65535}) {
        auto b = DriverPlayBlock::from_bytes(two.data(), two.size());
        b.setSampleCount(count);
        const size_t probe = std::min<size_t>(count, 16);
        for (size_t i = 0; i < probe; ++i) {
            EXPECT_EQ(b.delaySample(i) != 0, i < b.delaySamplesHeld()) << count << " " << i;
            EXPECT_EQ(b.lossSample(i) != 0, i < b.lossSamplesHeld()) << count << " " << i;
        }
        EXPECT_LE(b.delaySamplesHeld(), count);
        EXPECT_LE(b.lossSamplesHeld(), count);
    }
    auto lying = DriverPlayBlock::from_bytes(two.data(), two.size());
    lying.setSampleCount(3);
    EXPECT_EQ(lying.delaySamplesHeld(), 3u);
    EXPECT_EQ(lying.lossSamplesHeld(), 1u);
    lying.setSampleCount(60000);
    EXPECT_EQ(lying.delaySamplesHeld(), 4u);
    EXPECT_EQ(lying.lossSamplesHeld(), 0u);
}
