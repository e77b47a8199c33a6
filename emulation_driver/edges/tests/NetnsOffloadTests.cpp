// The station's stack behind a TAP with offloads: its TCP and UDP super-frames must leave
// as wire-size packets with right checksums, and every effect of the emulation must act on
// those packets one by one. The test's namespace is the station; the lower interface's peer
// lives in a network namespace of its own. Needs root and /dev/net/tun; skips otherwise.
#include "QuellinEdges/Edges.h"
#include "QuellinEdges/Namespaces.h"

#include "quellin_engine/Engine.h"
#include "quellin_models/EngineHooks.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/Checksum.h"

#include "NetnsLab/Inspect.h"
#include "NetnsLab/Process.h"
#include "PollWatch.h"
#include "StationFlows.h"
#include "TestSupport/TempDir.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/udp.h>
#include <sched.h>

#ifndef UDP_SEGMENT
#define UDP_SEGMENT 103
#endif

using namespace quellin;
using namespace quellin::edges;
using namespace quellin::edges_test;

namespace {

constexpr const char* kTap = "qtap0";
constexpr const char* kLower = "qlow0";
constexpr const char* kPeer = "qpeer0";
constexpr const char* kStation4 = "198.18.0.1";
constexpr const char* kNetwork4 = "198.18.0.2";
constexpr const char* kStation6 = "2001:2::1";
constexpr const char* kNetwork6 = "2001:2::2";

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string mac_text(const std::array<uint8_t, 6>& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

// One feature line of `ethtool -k`, e.g. "tcp-segmentation-offload: on".
bool feature_on(const std::string& ifname, const std::string& feature) {
    const auto r = netnslab::run("", {"ethtool", "-k", ifname});
    return r.out.find(feature + ": on") != std::string::npos;
}

class NetnsOffloads : public ::testing::Test {
protected:
    virtual bool tap_offloads() const { return true; }

    void SetUp() override {
        if (::geteuid() != 0 || ::access("/dev/net/tun", R_OK | W_OK) != 0)
            GTEST_SKIP() << "needs root and /dev/net/tun";
        if (::unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "cannot make a network namespace";
        if (!run("ip link set lo up"))
            GTEST_SKIP() << "needs iproute2";
        const int fd = create_named_netns(network);
        ASSERT_GE(fd, 0) << network;
        ::close(fd);
        const std::string in = "ip -n " + network + " ";
        ASSERT_TRUE(run(std::string("ip link add ") + kLower + " type veth peer name " + kPeer) &&
                    run(std::string("ip link set ") + kPeer + " netns " + network) &&
                    run(std::string("ip link set ") + kLower + " up") &&
                    run(in + "link set lo up") && run(in + "link set " + kPeer + " up") &&
                    run(in + "addr add " + kNetwork4 + "/24 dev " + kPeer) &&
                    run(in + "addr add " + kNetwork6 + "/64 dev " + kPeer + " nodad"));

        RteConfig cfg;
        cfg.packetPoolSize = 1024;
        edges = std::make_unique<Edges>(loop, records,
                                        [this](int, const std::string& m) { log.push_back(m); });
        edges->use_tap_offloads(tap_offloads());
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, edges.get()}));
        ASSERT_TRUE(du_init(&models));
        ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
        ASSERT_EQ(edges->bound_count(), 1u);
        ASSERT_TRUE(run(std::string("ip addr add ") + kStation4 + "/24 dev " + kTap) &&
                    run(std::string("ip addr add ") + kStation6 + "/64 dev " + kTap + " nodad") &&
                    run(std::string("ip link set ") + kTap + " up"));
        ASSERT_TRUE(loop.run_until([&] { return edges->adapters()[0].mediaConnected; }));
        // Neighbours fixed on both sides: a play that loses packets loses no resolution.
        const auto tap = query_link(kTap);
        const auto peer = in_netns(network, [] { return query_link(kPeer); });
        ASSERT_TRUE(tap && peer);
        for (const char* a : {kNetwork4, kNetwork6})
            ASSERT_TRUE(run(std::string("ip neigh replace ") + a + " lladdr " +
                            mac_text(peer->mac) + " dev " + kTap + " nud permanent"));
        for (const char* a : {kStation4, kStation6})
            ASSERT_TRUE(run(in + "neigh replace " + a + " lladdr " + mac_text(tap->mac) + " dev " +
                            kPeer + " nud permanent"));
    }

    void TearDown() override {
        if (edges)
            edges->stop();
        delete_named_netns(network);
        const std::string mine = "quellin-" + std::to_string(::getpid()) + "-";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(kNetnsFolder, ec))
            if (e.path().filename().string().rfind(mine, 0) == 0)
                delete_named_netns(e.path().filename().string());
        if (rte_initialised()) {
            du_shutdown();
            rte_shutdown();
        }
    }

    // Plays for adapter 1 with unlimited links, changed by `adjust`.
    static bool play(const std::function<void(wire::DriverPlayBlock&)>& adjust = {}) {
        wire::DriverPlayBlock block;
        block.setAdapterNumber(1);
        block.setAdapterAddress(test::ipv4(198, 18, 0, 1));
        block.setEastOut(wire::pb::kUnlimitedBandwidth);
        block.setEastIn(wire::pb::kUnlimitedBandwidth);
        block.setWestOut(wire::pb::kUnlimitedBandwidth);
        block.setWestIn(wire::pb::kUnlimitedBandwidth);
        block.setEastBucketSize(wire::pb::kUnlimitedBucket);
        block.setWestBucketSize(wire::pb::kUnlimitedBucket);
        if (adjust)
            adjust(block);
        if (du_load_play_block(block.data(), block.size(),
                               wire::internet_checksum(block.data(), block.size())) != 0)
            return false;
        du_play();
        du_set_bypass(false);
        return true;
    }

    AdapterCounters counters() const { return edges->adapters()[0].counters; }

    // With `realTime`, the engine's clock follows the real one and its timers fire as the
    // loop turns.
    void tick() {
        if (!realTime)
            return;
        clock.set(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count()));
        timers.fire_due();
    }
    bool realTime = false;

    // A TCP flow of `bytes` from the station (or to it), run to its end through the edges'
    // loop.
    // Under bit errors the bytes may not all arrive as sent: two flips 16 bits apart of
    // opposite sense cancel in a checksum, rarely but not never.
    enum Check { Intact, Complete };
    void tcp(const std::string& to, uint64_t bytes, int ms = 15000,
             TcpFlows::Direction direction = TcpFlows::FromStation, Check check = Intact) {
        TcpFlows flow(network, to, port++, 1, bytes, direction);
        EXPECT_TRUE(loop.run_until(
            [&] {
                tick();
                return flow.done();
            },
            ms))
            << flow.error();
        flow.stop();
        EXPECT_EQ(flow.received(), bytes) << to;
        if (check == Intact) {
            EXPECT_TRUE(flow.intact()) << to;
        }
    }

    // `sends` sends of `datagrams` datagrams of `size` bytes each, handed to the kernel as
    // one buffer with UDP segmentation; what the receiver in the network namespace got.
    std::map<size_t, uint64_t> udp_gso(const std::string& to, int sends, int datagrams, int size) {
        const auto where = socket_address(to, port++);
        const int rx = in_netns(network, [&] {
            const int fd = ::socket(where.ss_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            int big = 8 << 20;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
            ::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where);
            return fd;
        });
        const int tx = ::socket(where.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::setsockopt(tx, SOL_UDP, UDP_SEGMENT, &size, sizeof size), 0);
        std::vector<uint8_t> buffer(static_cast<size_t>(datagrams * size));
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = pattern(i % static_cast<size_t>(size));
        std::map<size_t, uint64_t> got;
        bool intact = true;
        std::vector<uint8_t> d(65536);
        auto drain = [&] {
            for (ssize_t n; (n = ::recv(rx, d.data(), d.size(), 0)) > 0;) {
                ++got[static_cast<size_t>(n)];
                for (ssize_t i = 0; i < n; ++i)
                    intact = intact && d[static_cast<size_t>(i)] == pattern(static_cast<size_t>(i));
            }
        };
        for (int i = 0; i < sends; ++i) {
            EXPECT_EQ(::sendto(tx, buffer.data(), buffer.size(), 0,
                               reinterpret_cast<const sockaddr*>(&where), sizeof where),
                      static_cast<ssize_t>(buffer.size()))
                << std::strerror(errno);
            loop.pump(20);
            drain();
        }
        loop.run_until(
            [&] {
                drain();
                return got[static_cast<size_t>(size)] >= static_cast<uint64_t>(sends * datagrams);
            },
            3000);
        EXPECT_TRUE(intact);
        ::close(tx);
        ::close(rx);
        return got;
    }

    const std::string network = "qnet-" + std::to_string(::getpid());
    int port = 47100;
    testsupport::TempDir dir{"offloads"};
    platform::registry::Registry registry{dir.str()};
    RestoreRecords records{registry};
    PollWatch loop;
    rte::test::VirtualClock clock;
    rte::SeededRandom random{12345};
    rte::test::ManualTimers timers{clock};
    models::ModelHooks models;
    std::unique_ptr<Edges> edges;
    std::vector<std::string> log;
};

class NetnsWithoutOffloads : public NetnsOffloads {
protected:
    bool tap_offloads() const override { return false; }
};

} // namespace

TEST_F(NetnsOffloads, SuperFramesOfBothFamiliesLeaveAsWireSizePacketsWithRightChecksums) {
    EXPECT_TRUE(feature_on(kTap, "tcp-segmentation-offload"));
    EXPECT_TRUE(feature_on(kTap, "tx-checksumming"));
    const bool udpOffload = feature_on(kTap, "tx-udp-segmentation");
    ASSERT_TRUE(play());
    WireCapture capture(network, kPeer);
    tcp(kNetwork4, 8 << 20);
    tcp(kNetwork6, 8 << 20);
    const auto afterTcp = counters();
    EXPECT_GT(afterTcp.segmented, 20u);
    EXPECT_GT(afterTcp.entered[0], afterTcp.stationFrames); // more packets than reads

    const auto v4 = udp_gso(kNetwork4, 20, 40, 1400);
    const auto v6 = udp_gso(kNetwork6, 20, 40, 1200);
    EXPECT_EQ(v4.at(1400), 800u);
    EXPECT_EQ(v6.at(1200), 800u);
    if (udpOffload)
        EXPECT_GE(counters().segmented, afterTcp.segmented + 40);
    else
        std::printf("the kernel has no UDP segmentation for the TAP: datagrams came whole\n");
    loop.pump(100);

    const WireTally t = capture.finish();
    EXPECT_GT(t.payloadPackets, 2u * (8 << 20) / 1500);
    EXPECT_LE(t.largest, 1500u);
    EXPECT_EQ(t.badChecksums, 0u);
    EXPECT_EQ(t.fragments, 0u);
    EXPECT_EQ(t.udpPayloads.at(1400), 800u);
    EXPECT_EQ(t.udpPayloads.at(1200), 800u);
    const auto c = counters();
    EXPECT_EQ(c.offloadRefused, 0u);
    EXPECT_EQ(c.refused[0] + c.poolFloorDrops[0] + c.lostWrites[0], 0u);
}

TEST_F(NetnsOffloads, RandomLossCountsTheWirePacketsOfATcpBulkFlow) {
    ASSERT_TRUE(play([](wire::DriverPlayBlock& b) {
        b.setLossType(2);
        b.setLossRandomly(1000); // in hundredths of a per cent
    }));
    const auto before = counters();
    TcpFlows flows(network, kNetwork4, port++, 8, 0);
    EXPECT_TRUE(
        loop.run_until([&] { return counters().entered[0] - before.entered[0] >= 100000; }, 30000))
        << counters().entered[0] << " " << flows.error();
    const auto c = counters();
    flows.stop();
    const uint64_t entered = c.entered[0] - before.entered[0];
    const uint64_t written = c.written[0] - before.written[0];
    const uint64_t reads = c.stationFrames - before.stationFrames;
    EXPECT_EQ(c.refused[0] + c.poolFloorDrops[0] + c.lostWrites[0], 0u);
    const double lost =
        100.0 * static_cast<double>(entered - written) / static_cast<double>(entered);
    EXPECT_NEAR(lost, 10.0, 0.6) << entered << " wire packets, " << written << " written";
    // The station handed over super-frames: fewer reads than wire packets.
    EXPECT_LT(reads, entered);
    EXPECT_GT(c.segmented, before.segmented);
    std::printf("%llu wire packets from %llu reads, %.2f %% lost\n",
                static_cast<unsigned long long>(entered), static_cast<unsigned long long>(reads),
                lost);
}

TEST_F(NetnsOffloads, FragmentationCutsEveryWirePacketOnItsOwn) {
    ASSERT_TRUE(play([](wire::DriverPlayBlock& b) {
        b.setFragmentationChance(99);
        b.setMaxTransmitionUnit(576);
        b.setFragmentationOrder(1); // "don't fragment" or not
    }));
    WireCapture capture(network, kPeer);
    tcp(kNetwork4, 2 << 20);
    loop.pump(100);
    const WireTally t = capture.finish();
    EXPECT_LE(t.largest, 1500u);
    EXPECT_LE(t.largestFragment, 576u);
    ASSERT_GT(t.fragmentBytes.size(), (2u << 20) / 1500 * 9 / 10);
    // Each fragmented packet carried at most what one wire packet of the 1500-byte link
    // holds; a super-frame cut by the emulation would have carried up to 64 KB.
    size_t largestPacket = 0;
    for (const auto& [id, bytes] : t.fragmentBytes)
        largestPacket = std::max(largestPacket, bytes);
    EXPECT_LE(largestPacket, 1480u);
    EXPECT_GT(counters().segmented, 0u);
}

TEST_F(NetnsOffloads, BitErrorsHitWirePacketsAfterTheirChecksumsWereMade) {
    // One error in 200,000 bits: about one full-size packet in 17 carries one.
    ASSERT_TRUE(play([](wire::DriverPlayBlock& b) {
        b.setBitErrorChance(200000);
        b.setBitErrorMinBurst(1);
        b.setBitErrorMaxBurst(1);
    }));
    WireCapture capture(network, kPeer);
    tcp(kNetwork4, 4 << 20, 25000, TcpFlows::FromStation, Complete);
    loop.pump(100);
    const WireTally t = capture.finish();
    ASSERT_GT(t.payloadPackets, 2000u);
    const double bad =
        100.0 * static_cast<double>(t.badChecksums) / static_cast<double>(t.payloadPackets);
    EXPECT_GT(bad, 3.0);
    EXPECT_LT(bad, 9.0);
    EXPECT_LE(t.largest, 1500u);
}

TEST_F(NetnsOffloads, SegmentsForTheStationAreJoinedButNeverPastAChecksumError) {
    ASSERT_TRUE(play());
    tcp(kStation4, 8 << 20, 15000, TcpFlows::ToStation);
    tcp(kStation6, 4 << 20, 15000, TcpFlows::ToStation);
    const auto joined = counters();
    EXPECT_GT(joined.coalesced, 100u);
    EXPECT_GT(joined.written[1], joined.coalesced * 2);
    EXPECT_EQ(joined.lostWrites[1], 0u);

    // Bit errors towards the station: the corrupted segments reach it alone and are
    // refused by its checksum check, the flow arrives whole.
    ASSERT_TRUE(play([](wire::DriverPlayBlock& b) {
        b.setBitErrorChance(200000);
        b.setBitErrorMinBurst(1);
        b.setBitErrorMaxBurst(1);
    }));
    const auto errorsBefore = netnslab::snmp_counter("", "Tcp", "InCsumErrors").value_or(0);
    tcp(kStation4, 4 << 20, 25000, TcpFlows::ToStation, Complete);
    const auto errors = netnslab::snmp_counter("", "Tcp", "InCsumErrors").value_or(0);
    EXPECT_GT(errors - errorsBefore, 50u);
    EXPECT_GT(counters().coalesced, joined.coalesced);

    // Sent on by the engine's timers, out of any batch: joined as well.
    realTime = true;
    tick();
    ASSERT_TRUE(play([](wire::DriverPlayBlock& b) {
        b.setMinDelay(5);
        b.setMaxDelay(5);
        b.setMaxDelayDiff(0xFFFF);
    }));
    const auto delayed = counters();
    tcp(kStation4, 2 << 20, 15000, TcpFlows::ToStation);
    const auto after = counters();
    EXPECT_GT(after.coalesced, delayed.coalesced + 20);
    EXPECT_EQ(after.lostWrites[1], 0u);
}

TEST_F(NetnsWithoutOffloads, ATapWithoutTheOffloadHeaderStillCarriesTcpAndUdp) {
    EXPECT_FALSE(feature_on(kTap, "tcp-segmentation-offload"));
    ASSERT_TRUE(play());
    WireCapture capture(network, kPeer);
    tcp(kNetwork4, 2 << 20);
    tcp(kNetwork6, 1 << 20);
    const auto v4 = udp_gso(kNetwork4, 5, 20, 1400); // the station cuts them itself
    EXPECT_EQ(v4.at(1400), 100u);
    loop.pump(100);
    const WireTally t = capture.finish();
    EXPECT_LE(t.largest, 1500u);
    EXPECT_EQ(t.badChecksums, 0u);
    const auto c = counters();
    EXPECT_EQ(c.segmented, 0u);
    EXPECT_EQ(c.entered[0] + c.failedSends, c.stationFrames);
    tcp(kStation4, 1 << 20, 15000, TcpFlows::ToStation);
    EXPECT_EQ(counters().coalesced, 0u);
    for (const auto& m : log)
        EXPECT_EQ(m.find("without offloads"), std::string::npos) << m; // not asked, not said
}
