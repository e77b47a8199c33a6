// Which sending thread a frame goes to: one flow's frames never pass each other, and flows
// that run at once are spread over the threads however their numbers fall.
#include "QuellinEdges/FlowHash.h"
#include "QuellinEdges/FlowLanes.h"

#include "OffloadFrames.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace quellin::edges;
using namespace quellin::edges_test;
namespace wire = quellin::wire;

namespace {

std::vector<uint8_t> udp(uint16_t sourcePort, uint16_t destPort, int vlanTags = 0) {
    auto f = ipv4(kUdp, 8, 18, vlanTags);
    const size_t t = 14 + 4 * static_cast<size_t>(vlanTags) + 20;
    wire::put_be16(f.data(), t, sourcePort);
    wire::put_be16(f.data(), t + 2, destPort);
    return f;
}

uint32_t hash_of(const std::vector<uint8_t>& f) {
    return flow_hash(f.data(), f.size());
}

// Lanes as a test drives them: frames pushed and sent by hand.
struct Lane {
    uint64_t pushedCount = 0;
    uint64_t sentCount = 0;
    uint64_t sent() const { return sentCount; }
    uint64_t backlog() const { return pushedCount - sentCount; }
};

struct Lanes {
    std::vector<Lane> lanes;
    FlowLanes chooser;
    explicit Lanes(size_t n) : lanes(n), chooser(n) {}
    size_t push(uint32_t flow) {
        const size_t i = chooser.choose(flow, [this](size_t k) -> const Lane& { return lanes[k]; });
        chooser.pushed(flow, ++lanes[i].pushedCount);
        return i;
    }
    void send_all() {
        for (Lane& l : lanes)
            l.sentCount = l.pushedCount;
    }
};

} // namespace

TEST(FlowHash, AFlowIsItsAddressesProtocolAndPortsWhereverItsHeadersLie) {
    const uint32_t one = hash_of(udp(40000, 47201));
    EXPECT_EQ(hash_of(udp(40000, 47201)), one);
    // The payload, the identification and the checksum are no part of it.
    auto other = udp(40000, 47201);
    other.back() ^= 0xFF;
    wire::put_be16(other.data(), 18, 0x7777);
    EXPECT_EQ(hash_of(other), one);

    std::set<uint32_t> flows;
    for (uint16_t port = 47201; port < 47265; ++port)
        flows.insert(hash_of(udp(40000, port)));
    EXPECT_EQ(flows.size(), 64u);
    EXPECT_NE(hash_of(ipv4(kTcp, 20, 10)), hash_of(ipv4(kUdp, 8, 10)));
    EXPECT_NE(hash_of(ipv6(kTcp, 20, 10)), 0u);
    // Tagged, the same flow (the tags are the link's, not the flow's).
    EXPECT_EQ(hash_of(udp(40000, 47201, 2)), one);
}

TEST(FlowHash, FragmentsGoByAddressesAloneAndFramesThatAreNoPacketAreFlowZero) {
    auto first = udp(40000, 47201);
    auto second = udp(40001, 47202);
    wire::put_be16(first.data(), 14 + 6, 0x2000);  // more fragments
    wire::put_be16(second.data(), 14 + 6, 0x00B9); // a later fragment: no ports
    EXPECT_EQ(hash_of(first), hash_of(second));
    EXPECT_NE(hash_of(first), hash_of(udp(40000, 47201)));

    auto arp = ethernet(0x0806);
    arp.resize(60, 0);
    EXPECT_EQ(hash_of(arp), 0u);
    // Cut short or lying about its length: read no further than it goes.
    const auto whole = udp(40000, 47201);
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(flow_hash(whole.data(), n), 0u) << n;
    EXPECT_EQ(flow_hash(nullptr, 0), 0u);
}

TEST(FlowLanes, FlowsStartingTogetherTakeALaneEachAndKeepItWhileAFrameIsUnsent) {
    Lanes l(3);
    std::vector<size_t> lane;
    for (uint32_t flow = 1; flow <= 3; ++flow)
        lane.push_back(l.push(flow));
    EXPECT_EQ(std::set<size_t>(lane.begin(), lane.end()).size(), 3u);
    // Nothing sent yet: every frame of a flow follows its first, however full its lane.
    for (int round = 0; round < 100; ++round)
        for (uint32_t flow = 1; flow <= 3; ++flow)
            ASSERT_EQ(l.push(flow), lane[flow - 1]);
    // A lane that sent all but the flow's last frame still holds the flow.
    Lane& first = l.lanes[lane[0]];
    first.sentCount = first.pushedCount - 1;
    EXPECT_EQ(l.push(1), lane[0]);
}

TEST(FlowLanes, AFlowWhoseFramesAreAllSentGoesToTheLeastBusyLane) {
    Lanes l(3);
    const size_t a = l.push(1);
    const size_t b = l.push(2);
    ASSERT_NE(a, b);
    // Flow 2 shares its lane with a third that keeps it busy; flow 1's frames are sent.
    for (int i = 0; i < 40; ++i)
        l.push(2);
    l.lanes[a].sentCount = l.lanes[a].pushedCount;
    const size_t moved = l.push(1);
    EXPECT_NE(moved, b);
    EXPECT_EQ(l.lanes[moved].backlog(), 1u);
}

TEST(FlowLanes, OneLaneTakesEveryFrame) {
    Lanes l(1);
    for (uint32_t flow = 0; flow < 50; ++flow)
        EXPECT_EQ(l.push(flow * 7919), 0u);
    EXPECT_EQ(FlowLanes(0).lanes(), 1u);
}
