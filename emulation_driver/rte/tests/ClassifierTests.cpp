#include "quellin_rte/PacketLayer.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::test;

namespace {
const uint32_t kStation = ipv4(198, 18, 0, 1);
const uint32_t kPeer = ipv4(198, 18, 0, 2);
const uint32_t kOther = ipv4(198, 19, 0, 9);

class Classifier : public ::testing::Test {
protected:
    void SetUp() override {
        RteConfig cfg;
        cfg.packetPoolSize = 4;
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
        adapter = rte_bind_adapter("tap0");
        block.setAdapterNumber(1);
        block.setAdapterAddress(kStation);
        view.bypass = false;
        view.block = &block;
        view.adapterNumber = 1;
        rte_set_filter_view(&view);
    }
    void TearDown() override { rte_shutdown(); }

    bool mine(const std::vector<uint8_t>& frame, uint16_t* hdr = nullptr) {
        uint16_t h = 0;
        RtePacket* p = rte_take_packet(adapter, 0, frame.data(), frame.size());
        const bool r = rte_is_my_packet(p, &h);
        rte_free_cookie(p);
        if (hdr)
            *hdr = h;
        return r;
    }

    rte::test::VirtualClock clock;
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink;
    RteAdapter* adapter = nullptr;
    wire::DriverPlayBlock block;
    RteFilterView view;
};
} // namespace

TEST_F(Classifier, EthernetAndSnapFramesWithEmptyFilter) {
    uint16_t h = 0;
    EXPECT_TRUE(mine(ipv4_frame(kStation, kPeer), &h));
    EXPECT_EQ(h, 14);
    EXPECT_TRUE(mine(snap_ipv4_frame(kPeer, kStation), &h));
    EXPECT_EQ(h, 22);
    // Neither address is the adapter's.
    EXPECT_FALSE(mine(ipv4_frame(kPeer, kOther)));
    block.setAdapterAddress(0);
    EXPECT_TRUE(mine(ipv4_frame(kPeer, kOther)));
}

TEST_F(Classifier, ArpAndOtherTypesPassUntouched) {
    uint16_t h = 0;
    EXPECT_FALSE(mine(arp_frame(), &h));
    EXPECT_EQ(h, 14);
}

TEST_F(Classifier, IncludeAndExcludeFilters) {
    block.setFilterCount(1);
    block.setFilterEntry(0, {kPeer, kPeer, 0, 0});
    block.setFilterMode(1);
    EXPECT_TRUE(mine(ipv4_frame(kStation, kPeer)));
    EXPECT_TRUE(mine(ipv4_frame(kPeer, kStation)));
    EXPECT_FALSE(mine(ipv4_frame(kStation, kOther)));
    block.setFilterMode(0);
    EXPECT_FALSE(mine(ipv4_frame(kStation, kPeer)));
    EXPECT_TRUE(mine(ipv4_frame(kStation, kOther)));
    // A range entry.
    block.setFilterEntry(0, {ipv4(198, 19, 0, 0), ipv4(198, 19, 255, 255), 0, 0});
    EXPECT_FALSE(mine(ipv4_frame(kOther, kStation)));
    // A damaged count never reads past the 256 entries.
    block.setFilterCount(0xFFFFFFFF);
    EXPECT_FALSE(mine(ipv4_frame(kOther, kStation)));
}

TEST_F(Classifier, Ipv6ByTheAdaptersAddress) {
    std::array<uint8_t, 16> own{0x20, 0x01, 0x00, 0x02};
    own[15] = 1;
    std::array<uint8_t, 16> peer = own;
    peer[15] = 2;
    std::array<uint8_t, 16> other = own;
    other[15] = 3;
    block.setAdapterIpv6(own);
    EXPECT_TRUE(mine(ipv6_frame(own, peer)));
    EXPECT_TRUE(mine(ipv6_frame(peer, own)));
    EXPECT_FALSE(mine(ipv6_frame(peer, other)));
}

TEST_F(Classifier, ShortFramesPassUnclassified) {
    auto v4 = ipv4_frame(kStation, kPeer);
    EXPECT_FALSE(mine(std::vector<uint8_t>(v4.begin(), v4.begin() + 13)));
    EXPECT_FALSE(mine(std::vector<uint8_t>(v4.begin(), v4.begin() + 33)));
    EXPECT_TRUE(mine(std::vector<uint8_t>(v4.begin(), v4.begin() + 34)));
    auto snap = snap_ipv4_frame(kStation, kPeer);
    EXPECT_FALSE(mine(std::vector<uint8_t>(snap.begin(), snap.begin() + 21)));
    EXPECT_FALSE(mine(std::vector<uint8_t>(snap.begin(), snap.begin() + 41)));
    std::array<uint8_t, 16> own{1};
    block.setAdapterIpv6(own);
    auto v6 = ipv6_frame(own, own);
    EXPECT_FALSE(mine(std::vector<uint8_t>(v6.begin(), v6.begin() + 53)));
    EXPECT_TRUE(mine(std::vector<uint8_t>(v6.begin(), v6.begin() + 54)));
}

TEST_F(Classifier, BypassAdapterAndMissingBlock) {
    const auto frame = ipv4_frame(kStation, kPeer);
    view.bypass = true;
    EXPECT_FALSE(mine(frame));
    view.bypass = false;
    view.adapterNumber = 2;
    EXPECT_FALSE(mine(frame));
    view.adapterNumber = 1;
    view.block = nullptr;
    EXPECT_FALSE(mine(frame));
    rte_set_filter_view(nullptr);
    EXPECT_FALSE(mine(frame));
}

TEST_F(Classifier, EveryAddressTheStationHoldsBesideTheBlocksIsTheStations) {
    const uint32_t second = ipv4(198, 18, 0, 7);
    const std::array<uint8_t, 16> v6a{0x20, 0x01, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const std::array<uint8_t, 16> v6b{0x20, 0x01, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2};
    const std::array<uint8_t, 16> peer6{0x20, 0x01, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    block.setAdapterIpv6(v6a);
    EXPECT_FALSE(mine(ipv4_frame(second, kPeer)));
    EXPECT_FALSE(mine(ipv6_frame(v6b, peer6)));

    rte_set_station_addresses(adapter, {kStation, second}, {v6a, v6b});
    EXPECT_TRUE(mine(ipv4_frame(second, kPeer)));
    EXPECT_TRUE(mine(ipv4_frame(kPeer, second)));
    EXPECT_TRUE(mine(ipv6_frame(v6b, peer6))); // a temporary address beside the first
    EXPECT_TRUE(mine(ipv6_frame(peer6, v6b)));
    EXPECT_FALSE(mine(ipv4_frame(kPeer, kOther)));
    EXPECT_FALSE(mine(ipv6_frame(peer6, peer6)));
    // The filter still decides over the station's traffic.
    block.setFilterCount(1);
    block.setFilterMode(1);
    block.setFilterEntry(0, {kOther, kOther, 0, 0});
    EXPECT_FALSE(mine(ipv4_frame(second, kPeer)));
    EXPECT_TRUE(mine(ipv4_frame(second, kOther)));
    block.setFilterCount(0);

    // A block played for an address the station does not hold matches only that address.
    block.setAdapterAddress(kOther);
    EXPECT_FALSE(mine(ipv4_frame(second, kPeer)));
    EXPECT_TRUE(mine(ipv4_frame(kOther, kPeer)));
    rte_set_station_addresses(adapter, {}, {});
    block.setAdapterAddress(kStation);
    EXPECT_FALSE(mine(ipv4_frame(second, kPeer)));
}
