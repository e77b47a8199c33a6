// Real frames through the edges in a private network namespace: a veth pair stands for the
// lower interface and the network behind it, the edges make the TAP. Needs root and
// /dev/net/tun; skips otherwise.
#include "QuellinEdges/Edges.h"

#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <linux/if_packet.h>
#include <map>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quellin;
using namespace quellin::edges;

namespace {

constexpr const char* kTap = "qtap0";
constexpr const char* kLower = "qlow0";
constexpr const char* kPeer = "qpeer0";
constexpr uint32_t kPool = 64;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The loop the daemon would run, as poll() over the watched descriptors.
class PollWatch final : public FdWatch {
public:
    bool watch(int fd, std::function<void()> ready) override {
        m_handlers[fd] = std::move(ready);
        return true;
    }
    void unwatch(int fd) override { m_handlers.erase(fd); }
    size_t watched() const { return m_handlers.size(); }

    // Dispatches until `done` holds or `ms` passed; the result of `done` at the end.
    bool run_until(const std::function<bool()>& done, int ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::vector<pollfd> fds;
            for (const auto& [fd, h] : m_handlers)
                fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (const auto& p : fds) {
                auto it = m_handlers.find(p.fd);
                if (p.revents && it != m_handlers.end()) {
                    auto handler = it->second; // may unwatch itself
                    handler();
                }
            }
        }
        return true;
    }
    void pump(int ms) {
        run_until([] { return false; }, ms);
    }

private:
    std::map<int, std::function<void()>> m_handlers;
};

// A test frame: broadcast, experimental ether type 0x88B5, a marker and a number.
std::vector<uint8_t> marked_frame(uint8_t number) {
    std::vector<uint8_t> f(60, 0);
    std::memset(f.data(), 0xFF, 6);
    f[6] = 0x02;
    f[11] = 0x99;
    f[12] = 0x88;
    f[13] = 0xB5;
    std::memcpy(f.data() + 14, "QLTEST", 6);
    f[20] = number;
    return f;
}

// Frames of ours a port has seen, by number.
std::vector<uint8_t> marked_numbers(PacketSocket& port) {
    std::vector<uint8_t> out;
    uint8_t buf[2048];
    size_t n = 0;
    while (port.read(buf, sizeof buf, n) == ReadResult::Frame)
        if (n >= 21 && std::memcmp(buf + 14, "QLTEST", 6) == 0)
            out.push_back(buf[20]);
    return out;
}

size_t open_descriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class NetnsEdges : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || ::access("/dev/net/tun", R_OK | W_OK) != 0)
            GTEST_SKIP() << "needs root and /dev/net/tun";
        if (::unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "cannot make a network namespace";
        if (!run("ip link set lo up"))
            GTEST_SKIP() << "needs iproute2";
        ASSERT_TRUE(make_veth());

        RteConfig cfg;
        cfg.packetPoolSize = kPool;
        edges =
            std::make_unique<Edges>(loop, [this](int, const std::string& m) { log.push_back(m); });
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, edges.get()}));
        ASSERT_TRUE(du_init());
        ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
        ASSERT_EQ(edges->bound_count(), 1u);
        ASSERT_TRUE(run(std::string("ip link set ") + kTap + " up"));
        ASSERT_TRUE(media_becomes(true));
    }
    void TearDown() override {
        if (edges)
            edges->stop(); // before the engine and the packet layer go
        stationPort.reset();
        peerPort.reset();
        if (rte_initialised()) {
            du_shutdown();
            rte_shutdown();
        }
    }

    static bool make_veth(int mtu = 1500) {
        return run(std::string("ip link add ") + kLower + " mtu " + std::to_string(mtu) +
                   " type veth peer name " + kPeer) &&
               run(std::string("ip link set ") + kLower + " up") &&
               run(std::string("ip link set ") + kPeer + " up");
    }

    bool media_becomes(bool on) {
        return loop.run_until([&] {
            const auto tap = query_link(kTap);
            return edges->adapters()[0].mediaConnected == on && tap && tap->carrier == on;
        });
    }

    // Plays a block for adapter 1 whose east exit runs at `eastOut` (in 100 bit/s).
    static bool play(uint32_t eastOut) {
        wire::DriverPlayBlock block;
        block.setAdapterNumber(1);
        block.setAdapterAddress(test::ipv4(198, 18, 0, 1));
        block.setEastOut(eastOut);
        block.setEastIn(wire::pb::kUnlimitedBandwidth);
        block.setWestOut(wire::pb::kUnlimitedBandwidth);
        block.setWestIn(wire::pb::kUnlimitedBandwidth);
        block.setEastBucketSize(wire::pb::kUnlimitedBucket);
        block.setWestBucketSize(wire::pb::kUnlimitedBucket);
        if (du_load_play_block(block.data(), block.size(),
                               wire::internet_checksum(block.data(), block.size())) != 0)
            return false;
        du_play();
        du_set_bypass(false);
        return true;
    }

    // Test ports: the station's view of the TAP, and the network behind the lower side.
    void open_ports() {
        stationPort = std::make_unique<PacketSocket>(kTap, query_link(kTap)->index);
        peerPort = std::make_unique<PacketSocket>(kPeer, query_link(kPeer)->index);
        // Straight to the device: a queueing discipline just reactivated after a carrier
        // change may still drop what is sent.
        int one = 1;
        ::setsockopt(stationPort->fd(), SOL_PACKET, PACKET_QDISC_BYPASS, &one, sizeof one);
        ::setsockopt(peerPort->fd(), SOL_PACKET, PACKET_QDISC_BYPASS, &one, sizeof one);
    }

    // Sends frames 1..count on `from` and collects the numbers that reach `to`.
    std::vector<uint8_t> cross(PacketSocket& from, PacketSocket& to, uint8_t count) {
        std::vector<uint8_t> seen;
        for (uint8_t i = 1; i <= count; ++i) {
            const auto f = marked_frame(i);
            EXPECT_TRUE(from.write(f.data(), f.size()));
        }
        loop.run_until(
            [&] {
                for (auto n : marked_numbers(to))
                    seen.push_back(n);
                return seen.size() >= count;
            },
            1500);
        return seen;
    }

    PollWatch loop;
    rte::test::VirtualClock clock;
    rte::SeededRandom random;
    rte::test::ManualTimers timers{clock};
    std::unique_ptr<Edges> edges;
    std::unique_ptr<PacketSocket> stationPort;
    std::unique_ptr<PacketSocket> peerPort;
    std::vector<std::string> log;
};

} // namespace

TEST_F(NetnsEdges, FramesCrossBothEdgesAndTheTapMirrorsTheLowerInterface) {
    const auto lower = query_link(kLower);
    const auto tap = query_link(kTap);
    ASSERT_TRUE(lower && tap);
    EXPECT_EQ(tap->mac, lower->mac);
    EXPECT_EQ(tap->mtu, lower->mtu);

    open_ports();
    EXPECT_EQ(cross(*stationPort, *peerPort, 20).size(), 20u); // station -> network
    EXPECT_EQ(cross(*peerPort, *stationPort, 20).size(), 20u); // network -> station
    const auto v = edges->adapters()[0];
    EXPECT_EQ(v.number, 1);
    EXPECT_GE(v.counters.stationFrames, 20u);
    EXPECT_GE(v.counters.lowerFrames, 20u);
    EXPECT_EQ(v.counters.failedSends, 0u);
    EXPECT_EQ(edges->refused_receives(1), 0u);
    EXPECT_EQ(edges->last_receive_free(), kPool);

    // A new MTU on the lower interface reaches the TAP, up to what a frame buffer holds.
    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " mtu 1400"));
    EXPECT_TRUE(loop.run_until([] { return query_link(kTap)->mtu == 1400; }));
    edges->limit_station_mtu(2000);
    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " mtu 9000"));
    EXPECT_TRUE(loop.run_until([] { return query_link(kTap)->mtu == 2000; }));
}

TEST_F(NetnsEdges, CarrierIsMirroredAndAnInterfaceDownRefusesSends) {
    open_ports();
    // Station frames still queued on the TAP when the cable is pulled are refused: the
    // link news is handled first, then the TAP is read.
    auto queue_on_tap = [&](int count) {
        for (uint8_t i = 1; i <= count; ++i) {
            const auto f = marked_frame(i);
            ASSERT_TRUE(stationPort->write(f.data(), f.size()));
        }
    };
    queue_on_tap(5);
    // Only the link news, polled by hand: the TAP is not read meanwhile.
    auto links_until = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 300 && !done(); ++i) {
            edges->on_links_ready();
            ::usleep(10000);
        }
        return done();
    };
    ASSERT_TRUE(run(std::string("ip link set ") + kPeer + " down"));
    EXPECT_TRUE(links_until([&] { return !edges->adapters()[0].mediaConnected; }));
    EXPECT_TRUE(edges->adapters()[0].powered);
    edges->on_station_ready(0);
    // The station's own kernel may have queued a frame or two of its own as well.
    const uint64_t failed = edges->adapters()[0].counters.failedSends;
    EXPECT_GE(failed, 5u);
    EXPECT_TRUE(media_becomes(false)); // and the TAP lost its carrier
    loop.pump(100);
    EXPECT_TRUE(marked_numbers(*peerPort).empty());

    ASSERT_TRUE(run(std::string("ip link set ") + kPeer + " up"));
    EXPECT_TRUE(media_becomes(true));
    EXPECT_EQ(cross(*stationPort, *peerPort, 5).size(), 5u);

    // Administratively down: not powered, sends fail and nothing reaches the engine.
    const uint32_t freeBefore = rte_free_descriptors(rte_adapter(1), 0);
    queue_on_tap(5);
    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " down"));
    EXPECT_TRUE(links_until([&] { return !edges->adapters()[0].powered; }));
    edges->on_station_ready(0);
    EXPECT_GE(edges->adapters()[0].counters.failedSends, failed + 5);
    EXPECT_EQ(rte_free_descriptors(rte_adapter(1), 0), freeBefore);
    EXPECT_EQ(rte_refused(rte_adapter(1), 0), 0u);
    EXPECT_TRUE(media_becomes(false));
    loop.pump(100);
    EXPECT_TRUE(marked_numbers(*peerPort).empty());

    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " up"));
    EXPECT_TRUE(media_becomes(true));
    EXPECT_TRUE(edges->adapters()[0].powered);
    EXPECT_EQ(cross(*peerPort, *stationPort, 5).size(), 5u);
}

TEST_F(NetnsEdges, ALowerInterfaceThatGoesUnbindsAndOneThatComesBackRebinds) {
    const size_t fdsBound = open_descriptors();
    ASSERT_TRUE(run(std::string("ip link del ") + kLower));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(rte_adapter_count(), 0u);
    const auto tap = query_link(kTap);
    ASSERT_TRUE(tap); // the station keeps its interface, without carrier
    EXPECT_FALSE(tap->carrier);

    ASSERT_TRUE(make_veth(1400));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 1; }));
    EXPECT_EQ(edges->adapters()[0].number, 1);
    EXPECT_EQ(query_link(kTap)->mtu, 1400u); // the TAP that stayed follows the new interface
    EXPECT_TRUE(media_becomes(true));
    EXPECT_EQ(open_descriptors(), fdsBound); // the old lower socket was closed
    open_ports();
    EXPECT_EQ(cross(*stationPort, *peerPort, 5).size(), 5u);
    EXPECT_EQ(cross(*peerPort, *stationPort, 5).size(), 5u);
}

TEST_F(NetnsEdges, UnbindingFreesThePacketsTheEngineHolds) {
    // A slow entry link: the station's packets wait in the engine's first queue.
    ASSERT_TRUE(play(24)); // 2.4 kbit/s, the least a block may ask: 1,000 bytes take 3.3 s

    open_ports();
    for (uint8_t i = 0; i < 8; ++i) {
        const auto f =
            test::ipv4_frame(test::ipv4(198, 18, 0, 1), test::ipv4(198, 18, 0, 2), 1000, i);
        ASSERT_TRUE(stationPort->write(f.data(), f.size()));
    }
    // All eight read before the unbind, or fewer would be freed.
    EXPECT_TRUE(loop.run_until([&] { return du_context().queues[0].length >= 8; }));
    EXPECT_LE(rte_free_descriptors(rte_adapter(1), 0), kPool - 8);

    ASSERT_TRUE(run(std::string("ip link del ") + kLower));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(rte_adapter_count(), 0u); // the pools could go: every packet was back
    EXPECT_EQ(du_context().queues[0].length, 0u);
    EXPECT_EQ(rte_alloc_free_blocks(), rte_alloc_total_blocks());
    EXPECT_EQ(timers.armed(), 1u); // only the periodic tick
    // Ours at least: the station's kernel may have sent a frame of its own meanwhile.
    unsigned long freed = 0;
    std::string all;
    for (const auto& m : log) {
        const auto at = m.find(" queued packets freed");
        if (at != std::string::npos)
            freed = std::stoul(m.substr(m.rfind(' ', at - 1) + 1));
        all += m + "\n";
    }
    EXPECT_GE(freed, 8u) << all;
}

TEST_F(NetnsEdges, AnInterfaceCanServeAsTheStationSide) {
    // Bump in the wire: a second veth pair is the station's cable.
    edges->stop();
    ASSERT_TRUE(run("ip link add qst0 type veth peer name qhost0") && run("ip link set qst0 up") &&
                run("ip link set qhost0 up"));
    ASSERT_TRUE(edges->start({Binding{StationKind::Interface, "qst0", kLower}}));
    ASSERT_EQ(edges->bound_count(), 1u);
    EXPECT_TRUE(loop.run_until([&] { return edges->adapters()[0].mediaConnected; }));

    PacketSocket host("qhost0", query_link("qhost0")->index);
    peerPort = std::make_unique<PacketSocket>(kPeer, query_link(kPeer)->index);
    EXPECT_EQ(cross(host, *peerPort, 10).size(), 10u);
    EXPECT_EQ(cross(*peerPort, host, 10).size(), 10u);

    // The station interface going away unbinds as well.
    ASSERT_TRUE(run("ip link del qst0"));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(rte_adapter_count(), 0u);
}

TEST_F(NetnsEdges, ASixteenthBindingWaitsForAFreeSlot) {
    edges->stop();
    std::vector<Binding> bindings;
    for (int i = 1; i <= 16; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_TRUE(run("ip link add ql" + n + " type veth peer name qp" + n));
        bindings.push_back({StationKind::Tap, "qt" + n, "ql" + n});
    }
    ASSERT_TRUE(edges->start(bindings));
    EXPECT_EQ(edges->bound_count(), 15u);
    const auto views = edges->adapters();
    EXPECT_EQ(views[14].number, 15);
    EXPECT_EQ(views[15].number, 0);
    EXPECT_FALSE(query_link("qt16")); // no TAP for a refused binding
    bool reported = false;
    for (const auto& m : log)
        reported |= m.find("tap:qt16=ql16: not bound: all 15 adapter slots") == 0;
    EXPECT_TRUE(reported);

    ASSERT_TRUE(run("ip link del ql3"));
    EXPECT_TRUE(loop.run_until([&] { return edges->adapters()[15].number == 3; }));
    EXPECT_EQ(edges->adapters()[2].number, 0);
    EXPECT_EQ(edges->bound_count(), 15u);
    EXPECT_TRUE(query_link("qt16"));
}

TEST_F(NetnsEdges, ATapDeletedUnderTheDaemonUnbindsAndIsMadeAnew) {
    const size_t fdsBound = open_descriptors();
    ASSERT_TRUE(run(std::string("ip link del ") + kTap));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(rte_adapter_count(), 0u);
    EXPECT_EQ(loop.watched(), 1u); // the link monitor only: the dead TAP is let go

    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " mtu 1450"));
    EXPECT_TRUE(loop.run_until([&] {
        const auto tap = query_link(kTap);
        return edges->bound_count() == 1 && tap && tap->mtu == 1450;
    }));
    ASSERT_TRUE(run(std::string("ip link set ") + kTap + " up"));
    ASSERT_TRUE(media_becomes(true));
    EXPECT_EQ(open_descriptors(), fdsBound); // neither the dead TAP nor its socket stay open
    open_ports();
    EXPECT_EQ(cross(*stationPort, *peerPort, 5).size(), 5u);
}

TEST_F(NetnsEdges, HostileFramesNeitherCrashNorLeakAndVlanTagsSurvive) {
    // Emulation plays with unlimited links, so every frame meets the classifier.
    ASSERT_TRUE(play(wire::pb::kUnlimitedBandwidth));
    open_ports();

    const uint32_t a = test::ipv4(198, 18, 0, 1);
    const uint32_t b = test::ipv4(198, 18, 0, 2);
    std::vector<std::vector<uint8_t>> hostile;
    hostile.push_back(std::vector<uint8_t>(14, 0xFF)); // a bare link header
    hostile.push_back(test::ipv4_frame(a, b, 20));     // no transport header
    auto lying = test::ipv4_frame(a, b, 40);
    lying[14] = 0x4F;                // header longer than the packet
    test::put_be16(lying, 16, 1500); // total length beyond the frame
    hostile.push_back(lying);
    auto fragment = test::ipv4_frame(a, b, 60);
    test::put_be16(fragment, 20, 0x2000 | 0x1FFF); // last possible offset, more
    hostile.push_back(fragment);
    auto snap = test::snap_ipv4_frame(a, b, 24);
    snap.resize(30); // SNAP cut inside the IP header
    hostile.push_back(snap);
    auto v6 = test::ipv6_frame({0x20, 0x01, 0, 2},
                               {0x20, 0x01, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 8);
    v6[20] = 0; // hop-by-hop header, cut short
    hostile.push_back(v6);
    std::vector<uint8_t> garbage(1514);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 131 + 7);
    test::put_be16(garbage, 12, 0x0800);
    hostile.push_back(garbage);
    auto tagged = test::ipv4_frame(a, b, 100); // VLAN tag before an IPv4 packet
    tagged.insert(tagged.begin() + 12, {0x81, 0x00, 0x00, 0x07});
    hostile.push_back(tagged);
    for (int round = 0; round < 4; ++round)
        for (const auto& f : hostile) {
            stationPort->write(f.data(), f.size());
            peerPort->write(f.data(), f.size());
        }
    loop.pump(200);

    // Still working afterwards, and a VLAN-tagged frame from the network keeps its tag.
    EXPECT_EQ(cross(*stationPort, *peerPort, 5).size(), 5u);
    auto marked = marked_frame(9);
    marked.insert(marked.begin() + 12, {0x81, 0x00, 0x20, 0x05}); // priority 1, VLAN 5
    ASSERT_TRUE(peerPort->write(marked.data(), marked.size()));
    bool tagSeen = false;
    EXPECT_TRUE(loop.run_until([&] {
        uint8_t buf[2048];
        size_t n = 0;
        while (stationPort->read(buf, sizeof buf, n) == ReadResult::Frame)
            if (n >= 25 && std::memcmp(buf + 18, "QLTEST", 6) == 0)
                tagSeen = buf[12] == 0x81 && buf[13] == 0x00 && buf[14] == 0x20 && buf[15] == 0x05;
        return tagSeen;
    }));

    // Every descriptor came back.
    EXPECT_TRUE(loop.run_until([&] {
        return rte_free_descriptors(rte_adapter(1), 0) == kPool &&
               rte_free_descriptors(rte_adapter(1), 1) == kPool;
    }));
}
