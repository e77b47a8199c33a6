// The block's bytes compared whole against a record laid out by hand at the documented
// offsets.
#include "AltirenPlayCheck/BlockBuilder.h"
#include "AltirenPlayCheck/Defaults.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace altiren_api;

namespace {

struct Expected {
    std::vector<uint8_t> bytes;
    explicit Expected(size_t size) : bytes(size, 0) {}
    void u16(size_t at, uint16_t v) {
        bytes[at] = v & 0xFF;
        bytes[at + 1] = v >> 8;
    }
    void u32(size_t at, uint32_t v) {
        u16(at, v & 0xFFFF);
        u16(at + 2, v >> 16);
    }
    void u64(size_t at, uint64_t v) {
        u32(at, static_cast<uint32_t>(v));
        u32(at + 4, static_cast<uint32_t>(v >> 32));
    }
};

// What every block built from the defaults holds.
Expected defaults_block(size_t size) {
    Expected e(size);
    e.u16(4, 1);       // adapter number
    e.u16(56, 0xFFFF); // max delay diff of a fixed delay
    for (size_t at : {60, 64, 68, 72})
        e.u32(at, 0xFFFFFFFF);
    e.u16(76, 0xFFFF);
    e.u16(78, 0xFFFF);
    e.u16(108, 1);
    e.u16(110, 1);
    e.u32(172, 1);
    e.u32(176, 3088);
    return e;
}

std::vector<uint8_t> build(const PlayParameters& p, int* rc = nullptr) {
    PlayBlockValues v;
    int result = check_and_convert(p, v);
    if (rc)
        *rc = result;
    auto block = build_play_block(v);
    return std::vector<uint8_t>(block.data(), block.data() + block.size());
}

} // namespace

TEST(BlockBuilder, DefaultsGiveTheNeutralBlock) {
    PlayParameters p;
    set_default_play_params(p);
    int rc = -5;
    auto bytes = build(p, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(bytes, defaults_block(3272).bytes);
}

TEST(BlockBuilder, EveryGroupAtItsOffset) {
    PlayParameters p;
    set_default_play_params(p);
    p.latencyType = 2, p.minDelay = 10, p.maxDelay = 110, p.jitter = 3, p.maxDelayDiff = 40;
    p.timeSpan = 7;
    p.eastOutBandwidth = 5.7, p.eastInBandwidth = 64, p.westOutBandwidth = 10240;
    p.eastBucketSize = 100, p.westBucketSize = 200, p.eastOverhead = 14, p.westOverhead = 1000;
    p.eastBucketMode = 0;
    p.eastRedMinThreshold = 2, p.eastRedMaxThreshold = 50;
    p.westRedMinThreshold = 3, p.westRedMaxThreshold = 60;
    p.lossType = 3, p.burstChance = 0.29, p.burstMin = 2, p.burstMax = 9;
    p.outOfOrderChance = 50, p.outOfOrderMinRange = 1, p.outOfOrderMaxRange = 64;
    p.duplicationChance = 99, p.duplicationMinBurst = 1, p.duplicationMaxBurst = 20;
    p.fragmentationChance = 1, p.fragmentSize = 576, p.fragmentOrder = 3;
    p.bitErrorChance = 1000000000000ull, p.bitErrorMinBurst = 1, p.bitErrorMaxBurst = 500;
    p.disconnectChance = 300, p.disconnectMinTime = 10, p.disconnectMaxTime = 30000;
    p.congestionChance = 1, p.congestionPeakError = 90, p.congestionConstantDelay = 8000;
    p.congestionMinDuration = 10, p.congestionMaxDuration = 65535;
    p.filterMode = 0, p.filterCount = 2;
    p.filterAddresses[0] = htonl(0xC6120001);
    p.filterAddresses[1] = htonl(0xC6130002);

    PlayBlockValues v;
    ASSERT_EQ(check_and_convert(p, v), 0);
    v.adapterNumber = 3;
    v.adapterAddress = 0xC6120063;
    v.adapterIpv6 = {0x20, 0x01, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x63};
    std::memcpy(v.adapterName.data(), "veth-station-side-01", 20);
    auto block = build_play_block(v);
    std::vector<uint8_t> bytes(block.data(), block.data() + block.size());

    Expected e(3272);
    e.u16(4, 3);
    e.u32(8, 0xC6120063);
    e.bytes[12] = 0x20, e.bytes[13] = 0x01, e.bytes[15] = 0x02, e.bytes[27] = 0x63;
    std::memcpy(e.bytes.data() + 28, "veth-station-side-01", 20);
    e.u16(48, 2), e.u16(50, 10), e.u16(52, 110), e.u16(54, 3), e.u16(56, 40), e.u16(58, 7);
    e.u32(60, 57), e.u32(64, 640), e.u32(68, 102400), e.u32(72, 0xFFFFFFFF);
    e.u16(76, 100), e.u16(78, 200), e.u16(80, 14), e.u16(82, 1000);
    e.u16(84, 3), e.u16(90, 29), e.u16(92, 2), e.u16(94, 9);
    e.u16(108, 0), e.u16(110, 1);
    e.u16(112, 50), e.u16(114, 1), e.u16(116, 64);
    e.u16(118, 99), e.u16(120, 1), e.u16(122, 20);
    e.u64(128, 1000000000000ull), e.u16(136, 1), e.u16(138, 500);
    e.u16(144, 300), e.u16(146, 10), e.u16(148, 30000);
    e.u16(150, 1), e.u16(152, 576), e.u16(154, 3);
    e.u32(156, 2), e.u32(160, 3), e.u32(164, 50), e.u32(168, 60);
    e.u32(172, 1), e.u32(176, 3088), e.u32(180, 0), e.u32(184, 2);
    e.u32(188, 0xC6120001), e.u32(192, 0xC6120001);
    e.u32(200, 0xC6130002), e.u32(204, 0xC6130002);
    e.u16(3260, 1), e.u16(3262, 9000), e.u16(3264, 8000), e.u16(3266, 10), e.u16(3268, 65535);
    EXPECT_EQ(bytes, e.bytes);
}

TEST(BlockBuilder, RecordedTailAndItsZeroFilledLossHalf) {
    static const uint32_t delays[] = {100, 8000, 5};
    static const uint32_t losses[] = {94, 0, 1};
    PlayParameters p;
    set_default_play_params(p);
    p.latencyType = 3;
    p.lossType = 4;
    p.recordedKind = 1;
    p.sampleCount = 3;
    p.sampleInterval = 1000;
    p.delaySamples = delays;
    p.lossSamples = losses;
    int rc = -5;
    auto bytes = build(p, &rc);
    ASSERT_EQ(rc, 0);
    Expected e = defaults_block(3272 + 12);
    e.u16(48, 3);
    e.u16(56, 0); // a recorded type keeps the caller's step
    e.u16(84, 4);
    e.u16(104, 3);
    e.u16(106, 1000);
    e.u16(3272, 100), e.u16(3274, 8000), e.u16(3276, 5);
    e.u16(3278, 9400), e.u16(3280, 0), e.u16(3282, 100);
    EXPECT_EQ(bytes, e.bytes);

    // Random kind, no loss series: the loss half is present and zero, loss type stays.
    p.recordedKind = 2;
    p.latencyType = 0;
    p.lossType = 0;
    p.lossSamples = nullptr;
    bytes = build(p, &rc);
    ASSERT_EQ(rc, 0);
    e = defaults_block(3272 + 12);
    e.u16(48, 4);
    e.u16(56, 0xFFFF);
    e.u16(104, 3);
    e.u16(106, 1000);
    e.u16(3272, 100), e.u16(3274, 8000), e.u16(3276, 5);
    EXPECT_EQ(bytes, e.bytes);
    EXPECT_EQ(quellin::wire::check_play_block(
                  bytes.data(), bytes.size(),
                  quellin::wire::internet_checksum(bytes.data(), bytes.size())),
              0);
}
