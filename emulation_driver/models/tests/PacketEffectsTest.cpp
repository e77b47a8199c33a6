#include "quellin_models/PacketEffects.h"
#include "FakeRuntime.h"
#include "quellin_models/Checksum.h"
#include "quellin_models/PacketBytes.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <string>
#include <vector>

using namespace quellin::models;
using quellin::models::test::draw_for;
using quellin::models::test::FakeRuntime;

namespace {

using Bytes = std::vector<uint8_t>;

// Independent checks: the plain 16-bit word sum with end-around carry, checksum included,
// folds to 0xFFFF over correct data.
uint16_t fold(const uint8_t* p, size_t n, uint64_t sum = 0) {
    for (size_t i = 0; i < n; i += 2)
        sum += (p[i] << 8) | (i + 1 < n ? p[i + 1] : 0);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}
uint16_t be16(const Bytes& b, size_t off) {
    return static_cast<uint16_t>(b[off] << 8 | b[off + 1]);
}

Bytes ipv4_packet(size_t total, const Bytes& options = {}, uint16_t flagsOffset = 0) {
    const size_t h = 20 + options.size();
    Bytes p(total);
    p[0] = static_cast<uint8_t>(0x40 | (h / 4));
    p[2] = static_cast<uint8_t>(total >> 8);
    p[3] = static_cast<uint8_t>(total);
    p[4] = 0xBE;
    p[5] = 0xEF;
    p[6] = static_cast<uint8_t>(flagsOffset >> 8);
    p[7] = static_cast<uint8_t>(flagsOffset);
    p[8] = 64;
    p[9] = 17;
    const uint8_t src[4] = {198, 18, 0, 1}, dst[4] = {198, 18, 1, 2};
    std::copy(src, src + 4, p.begin() + 12);
    std::copy(dst, dst + 4, p.begin() + 16);
    std::copy(options.begin(), options.end(), p.begin() + 20);
    for (size_t i = h; i < total; ++i)
        p[i] = static_cast<uint8_t>(i * 7 + 3);
    ipv4_set_header_checksum(p, h);
    return p;
}

Bytes ipv6_packet(size_t payload) {
    Bytes p(40 + payload);
    p[0] = 0x60;
    p[1] = 0x12;
    p[2] = 0x34;
    p[3] = 0x56;
    p[4] = static_cast<uint8_t>(payload >> 8);
    p[5] = static_cast<uint8_t>(payload);
    p[6] = 17;
    p[7] = 64;
    for (int i = 0; i < 16; ++i) {
        p[8 + i] = static_cast<uint8_t>(0x20 + i);
        p[24 + i] = static_cast<uint8_t>(0x80 + i);
    }
    for (size_t i = 40; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>(i);
    return p;
}

struct Introduced {
    Bytes ip;
    uint16_t flags;
    bool reply;
};

class RecordingHost : public ExitEffectsHost {
public:
    Bytes frame; // the parent's frame; its private copy is `copy`
    Bytes copy;
    bool copyFails = false;
    bool bufferFails = false;
    std::vector<std::pair<uint64_t, uint32_t>> toggles;
    std::vector<uint16_t> duplicates;
    std::vector<Introduced> built;
    uint32_t raised = 0;
    Bytes buffer;

    bool make_private_copy() override {
        if (copyFails)
            return false;
        copy = frame;
        return true;
    }
    void toggle_copy_bits(uint64_t position, uint32_t count) override {
        toggles.emplace_back(position, count);
        toggle_bits(copy, position, count);
    }
    bool introduce_duplicate(uint16_t flags) override {
        duplicates.push_back(flags);
        return true;
    }
    std::span<uint8_t> working_buffer(size_t size) override {
        if (bufferFails)
            return {};
        buffer.assign(size, 0xCC);
        return buffer;
    }
    bool introduce_built(std::span<const uint8_t> ip, uint16_t flags, bool reply) override {
        built.push_back({Bytes(ip.begin(), ip.end()), flags, reply});
        return true;
    }
    void raise_wan_queue_maxima(uint32_t n) override { raised += n; }
};

class Effects : public ::testing::Test {
protected:
    FakeRuntime rt;
    RecordingHost host;
    uint16_t flags = 0;
    Bytes ip;

    PacketView view() {
        host.frame.assign(14, 0xEE);
        host.frame.insert(host.frame.end(), ip.begin(), ip.end());
        return PacketView{ip, host.frame.size(), 14};
    }
    void fragment(uint16_t mtu, uint16_t order) {
        FragmentationParams p{50, mtu, order};
        rt.script.push_back(draw_for(1, 100, 50));
        const auto v = view();
        du_fragmentation(p, rt, v, flags, host);
    }
};

// Gap draws of du_int64_rand(1, n) for a gap below 32,767 values of span.
void script_gap(FakeRuntime& rt, uint64_t n, uint64_t gap) {
    const uint64_t span = n - 1;
    rt.script.push_back(static_cast<uint16_t>(((gap - 1) * 32767 + span - 1) / span));
    rt.script.push_back(0);
    rt.script.push_back(0);
}

} // namespace

TEST(ToggleBits, FlipsFromTheHighBitAndStopsAtTheEnd) {
    Bytes b = {0x00, 0x00, 0xFF};
    toggle_bits(b, 6, 4);
    EXPECT_EQ(b, (Bytes{0x03, 0xC0, 0xFF}));
    toggle_bits(b, 20, 100);
    EXPECT_EQ(b, (Bytes{0x03, 0xC0, 0xF0}));
    toggle_bits(b, 24, 5); // past the end: nothing
    EXPECT_EQ(b, (Bytes{0x03, 0xC0, 0xF0}));
}

TEST_F(Effects, BitErrorBurstsLandAtTheScriptedGaps) {
    ip = ipv4_packet(100);
    BitErrorParams p{1000, 3, 3};
    script_gap(rt, 1000, 200);
    rt.script.push_back(0); // burst length 3
    script_gap(rt, 1000, 50);
    rt.script.push_back(0);
    script_gap(rt, 1000, 999); // beyond the frame
    const auto v = view();
    EXPECT_EQ(du_bit_error_rate(p, rt, v, host), 0x02);
    ASSERT_EQ(host.toggles.size(), 2u);
    EXPECT_EQ(host.toggles[0], (std::pair<uint64_t, uint32_t>{14 * 8 + 200, 3}));
    EXPECT_EQ(host.toggles[1], (std::pair<uint64_t, uint32_t>{14 * 8 + 250, 3}));
    Bytes expected = host.frame;
    expected[14 + 25] ^= 0xE0;
    expected[14 + 31] ^= 0x38; // bits 250..252: byte 31, bits 2..4
    EXPECT_EQ(host.copy, expected);
    EXPECT_TRUE(rt.script.empty());
}

TEST_F(Effects, BitErrorInTheHeaderLosesThePacket) {
    ip = ipv4_packet(100);
    script_gap(rt, 1000, 159);
    const auto v = view();
    EXPECT_EQ(du_bit_error_rate(BitErrorParams{1000, 1, 1}, rt, v, host), 0x100);
    EXPECT_TRUE(host.toggles.empty());
    ip = ipv6_packet(60);
    script_gap(rt, 1000, 319); // 320 header bits for IPv6
    const auto v6 = view();
    EXPECT_EQ(du_bit_error_rate(BitErrorParams{1000, 1, 1}, rt, v6, host), 0x100);
}

TEST_F(Effects, BitErrorChance100LosesEveryIpv4Packet) {
    rt.strict = false;
    ip = ipv4_packet(1500);
    const auto v = view();
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(du_bit_error_rate(BitErrorParams{100, 1, 1}, rt, v, host), 0x100);
}

TEST_F(Effects, BitErrorWithoutCopyOrBeyondTheFrameLeavesThePacket) {
    ip = ipv4_packet(100);
    script_gap(rt, 1000, 800); // 800 bits = exactly the IP bytes: no error
    const auto v = view();
    EXPECT_EQ(du_bit_error_rate(BitErrorParams{1000, 1, 1}, rt, v, host), 0);
    host.copyFails = true;
    script_gap(rt, 1000, 300);
    rt.script.push_back(0);
    EXPECT_EQ(du_bit_error_rate(BitErrorParams{1000, 1, 1}, rt, v, host), 0);
    EXPECT_TRUE(host.toggles.empty());
    EXPECT_EQ(du_bit_error_rate(BitErrorParams{0, 1, 1}, rt, v, host), 0);
}

TEST_F(Effects, DuplicationMakesTheBurstOfMarkedCopies) {
    DuplicationParams p{99, 2, 2};
    flags = 0x02;
    rt.script = {draw_for(1, 100, 99), 0};
    du_duplicate_packet(p, rt, flags, host);
    EXPECT_EQ(host.duplicates, (std::vector<uint16_t>{0x0A, 0x0A}));
    EXPECT_EQ(flags, 0x12);
    EXPECT_EQ(host.raised, 2u);
    rt.script = {draw_for(1, 100, 100)};
    du_duplicate_packet(p, rt, flags, host);
    EXPECT_EQ(host.duplicates.size(), 2u);
}

TEST_F(Effects, DuplicationWithBurstZeroStillMarksTheParent) {
    rt.script = {0, 0};
    du_duplicate_packet(DuplicationParams{10, 0, 0}, rt, flags, host);
    EXPECT_TRUE(host.duplicates.empty());
    EXPECT_EQ(flags, 0x10);
}

namespace {
// Reassembles fragments (IPv4) into the parent's data; checks each header on the way.
Bytes reassemble(const std::vector<Introduced>& frags, size_t dataLength) {
    Bytes data(dataLength, 0);
    std::vector<bool> seen(dataLength, false);
    for (const auto& f : frags) {
        const size_t h = (f.ip[0] & 0x0F) * 4;
        EXPECT_EQ(fold(f.ip.data(), h), 0xFFFF);
        EXPECT_EQ(be16(f.ip, 2), f.ip.size());
        const size_t off = (be16(f.ip, 6) & 0x1FFF) * 8;
        for (size_t i = h; i < f.ip.size(); ++i) {
            EXPECT_FALSE(seen[off + i - h]);
            seen[off + i - h] = true;
            data[off + i - h] = f.ip[i];
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
    return data;
}
} // namespace

TEST_F(Effects, Mtu576CutsA1500BytePacketIntoThreeFragments) {
    ip = ipv4_packet(1500);
    fragment(576, 0);
    ASSERT_EQ(host.built.size(), 3u);
    const size_t sizes[] = {552, 552, 376};
    const uint16_t offsets[] = {0, 69, 138};
    const bool more[] = {true, true, false};
    for (size_t k = 0; k < 3; ++k) {
        const auto& f = host.built[k];
        EXPECT_EQ(f.ip.size() - 20, sizes[k]);
        EXPECT_EQ(be16(f.ip, 6) & 0x1FFF, offsets[k]);
        EXPECT_EQ((be16(f.ip, 6) & 0x2000) != 0, more[k]);
        EXPECT_EQ(f.flags, 0x40);
        EXPECT_FALSE(f.reply);
    }
    EXPECT_EQ(reassemble(host.built, 1480), Bytes(ip.begin() + 20, ip.end()));
    EXPECT_EQ(flags, 0x20);
    EXPECT_EQ(host.raised, 3u);
}

TEST_F(Effects, FragmentsOfAFragmentKeepItsOffsetAndMoreFlag) {
    ip = ipv4_packet(1000, {}, 0x2000 | 100);
    fragment(500, 0);
    ASSERT_EQ(host.built.size(), 3u);
    EXPECT_EQ(be16(host.built[0].ip, 6), 0x2000 | 100);
    EXPECT_EQ(be16(host.built[1].ip, 6), 0x2000 | (100 + 60));
    EXPECT_EQ(be16(host.built[2].ip, 6), 0x2000 | (100 + 120));
}

TEST_F(Effects, OnlyOptionsWithTheCopyBitGoIntoLaterFragments) {
    const Bytes options = {0x07, 7, 4, 0, 0, 0, 0,              // record route: first only
                           0x83, 7, 4, 1, 2, 3, 4, 0x01, 0x00}; // source route: copied
    ip = ipv4_packet(1000, options);
    fragment(300, 0);
    ASSERT_GE(host.built.size(), 2u);
    const auto& first = host.built[0];
    EXPECT_EQ(first.ip[0], 0x49);
    EXPECT_TRUE(std::equal(options.begin(), options.end(), first.ip.begin() + 20));
    EXPECT_EQ(first.ip.size(), 36u + 264u);
    for (size_t k = 1; k < host.built.size(); ++k) {
        const auto& f = host.built[k];
        EXPECT_EQ(f.ip[0], 0x47);
        EXPECT_EQ(Bytes(f.ip.begin() + 20, f.ip.begin() + 28), (Bytes{0x83, 7, 4, 1, 2, 3, 4, 0}));
    }
    EXPECT_EQ(host.built[1].ip.size(), 28u + 272u);
    EXPECT_EQ(reassemble(host.built, 964), Bytes(ip.begin() + 36, ip.end()));
}

TEST_F(Effects, DontFragmentByOrder) {
    ip = ipv4_packet(1500, {}, 0x4000);
    fragment(576, 0);
    EXPECT_EQ(flags, 0x200);
    EXPECT_TRUE(host.built.empty());
    flags = 0;
    fragment(576, 3);
    EXPECT_EQ(flags, 0x200);
    EXPECT_TRUE(host.built.empty());
    flags = 0;
    fragment(576, 1);
    EXPECT_EQ(flags, 0x20);
    EXPECT_EQ(host.built.size(), 3u);
    EXPECT_EQ(be16(host.built[2].ip, 6), 0x4000 | 138); // DF kept
}

TEST_F(Effects, FragmentationNeededAnswerCarriesTheWholeHeader) {
    const Bytes options = {0x01, 0x01, 0x01, 0x00};
    ip = ipv4_packet(1500, options, 0x4000);
    fragment(576, 2);
    EXPECT_EQ(flags, 0x200);
    ASSERT_EQ(host.built.size(), 1u);
    const auto& a = host.built[0];
    EXPECT_TRUE(a.reply);
    ASSERT_EQ(a.ip.size(), 24u + 36u);
    EXPECT_EQ(a.ip[0], 0x45);
    EXPECT_EQ(be16(a.ip, 2), 60);
    EXPECT_EQ(be16(a.ip, 4), 0xBEEF);
    EXPECT_EQ(be16(a.ip, 6), 0);
    EXPECT_EQ(a.ip[8], 255);
    EXPECT_EQ(a.ip[9], 1);
    EXPECT_EQ(Bytes(a.ip.begin() + 12, a.ip.begin() + 16), Bytes(ip.begin() + 16, ip.begin() + 20));
    EXPECT_EQ(Bytes(a.ip.begin() + 16, a.ip.begin() + 20), Bytes(ip.begin() + 12, ip.begin() + 16));
    EXPECT_EQ(fold(a.ip.data(), 20), 0xFFFF);
    EXPECT_EQ(a.ip[20], 3);
    EXPECT_EQ(a.ip[21], 4);
    EXPECT_EQ(Bytes(a.ip.begin() + 24, a.ip.begin() + 28), Bytes(4, 0));
    EXPECT_EQ(Bytes(a.ip.begin() + 28, a.ip.end()), Bytes(ip.begin(), ip.begin() + 32));
    EXPECT_EQ(fold(a.ip.data() + 20, a.ip.size() - 20), 0xFFFF);
}

TEST_F(Effects, PacketTooBigAnswerForIpv6) {
    ip = ipv6_packet(1460);
    fragment(1000, 2); // max(M, 1,280) is below 1,500
    EXPECT_EQ(flags, 0x200);
    ASSERT_EQ(host.built.size(), 1u);
    const auto& a = host.built[0];
    EXPECT_TRUE(a.reply);
    ASSERT_EQ(a.ip.size(), 96u);
    EXPECT_EQ(Bytes(a.ip.begin(), a.ip.begin() + 4), Bytes(ip.begin(), ip.begin() + 4));
    EXPECT_EQ(be16(a.ip, 4), 56);
    EXPECT_EQ(a.ip[6], 58);
    EXPECT_EQ(a.ip[7], 255);
    EXPECT_EQ(Bytes(a.ip.begin() + 8, a.ip.begin() + 24), Bytes(ip.begin() + 24, ip.begin() + 40));
    EXPECT_EQ(Bytes(a.ip.begin() + 24, a.ip.begin() + 40), Bytes(ip.begin() + 8, ip.begin() + 24));
    EXPECT_EQ(a.ip[40], 2);
    EXPECT_EQ(a.ip[41], 0);
    EXPECT_EQ(be16(a.ip, 44) << 16 | be16(a.ip, 46), 1280);
    EXPECT_EQ(Bytes(a.ip.begin() + 48, a.ip.end()), Bytes(ip.begin(), ip.begin() + 48));
    // Pseudo-header: addresses, length 56, next header 58; then the message.
    uint64_t pseudo = 56 + 58;
    for (int i = 8; i < 40; i += 2)
        pseudo += be16(a.ip, i);
    EXPECT_EQ(fold(a.ip.data() + 40, 56, pseudo), 0xFFFF);
}

TEST_F(Effects, Ipv6IsNeverFragmented) {
    ip = ipv6_packet(1000); // fits 1,280
    fragment(576, 2);
    EXPECT_EQ(flags, 0);
    ip = ipv6_packet(1460);
    fragment(576, 1);
    EXPECT_EQ(flags, 0x200); // too big: dropped, not cut
    EXPECT_TRUE(host.built.empty());
}

TEST_F(Effects, UntrustedHeadersAreLeftWhole) {
    struct Case {
        std::string what;
        Bytes packet;
    };
    Bytes shortHeader = ipv4_packet(1500);
    shortHeader[0] = 0x44;
    Bytes truncated = ipv4_packet(1500);
    truncated.resize(1200);
    Bytes headerPastTotal = ipv4_packet(40, Bytes(20, 1));
    headerPastTotal[2] = 0;
    headerPastTotal[3] = 30;
    Bytes notIp = ipv4_packet(1500);
    notIp[0] = 0x55;
    for (const auto& c : {Case{"IHL 4", shortHeader}, Case{"frame short", truncated},
                          Case{"h > total", headerPastTotal}, Case{"version 5", notIp}}) {
        ip = c.packet;
        flags = 0;
        fragment(28, 2);
        EXPECT_EQ(flags, 0) << c.what;
        EXPECT_TRUE(host.built.empty()) << c.what;
    }
}

TEST_F(Effects, FragmentDataRoundingToZeroLeavesThePacketWhole) {
    // 40 bytes of copied options: later headers of 60 bytes leave 4 data bytes at M = 64.
    Bytes options;
    for (int i = 0; i < 4; ++i) {
        const Bytes o = {0x83, 10, 4, 1, 2, 3, 4, 5, 6, 7};
        options.insert(options.end(), o.begin(), o.end());
    }
    ip = ipv4_packet(200, options);
    fragment(64, 0);
    EXPECT_EQ(flags, 0);
    EXPECT_TRUE(host.built.empty());
    EXPECT_EQ(host.raised, 0u);
}

TEST_F(Effects, OptionLengthBelowTwoEndsTheScan) {
    for (uint8_t len : {0, 1}) {
        const Bytes options = {0x83, len, 0x83, 4, 9, 9, 0, 0};
        ip = ipv4_packet(600, options);
        host.built.clear();
        flags = 0;
        fragment(300, 0);
        ASSERT_GE(host.built.size(), 2u);
        EXPECT_EQ(host.built[1].ip[0], 0x45) << int(len); // nothing copied
    }
}

TEST_F(Effects, CorruptedPacketsWithBadHeadersAreNotCut) {
    ip = ipv4_packet(1500);
    ip[8] ^= 1; // checksum no longer verifies
    flags = 0x02;
    fragment(576, 0);
    EXPECT_EQ(flags, 0x02);
    EXPECT_TRUE(host.built.empty());
    ip = ipv4_packet(1500);
    fragment(576, 0);
    EXPECT_EQ(host.built.size(), 3u);
    EXPECT_EQ(host.built[0].flags, 0x42);
}

TEST_F(Effects, NoWorkingBufferLeavesThePacketWhole) {
    host.bufferFails = true;
    ip = ipv4_packet(1500, {}, 0x4000);
    fragment(576, 2);
    EXPECT_EQ(flags, 0);
    ip = ipv4_packet(1500);
    fragment(576, 0);
    EXPECT_EQ(flags, 0);
    ip = ipv6_packet(1460);
    fragment(576, 2);
    EXPECT_EQ(flags, 0);
}
