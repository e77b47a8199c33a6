// Real frames through the edges in a private network namespace: a veth pair stands for the
// lower interface and the network behind it, the edges make the TAP and take the lower
// interface into a namespace of their own. Needs root and /dev/net/tun; skips otherwise.
#include "QuellinEdges/Edges.h"
#include "QuellinEdges/Namespaces.h"

#include "PollWatch.h"

#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/Checksum.h"

#include "NetnsLab/Inspect.h"
#include "TestSupport/TempDir.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <linux/ethtool.h>
#include <linux/if_addr.h>
#include <linux/if_packet.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <map>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quellin;
using namespace quellin::edges;
using quellin::edges_test::PollWatch;

namespace {

constexpr const char* kTap = "qtap0";
constexpr const char* kLower = "qlow0";
constexpr const char* kPeer = "qpeer0";
constexpr uint32_t kPool = 64;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Generic receive offload on or off, as `ethtool -K NAME gro on|off` does.
bool set_gro(const std::string& name, bool on) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ethtool_value v{};
    v.cmd = ETHTOOL_SGRO;
    v.data = on ? 1 : 0;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", name.c_str());
    ifr.ifr_data = reinterpret_cast<char*>(&v);
    const bool ok = ::ioctl(fd, SIOCETHTOOL, &ifr) == 0;
    ::close(fd);
    return ok;
}

// The lower interface where the edges hold it.
std::optional<LinkState> held_link(const std::string& netns, const std::string& name) {
    const int fd = open_named_netns(netns);
    if (fd < 0)
        return std::nullopt;
    std::optional<LinkState> link;
    {
        NetnsScope in(fd);
        if (in.entered())
            link = query_link(name);
    }
    ::close(fd);
    return link;
}

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
        edges = std::make_unique<Edges>(loop, records,
                                        [this](int, const std::string& m) { log.push_back(m); });
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, edges.get()}));
        ASSERT_TRUE(du_init());
        ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
        ASSERT_EQ(edges->bound_count(), 1u);
        ASSERT_TRUE(run(std::string("ip link set ") + kTap + " up"));
        ASSERT_TRUE(media_becomes(true));
        held = edges->adapters()[0].heldNamespace;
        ASSERT_FALSE(held.empty());
    }
    void TearDown() override {
        if (edges)
            edges->stop(); // before the engine and the packet layer go
        // What a failed test left holding an interface of this process's.
        const std::string mine = "quellin-" + std::to_string(::getpid()) + "-";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(kNetnsFolder, ec))
            if (e.path().filename().string().rfind(mine, 0) == 0)
                delete_named_netns(e.path().filename().string());
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

    std::string all_log() const {
        std::string all;
        for (const auto& m : log)
            all += m + "\n";
        return all;
    }
    // The lower interface is up and no address of the namespace (its peer's included) is
    // still tentative.
    static bool settled() {
        for (int i = 0; i < 300; ++i) {
            const auto r = netnslab::run("", {"ip", "address", "show"});
            const auto lower = netnslab::run("", {"ip", "link", "show", "dev", kLower});
            if (r.ok() && r.out.find("tentative") == std::string::npos &&
                lower.out.find("LOWER_UP") != std::string::npos)
                return true;
            ::usleep(10000);
        }
        return false;
    }

    // The lower interface's configuration once the kernel has finished bringing it up (its
    // link-local route and address settle a moment after the link).
    static std::string settled_snapshot(const std::string& expected) {
        std::string now;
        for (int i = 0; i < 50; ++i) {
            if (settled())
                now = netnslab::interface_snapshot("", kLower);
            if (now == expected)
                break;
            ::usleep(20000);
        }
        return now;
    }

    // The owner of a record whose daemon has gone: this process id, with the start time of
    // another process that had it.
    static std::string gone_owner() { return std::to_string(::getpid()) + " 1"; }

    // An `ip` command in the namespace that holds the lower interface.
    bool run_held(const std::string& args) const { return run("ip -n " + held + " " + args); }

    bool media_becomes(bool on) {
        return loop.run_until([&] {
            const auto tap = query_link(kTap);
            return edges->adapters()[0].mediaConnected == on && tap && tap->carrier == on;
        });
    }

    // The edges made anew, reading their packet sockets through rings or one frame per call.
    void restart_edges(bool rings) {
        edges->stop();
        du_shutdown();
        rte_shutdown();
        RteConfig cfg;
        cfg.packetPoolSize = kPool;
        edges = std::make_unique<Edges>(loop, records,
                                        [this](int, const std::string& m) { log.push_back(m); });
        edges->use_rings(rings);
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, edges.get()}));
        ASSERT_TRUE(du_init());
        ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
        ASSERT_TRUE(run(std::string("ip link set ") + kTap + " up"));
        ASSERT_TRUE(media_becomes(true));
        held = edges->adapters()[0].heldNamespace;
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

    testsupport::TempDir dir{"edges"};
    platform::registry::Registry registry{dir.str()};
    RestoreRecords records{registry};
    std::string held; // the namespace that holds the lower interface
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
    EXPECT_FALSE(query_link(kLower)); // the station's stack no longer sees it
    EXPECT_NE(netnslab::run_checked("", {"ip", "-j", "link", "show", kTap})
                  .find("\"txqlen\":" + std::to_string(Edges::kTapQueueLength)),
              std::string::npos);
    const auto lower = held_link(held, kLower);
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
    ASSERT_TRUE(run_held(std::string("link set ") + kLower + " mtu 1400"));
    EXPECT_TRUE(loop.run_until([] { return query_link(kTap)->mtu == 1400; }));
    edges->limit_station_mtu(2000);
    ASSERT_TRUE(run_held(std::string("link set ") + kLower + " mtu 9000"));
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
            edges->on_held_links_ready(0);
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
    ASSERT_TRUE(run_held(std::string("link set ") + kLower + " down"));
    EXPECT_TRUE(links_until([&] { return !edges->adapters()[0].powered; }));
    edges->on_station_ready(0);
    EXPECT_GE(edges->adapters()[0].counters.failedSends, failed + 5);
    EXPECT_EQ(rte_free_descriptors(rte_adapter(1), 0), freeBefore);
    EXPECT_EQ(rte_refused(rte_adapter(1), 0), 0u);
    EXPECT_TRUE(media_becomes(false));
    loop.pump(100);
    EXPECT_TRUE(marked_numbers(*peerPort).empty());

    ASSERT_TRUE(run_held(std::string("link set ") + kLower + " up"));
    EXPECT_TRUE(media_becomes(true));
    EXPECT_TRUE(edges->adapters()[0].powered);
    EXPECT_EQ(cross(*peerPort, *stationPort, 5).size(), 5u);
}

TEST_F(NetnsEdges, ALowerInterfaceThatGoesUnbindsAndOneThatComesBackRebinds) {
    const size_t fdsBound = open_descriptors();
    ASSERT_TRUE(run(std::string("ip link del ") + kPeer)); // and its held end with it
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(rte_adapter_count(), 0u);
    const auto tap = query_link(kTap);
    ASSERT_TRUE(tap); // the station keeps its interface, without carrier
    EXPECT_FALSE(tap->carrier);
    // Nothing is left to give back: the namespace and the record went with it.
    EXPECT_TRUE(edges->adapters()[0].heldNamespace.empty());
    EXPECT_LT(open_named_netns(held), 0);
    EXPECT_TRUE(records.names().empty());

    ASSERT_TRUE(make_veth(1400));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 1; }));
    EXPECT_EQ(edges->adapters()[0].number, 1);
    EXPECT_EQ(query_link(kTap)->mtu, 1400u); // the TAP that stayed follows the new interface
    EXPECT_FALSE(query_link(kLower));        // taken again
    EXPECT_TRUE(media_becomes(true));
    EXPECT_EQ(open_descriptors(), fdsBound); // the old lower socket and monitor were closed
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

    ASSERT_TRUE(run(std::string("ip link del ") + kPeer));
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

    EXPECT_FALSE(query_link("ql3")); // held
    EXPECT_TRUE(query_link("ql16")); // left alone
    ASSERT_TRUE(run("ip link del qp3"));
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
    EXPECT_EQ(loop.watched(), 3u); // the link monitors and the flush event: the dead TAP is let go

    ASSERT_TRUE(run_held(std::string("link set ") + kLower + " mtu 1450"));
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

TEST_F(NetnsEdges, TheTapTakesTheLowerInterfacesConfigurationAndAStopGivesItAllBack) {
    edges->stop();
    ASSERT_TRUE(query_link(kLower)) << "the stop gave the lower interface back";
    ASSERT_TRUE(
        run(std::string("ip addr add 198.18.0.1/24 dev ") + kLower) &&
        run(std::string("ip addr add 2001:2::1/64 dev ") + kLower + " nodad") &&
        run(std::string("ip addr add 2001:2::1:2/64 dev ") + kLower +
            " nodad valid_lft 3600 preferred_lft 1800") &&
        run(std::string("ip addr add 198.18.5.1/24 dev ") + kLower + " label " + kLower + ":web") &&
        run(std::string("ip route add 198.18.9.0/24 via 198.18.0.2 dev ") + kLower + " metric 7") &&
        run(std::string("ip route add 198.18.10.0/24 dev ") + kLower + " table 100") &&
        run(std::string("ip neigh add 198.18.0.9 lladdr 02:00:00:00:00:09 dev ") + kLower) &&
        run(std::string("sysctl -qw net.ipv4.conf.") + kLower + ".rp_filter=2"));
    ASSERT_TRUE(run(std::string("ip link set ") + kLower + " promisc on"));
    ASSERT_TRUE(settled());
    const std::string before = netnslab::interface_snapshot("", kLower);
    const auto featuresBefore = read_features(kLower);

    ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
    ASSERT_EQ(edges->bound_count(), 1u);
    held = edges->adapters()[0].heldNamespace;
    EXPECT_FALSE(query_link(kLower));
    // What is to be given back was written down, and holds the configuration.
    std::string why;
    const auto record = records.load(kLower, why);
    ASSERT_TRUE(record) << why;
    EXPECT_EQ(record->kind, RecordKind::Held);
    EXPECT_EQ(record->namespaceName, held);
    EXPECT_EQ(record->settings.addresses.size(), 5u); // with the link-local one
    // The TAP has the addresses, lifetimes, label, routes, neighbour and sysctl.
    const auto tapAddresses = netnslab::run_checked("", {"ip", "addr", "show", "dev", kTap});
    for (const char* a : {"198.18.0.1/24", "2001:2::1/64", "2001:2::1:2/64", "qtap0:web"})
        EXPECT_NE(tapAddresses.find(a), std::string::npos) << a << "\n" << tapAddresses;
    const auto lifetimes = netnslab::address_lifetimes("", kTap);
    EXPECT_GT(lifetimes.at("2001:2::1:2").valid, 3500u);
    EXPECT_LE(lifetimes.at("2001:2::1:2").valid, 3600u);
    const auto routes = netnslab::run_checked("", {"ip", "route", "show", "table", "all"});
    EXPECT_NE(routes.find("198.18.9.0/24 via 198.18.0.2 dev qtap0 metric 7"), std::string::npos)
        << routes;
    EXPECT_NE(routes.find("198.18.10.0/24 dev qtap0 table 100"), std::string::npos) << routes;
    EXPECT_NE(netnslab::run_checked("", {"ip", "neigh", "show", "dev", kTap}).find("198.18.0.9"),
              std::string::npos)
        << all_log();
    EXPECT_EQ(netnslab::run_checked("", {"sysctl", "-n", "net.ipv4.conf.qtap0.rp_filter"}), "2\n");
    // Where it is held, the lower interface is up, without IPv6 and without coalescing.
    const auto there = held_link(held, kLower);
    ASSERT_TRUE(there);
    EXPECT_TRUE(there->adminUp);

    edges->stop();
    EXPECT_EQ(settled_snapshot(before), before);
    EXPECT_EQ(read_features(kLower), featuresBefore);
    EXPECT_FALSE(query_link(kTap));
    EXPECT_LT(open_named_netns(held), 0);
    EXPECT_TRUE(records.names().empty());
}

TEST_F(NetnsEdges, WhatAKilledDaemonLeftIsGivenBackByTheNext) {
    edges->stop();
    ASSERT_TRUE(run(std::string("ip addr add 198.18.0.1/24 dev ") + kLower) &&
                run(std::string("ip route add 198.18.9.0/24 via 198.18.0.2 dev ") + kLower));
    ASSERT_TRUE(settled());
    const std::string before = netnslab::interface_snapshot("", kLower);
    std::string error;
    auto taken = HeldInterface::take(
        records, kLower, [](int, const std::string&) {}, error);
    ASSERT_TRUE(taken) << error;
    const std::string ns = taken->namespace_name();
    taken.reset(); // the daemon dies: nothing is given back
    EXPECT_FALSE(query_link(kLower));
    EXPECT_TRUE(held_link(ns, kLower));

    // Its owner is alive: left alone.
    EXPECT_EQ(give_back_leftovers(records, [](int, const std::string&) {}), 0u);
    EXPECT_FALSE(query_link(kLower));
    // Once it has gone (a process id no process has).
    auto record = records.load(kLower, error);
    ASSERT_TRUE(record) << error;
    record->owner = gone_owner();
    ASSERT_EQ(records.save(*record), 0);
    std::vector<std::string> said;
    EXPECT_EQ(give_back_leftovers(records, [&](int, const std::string& m) { said.push_back(m); }),
              1u);
    EXPECT_EQ(settled_snapshot(before), before);
    EXPECT_LT(open_named_netns(ns), 0);
    EXPECT_TRUE(records.names().empty());
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0], "giving back qlow0, left behind by the daemon with process id " +
                           std::to_string(::getpid()));

    // A record of an earlier boot is only removed; an unfinished one too.
    record->bootId = "an earlier boot";
    ASSERT_EQ(records.save(*record), 0);
    ASSERT_EQ(registry.createKey(platform::registry::Hive::LocalMachine,
                                 std::string(kRestoreKey) + "\\qlow9"),
              0);
    EXPECT_EQ(give_back_leftovers(records, [](int, const std::string&) {}), 0u);
    EXPECT_TRUE(records.names().empty());
    EXPECT_EQ(settled_snapshot(before), before);
}

TEST_F(NetnsEdges, ATapNameInUseIsSaidOnceAndCostsTheStationNothing) {
    edges->stop();
    ASSERT_TRUE(run("ip link add qbusy0 type veth peer name qbusy1"));
    ASSERT_TRUE(edges->start({Binding{StationKind::Tap, "qbusy0", kLower}}));
    EXPECT_EQ(edges->bound_count(), 0u);
    // Link news keeps coming; the binding is tried on each and said once.
    for (int i = 0; i < 20; ++i) {
        run(std::string("ip link set ") + kPeer + (i % 2 ? " up" : " down"));
        loop.pump(20);
    }
    size_t said = 0;
    for (const auto& m : log)
        said += m.find("tap:qbusy0=qlow0: not bound: cannot make the TAP qbusy0") == 0;
    EXPECT_EQ(said, 1u);
    EXPECT_TRUE(query_link(kLower)); // never taken
    EXPECT_TRUE(records.names().empty());
}

// A persistent TAP of that name (a virtual machine's, or one `ip tuntap add` left) is
// someone else's: neither attached nor changed, and the lower interface stays.
TEST_F(NetnsEdges, APersistentTapOfTheNameIsNeitherTakenNorChanged) {
    edges->stop();
    ASSERT_TRUE(run("ip tuntap add dev qvm0 mode tap") &&
                run("ip addr add 198.18.7.1/24 dev qvm0"));
    const std::string before =
        netnslab::run_checked("", {"ip", "-d", "-j", "link", "show", "qvm0"});
    ASSERT_NE(before.find("\"persist\":true"), std::string::npos) << before;
    ASSERT_TRUE(edges->start({Binding{StationKind::Tap, "qvm0", kLower}}));
    EXPECT_EQ(edges->bound_count(), 0u);
    EXPECT_NE(all_log().find("tap:qvm0=qlow0: not bound: cannot make the TAP qvm0"),
              std::string::npos)
        << all_log();
    EXPECT_TRUE(query_link(kLower)); // never taken
    EXPECT_TRUE(records.names().empty());
    edges->stop();
    EXPECT_EQ(netnslab::run_checked("", {"ip", "-d", "-j", "link", "show", "qvm0"}), before);
    EXPECT_NE(
        netnslab::run_checked("", {"ip", "addr", "show", "dev", "qvm0"}).find("198.18.7.1/24"),
        std::string::npos);
}

TEST_F(NetnsEdges, PacketsDroppedAtThePoolFloorAreCountedAndReported) {
    // 2.4 kbit/s, the least a block may ask: 1,000 bytes take 3.3 s, so the station's
    // packets stay in the entry queue.
    ASSERT_TRUE(play(24));
    open_ports();
    const int sent = 70;
    for (int i = 0; i < sent; ++i) {
        const auto f = test::ipv4_frame(test::ipv4(198, 18, 0, 1), test::ipv4(198, 18, 0, 2), 1000,
                                        static_cast<uint8_t>(i));
        ASSERT_TRUE(stationPort->write(f.data(), f.size()));
    }
    EXPECT_TRUE(loop.run_until([&] { return edges->adapters()[0].counters.stationFrames >= 70; }));
    // The pool keeps its 10 descriptors: 53 wait, the rest are dropped.
    const auto c = edges->adapters()[0].counters;
    EXPECT_GE(c.poolFloorDrops[0], 17u);
    // Every one of ours either waits or was counted (the station's own frames may add some).
    const uint64_t accounted = du_context().queues[0].length + c.poolFloorDrops[0] + c.refused[0];
    EXPECT_GE(accounted, 70u);
    EXPECT_LE(accounted, c.stationFrames);
    EXPECT_EQ(edges->packets_lost(), c.poolFloorDrops[0] + c.refused[0]);
    log.clear();
    edges->report_losses();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("tap:qtap0=qlow0: packets from the station lost, " +
                          std::to_string(c.poolFloorDrops[0]) +
                          " dropped with the packet pool at its floor of 10 free descriptors"),
              std::string::npos)
        << log[0];
    // Said once: nothing new, nothing said.
    edges->report_losses();
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(NetnsEdges, BothReadPathsForwardAndCountWhatTheKernelDroppedUnread) {
    for (const bool rings : {true, false}) {
        SCOPED_TRACE(rings ? "through the ring" : "one frame per call");
        if (!rings)
            restart_edges(false);
        open_ports();
        EXPECT_EQ(cross(*stationPort, *peerPort, 5).size(), 5u);
        EXPECT_EQ(cross(*peerPort, *stationPort, 5).size(), 5u);
        // More full-size frames than the ring or the receive buffer holds, while the edges
        // do not read.
        const auto before = edges->adapters()[0].counters;
        auto f = marked_frame(7);
        f.resize(1514, 0x5A);
        size_t sent = 0;
        for (int i = 0; i < 15000; ++i)
            sent += peerPort->write(f.data(), f.size()) ? 1 : 0;
        ASSERT_GE(sent, 12000u);
        uint64_t read = 0;
        loop.run_until([&] {
            const uint64_t now = edges->adapters()[0].counters.lowerFrames;
            const bool still = now != read;
            read = now;
            return !still && read > before.lowerFrames;
        });
        loop.pump(50);
        const auto c = edges->adapters()[0].counters;
        const uint64_t dropped = c.kernelDrops - before.kernelDrops;
        EXPECT_GE(dropped, 1000u);
        EXPECT_GE(c.lowerFrames - before.lowerFrames + dropped, sent);
        EXPECT_EQ(c.unread[1] - before.unread[1], dropped);
        log.clear();
        edges->report_losses();
        EXPECT_NE(all_log().find("packets from the network lost"), std::string::npos) << all_log();
        EXPECT_NE(all_log().find("dropped by the kernel before the daemon read them"),
                  std::string::npos);
    }
    EXPECT_EQ(all_log().find("no memory-mapped receive ring"), std::string::npos);
}

TEST_F(NetnsEdges, EachReadyCallServesOneBoundedBatchAndSendsItBeforeReturning) {
    open_ports();
    for (uint8_t i = 1; i <= 3 * Edges::kBatch; ++i) {
        const auto f = marked_frame(i);
        ASSERT_TRUE(stationPort->write(f.data(), f.size()));
        ASSERT_TRUE(peerPort->write(f.data(), f.size()));
    }
    ::usleep(20000); // the ring hands its block over a millisecond after the first frame
    const auto before = edges->adapters()[0].counters;
    edges->on_lower_ready(0);
    edges->on_station_ready(0);
    const auto c = edges->adapters()[0].counters;
    EXPECT_EQ(c.lowerFrames - before.lowerFrames, Edges::kBatch);
    EXPECT_EQ(c.stationFrames - before.stationFrames, Edges::kBatch);
    // The station's batch went out before the call returned (its own frames may be first).
    ::usleep(20000);
    EXPECT_GE(marked_numbers(*peerPort).size(), Edges::kBatch - 8);
    // The rest follows a batch a call.
    edges->on_lower_ready(0);
    EXPECT_EQ(edges->adapters()[0].counters.lowerFrames - c.lowerFrames, Edges::kBatch);
}

TEST_F(NetnsEdges, AProbeBehindASaturatingFlowWaitsBehindNoMoreThanABatchNotStarted) {
    open_ports();
    // A burst of full-size frames the lower side's sender cannot keep up with, then a probe.
    constexpr uint64_t kFlood = 3000;
    auto bulk = marked_frame(1);
    bulk.resize(1514, 0x5A);
    for (uint64_t i = 0; i < kFlood; ++i)
        ASSERT_TRUE(stationPort->write(bulk.data(), bulk.size()));
    const auto probe = marked_frame(2);
    ASSERT_TRUE(stationPort->write(probe.data(), probe.size()));
    // Served as the loop serves it, a batch a call, as fast as the calls come.
    const uint64_t before = edges->adapters()[0].counters.stationFrames;
    uint64_t read = 0;
    bool heldBack = false;
    for (int call = 0; read <= kFlood && call < 1000000; ++call) {
        edges->on_station_ready(0);
        const auto v = edges->adapters()[0];
        const uint64_t now = v.counters.stationFrames - before;
        // A call that read nothing left the rest in the TAP: the sender had a batch to start.
        heldBack = heldBack || now == read;
        read = now;
        // What was read, the probe too, waits behind no more than a batch not started.
        ASSERT_LE(v.lowerWaiting, Edges::kBatch) << "after " << read << " frames";
    }
    ASSERT_GT(read, kFlood);
    EXPECT_TRUE(heldBack) << "the flow never got ahead of the sender";
    // Everything leaves, the probe last.
    std::vector<uint8_t> seen;
    loop.run_until(
        [&] {
            for (auto n : marked_numbers(*peerPort))
                seen.push_back(n);
            return seen.size() >= kFlood + 1;
        },
        3000);
    ASSERT_EQ(seen.size(), kFlood + 1);
    EXPECT_EQ(seen.back(), 2);
}

TEST_F(NetnsEdges, APacketSocketSendsWhatItQueuedWhenFlushedAndCountsWhatWasNotTaken) {
    ASSERT_TRUE(run("ip link add qa0 type veth peer name qb0") && run("ip link set qa0 up") &&
                run("ip link set qb0 up"));
    PacketSocket ring("qa0", query_link("qa0")->index);
    PacketSocket plain("qb0", query_link("qb0")->index, false);
    EXPECT_TRUE(ring.mapped());
    EXPECT_FALSE(plain.mapped());
    EXPECT_FALSE(plain.unmapped_reason().empty());
    ::usleep(100000); // the link settles
    marked_numbers(ring);
    marked_numbers(plain);
    // From the caller's thread, then from the sockets' own.
    for (const bool threads : {false, true}) {
        SCOPED_TRACE(threads ? "sent by the sockets' threads" : "sent by the caller");
        if (threads) {
            std::string why;
            ASSERT_TRUE(ring.send_from_thread(why)) << why;
            ASSERT_TRUE(plain.send_from_thread(why)) << why;
        }
        for (auto [from, to] : {std::pair{&plain, &ring}, std::pair{&ring, &plain}}) {
            // A thread looks for work a while, then sleeps; what it sends unasked is what
            // came while it looked. On a loaded machine its while can last long.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!from->senders_sleep() && std::chrono::steady_clock::now() < until)
                ::usleep(1000);
            ASSERT_TRUE(from->senders_sleep());
            for (uint8_t i = 1; i <= 100; ++i) {
                const auto f = marked_frame(i);
                ASSERT_TRUE(from->queue(f.data(), f.size()));
            }
            // A frame above the link's MTU is not taken; those queued after it still go.
            std::vector<uint8_t> big = marked_frame(200);
            big.resize(3000);
            ASSERT_TRUE(from->queue(big.data(), big.size()));
            const auto last = marked_frame(201);
            ASSERT_TRUE(from->queue(last.data(), last.size()));
            // A full batch leaves without a flush: sent by the caller, or handed to the
            // thread it wakes.
            std::vector<uint8_t> seen;
            const auto arrived = [&](size_t count, int ms) {
                const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
                for (;;) {
                    for (auto n : marked_numbers(*to))
                        seen.push_back(n);
                    if (seen.size() >= count || std::chrono::steady_clock::now() >= end)
                        return seen.size();
                    ::usleep(1000);
                }
            };
            EXPECT_GE(arrived(FrameSender::kBatch, 5000), FrameSender::kBatch);
            if (!threads) { // the caller sends the rest when it flushes
                EXPECT_LT(arrived(101, 20), 100u);
            }
            // A thread's sends are counted by the flush after them.
            size_t lost = from->flush();
            from->drain_sends();
            lost += from->flush();
            EXPECT_EQ(lost, 1u);
            EXPECT_EQ(from->flush(), 0u);
            ASSERT_EQ(arrived(101, 5000), 101u);
            std::vector<uint8_t> expected;
            for (uint8_t i = 1; i <= 100; ++i)
                expected.push_back(i);
            expected.push_back(201);
            EXPECT_EQ(seen, expected);
        }
        // A short batch with nothing before it goes at once, from the caller's thread.
        const auto one = marked_frame(7);
        ASSERT_TRUE(plain.queue(one.data(), one.size()));
        EXPECT_EQ(plain.flush(), 0u);
        ::usleep(20000);
        EXPECT_EQ(marked_numbers(ring), std::vector<uint8_t>{7});
    }
    // A frame longer than a slot of the ring reaches the reader whole, between its
    // neighbours.
    ASSERT_TRUE(run("ip link set qa0 mtu 9000") && run("ip link set qb0 mtu 9000"));
    std::vector<uint8_t> jumbo = marked_frame(2);
    jumbo.resize(5000);
    for (size_t i = 21; i < jumbo.size(); ++i)
        jumbo[i] = static_cast<uint8_t>(i * 13);
    const auto one = marked_frame(1), three = marked_frame(3);
    ASSERT_TRUE(plain.write(one.data(), one.size()));
    ASSERT_TRUE(plain.write(jumbo.data(), jumbo.size()));
    ASSERT_TRUE(plain.write(three.data(), three.size()));
    ::usleep(20000);
    std::vector<std::vector<uint8_t>> got;
    uint8_t buf[9100];
    size_t n = 0;
    while (ring.read(buf, sizeof buf, n) == ReadResult::Frame)
        if (n >= 21 && std::memcmp(buf + 14, "QLTEST", 6) == 0)
            got.emplace_back(buf, buf + n);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0][20], 1);
    EXPECT_EQ(got[1], jumbo);
    EXPECT_EQ(got[2][20], 3);
}

TEST_F(NetnsEdges, AnInterfaceBindingGivesBackTheCoalescingItSwitchedOff) {
    edges->stop();
    ASSERT_TRUE(run("ip link add qst0 type veth peer name qhost0") && run("ip link set qst0 up") &&
                run("ip link set qhost0 up") && set_gro("qst0", true));
    const auto before = read_features("qst0");
    ASSERT_TRUE(before);
    ASSERT_TRUE(edges->start({Binding{StationKind::Interface, "qst0", kLower}}));
    ASSERT_EQ(edges->bound_count(), 1u);
    // Both interfaces stay where they are, their offloads on record.
    EXPECT_TRUE(query_link(kLower));
    EXPECT_TRUE(edges->adapters()[0].heldNamespace.empty());
    auto names = records.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"qlow0", "qst0"}));
    EXPECT_NE(read_features("qst0"), before); // receive coalescing off while bound
    // Unbound when the lower interface goes: the station side gets its offloads back.
    ASSERT_TRUE(run(std::string("ip link del ") + kPeer));
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 0; }));
    EXPECT_EQ(read_features("qst0"), before);
    ASSERT_TRUE(make_veth());
    EXPECT_TRUE(loop.run_until([&] { return edges->bound_count() == 1; }));
    EXPECT_NE(read_features("qst0"), before);
    edges->stop();
    EXPECT_EQ(read_features("qst0"), before);
    EXPECT_TRUE(records.names().empty());
}

TEST_F(NetnsEdges, AnInterfaceAKilledDaemonLeftThatCannotComeBackKeepsItsRecord) {
    edges->stop();
    std::string error;
    auto taken = HeldInterface::take(
        records, kLower, [](int, const std::string&) {}, error);
    ASSERT_TRUE(taken) << error;
    const std::string ns = taken->namespace_name();
    taken.reset(); // killed
    auto record = records.load(kLower, error);
    ASSERT_TRUE(record) << error;
    record->owner = gone_owner();
    ASSERT_EQ(records.save(*record), 0);
    // Meanwhile another interface of that name came: the held one cannot come back.
    ASSERT_TRUE(run(std::string("ip link add ") + kLower + " type veth peer name qpeer1"));
    ASSERT_TRUE(edges->start({Binding{StationKind::Tap, kTap, kLower}}));
    EXPECT_EQ(edges->bound_count(), 0u);
    const auto kept = records.load(kLower, error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(kept->namespaceName, ns); // not written over by a record of the newcomer
    EXPECT_EQ(kept->settings.index, record->settings.index);
    EXPECT_TRUE(held_link(ns, kLower));
    EXPECT_NE(all_log().find("an earlier qlow0 is still held in " + ns), std::string::npos)
        << all_log();
}

TEST_F(NetnsEdges, FramesTheStationsKernelDroppedOnTheTapAreCountedAndReported) {
    const auto tap = query_link(kTap);
    ASSERT_TRUE(tap);
    // The TAP was made with a deep queue; a short one shows what overflows it.
    ASSERT_TRUE(run(std::string("ip link set ") + kTap + " txqueuelen 10"));
    open_ports();
    // The station sends while the daemon does not read.
    for (uint8_t i = 1; i <= 100; ++i) {
        const auto f = marked_frame(i);
        stationPort->write(f.data(), f.size());
    }
    loop.pump(100);
    log.clear();
    edges->report_losses();
    const auto c = edges->adapters()[0].counters;
    EXPECT_GE(c.unread[0], 80u);
    EXPECT_EQ(edges->packets_lost(), c.unread[0]);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("tap:qtap0=qlow0: packets from the station lost, " +
                          std::to_string(c.unread[0]) +
                          " dropped by the kernel before the daemon read them"),
              std::string::npos)
        << log[0];
    edges->report_losses(); // counted once
    EXPECT_EQ(edges->adapters()[0].counters.unread[0], c.unread[0]);
}

TEST_F(NetnsEdges, FramesASideDidNotTakeAreCountedAndReported) {
    open_ports();
    // A TAP that is down takes no frame for the station.
    ASSERT_TRUE(run(std::string("ip link set ") + kTap + " down"));
    for (uint8_t i = 1; i <= 20; ++i) {
        const auto f = marked_frame(i);
        ASSERT_TRUE(peerPort->write(f.data(), f.size()));
    }
    EXPECT_TRUE(loop.run_until([&] { return edges->adapters()[0].counters.lostWrites[1] >= 20; }));
    const auto c = edges->adapters()[0].counters;
    EXPECT_EQ(edges->packets_lost(), c.lostWrites[1]);
    log.clear();
    edges->report_losses();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("tap:qtap0=qlow0: packets from the network lost, " +
                          std::to_string(c.lostWrites[1]) + " not taken by " + kTap),
              std::string::npos)
        << log[0];
    EXPECT_EQ(log[0].find("PacketPoolSize"), std::string::npos) << log[0];
    edges->report_losses(); // said once
    EXPECT_EQ(log.size(), 1u);
    // The total outlives the stop, for the daemon's last line.
    const uint64_t lost = edges->packets_lost();
    edges->stop();
    EXPECT_EQ(edges->packets_lost(), lost);
}

namespace {

// Runs `call` in a child process as a user (no root) of the group `group`; its result.
long as_member_of(gid_t group, const std::function<long()>& call) {
    const pid_t child = ::fork();
    if (child == 0) {
        const uid_t user = 61999;
        long rc = -2;
        if (::setgroups(1, &group) == 0 && ::setresgid(user, user, user) == 0 &&
            ::setresuid(user, user, user) == 0)
            rc = call();
        ::_exit(static_cast<int>(rc & 0x7F));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

std::string file_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

// What a member of the store's group writes as a restore record never makes the daemon
// write a file of root's, take an interface from a namespace not its own or tear that
// namespace down; nor does such a record that stands in the store: it is kept and said.
TEST_F(NetnsEdges, ACraftedRecordNeitherWritesAFileNorTakesAnotherNamespacesInterface) {
    edges->stop();
    // A file of root's alone, and a namespace of someone else's with its veth.
    const std::string secret = (dir / "secret").string();
    {
        std::ofstream out(secret);
        out << "root's alone\n";
    }
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const std::string victim = "qvictim-" + std::to_string(::getpid());
    const int victimFd = create_named_netns(victim);
    ASSERT_GE(victimFd, 0);
    ::close(victimFd);
    ASSERT_TRUE(run("ip link add qvic0 type veth peer name qvic1") &&
                run("ip link set qvic0 netns " + victim));

    RestoreRecord crafted;
    crafted.kind = RecordKind::Held;
    crafted.namespaceName = victim;
    crafted.owner = "2147483646 1";
    crafted.bootId = current_boot_id();
    crafted.stationNamespace = current_netns_id();
    crafted.settings.name = "qvic0";
    crafted.settings.sysctls = {{"ipv4/conf/../../../../../../.." + secret, "pwned"}};

    // The store is the group's, as installed; the member writes through it as it can.
    const gid_t group = 61998;
    ASSERT_EQ(::chown(dir.str().c_str(), 0, group), 0);
    ASSERT_EQ(::chmod(dir.str().c_str(), 02775), 0);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().extension() == ".reg" || e.path().extension() == ".lock") {
            ASSERT_EQ(::chown(e.path().c_str(), 0, group), 0);
            ASSERT_EQ(::chmod(e.path().c_str(), 0664), 0);
        }
    const platform::registry::Registry store(dir.str());
    const RestoreRecords theirs(store);
    EXPECT_EQ(as_member_of(group, [&] { return theirs.save(crafted); }),
              platform::registry::kAccessDenied);
    EXPECT_EQ(as_member_of(group,
                           [&] {
                               return store.createKey(platform::registry::Hive::LocalMachine,
                                                      std::string(kRestoreKey) + "\\qvic0");
                           }),
              platform::registry::kAccessDenied);
    // Nor through the shared hive's file, which the group may write.
    EXPECT_EQ(as_member_of(group,
                           [&] {
                               std::ofstream out(dir / "HKEY_LOCAL_MACHINE.reg");
                               out << "Windows Registry Editor Version 5.00\n\n"
                                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                                      "QL\\Restore\\qvic0]\n\"Record\"=hex(7):6b,00,00,00,00,00\n";
                               return out ? 0L : 1L;
                           }),
              0);
    std::vector<std::string> said;
    const LogSink keep = [&](int, const std::string& m) { said.push_back(m); };
    give_back_leftovers(records, keep);
    EXPECT_TRUE(held_link(victim, "qvic0"));

    // The same record standing in the store (an earlier layout's, or a hand edit): checked
    // against its interface, kept and said, never acted on.
    ASSERT_EQ(records.save(crafted), 0);
    give_back_leftovers(records, keep);
    EXPECT_EQ(file_text(secret), "root's alone\n");
    EXPECT_TRUE(held_link(victim, "qvic0"));
    EXPECT_FALSE(query_link("qvic0"));
    EXPECT_EQ(records.names(), std::vector<std::string>{"qvic0"});
    std::string all;
    for (const auto& m : said)
        all += m + "\n";
    EXPECT_NE(all.find("the record of qvic0 is not acted on: its namespace " + victim +
                       " is none the daemon makes for qvic0; it is kept for a look"),
              std::string::npos)
        << all;
    // A namespace of the daemon's form, a route and an address of other interfaces.
    crafted.owner = gone_owner();
    crafted.namespaceName = "quellin-" + std::to_string(::getpid()) + "-qvic0";
    crafted.settings.sysctls.clear();
    crafted.settings.index = 77;
    ifaddrmsg a{};
    a.ifa_family = AF_INET;
    a.ifa_index = 1;
    crafted.settings.addresses = {nl::Builder(RTM_NEWADDR, 0, a).message()};
    ASSERT_EQ(records.save(crafted), 0);
    said.clear();
    give_back_leftovers(records, keep);
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find("it holds an address of another interface"), std::string::npos)
        << said.back();
    EXPECT_EQ(records.names(), std::vector<std::string>{"qvic0"});
    records.remove("qvic0");
    delete_named_netns(victim);
}

// A record that cannot be read whole (a hex digit lost from its features line) no longer
// strands the interface in a killed daemon's namespace: it comes home with what of the
// record could be read, from the record's namespace or one of the daemon's form for it,
// and the record stays, said so.
TEST_F(NetnsEdges, ADamagedRecordBringsTheInterfaceHomeAndIsKept) {
    edges->stop();
    ASSERT_TRUE(run(std::string("ip addr add 198.18.0.1/24 dev ") + kLower) &&
                run(std::string("ip route add 198.18.9.0/24 via 198.18.0.2 dev ") + kLower));
    ASSERT_TRUE(settled());
    const auto damage = [&](bool namespaceToo) {
        const std::string key =
            std::string(kRestoreKey) + "\\" + std::to_string(current_netns_id()) + "\\" + kLower;
        platform::registry::Value v;
        ASSERT_EQ(registry.queryValue(platform::registry::Hive::LocalMachine, key, "Record", v), 0);
        for (auto& line : v.strings) {
            if (line.rfind("features=", 0) == 0)
                line.pop_back();
            if (namespaceToo && line.rfind("namespace=", 0) == 0)
                line = "namespace=lost";
        }
        ASSERT_EQ(registry.setValue(platform::registry::Hive::LocalMachine, key, "Record", v), 0);
    };
    for (const bool namespaceToo : {false, true}) {
        SCOPED_TRACE(namespaceToo ? "its namespace found by its form" : "its own namespace");
        // A daemon takes it and is killed.
        const pid_t daemon = ::fork();
        if (daemon == 0) {
            std::string error;
            auto taken = HeldInterface::take(
                records, kLower, [](int, const std::string&) {}, error);
            ::_exit(taken ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(daemon, &status, 0), daemon);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const std::string ns = "quellin-" + std::to_string(daemon) + "-" + kLower;
        ASSERT_TRUE(held_link(ns, kLower));
        damage(namespaceToo);

        std::vector<std::string> said;
        give_back_leftovers(records, [&](int, const std::string& m) { said.push_back(m); });
        ASSERT_TRUE(query_link(kLower));
        EXPECT_LT(open_named_netns(ns), 0);
        const auto addresses = netnslab::run_checked("", {"ip", "addr", "show", "dev", kLower});
        EXPECT_NE(addresses.find("198.18.0.1/24"), std::string::npos) << addresses;
        EXPECT_NE(netnslab::run_checked("", {"ip", "route", "show"}).find("198.18.9.0/24"),
                  std::string::npos);
        EXPECT_EQ(records.names(), std::vector<std::string>{kLower});
        std::string all;
        for (const auto& m : said)
            all += m + "\n";
        EXPECT_NE(all.find("the record of qlow0 is damaged: qlow0 came home from the network "
                           "namespace " +
                           ns +
                           " and got back what of the record could be read; the record "
                           "is kept for a look"),
                  std::string::npos)
            << all;
        // A start that takes it anew writes its own record in the damaged one's place.
        std::string error;
        auto again = HeldInterface::take(
            records, kLower, [](int, const std::string&) {}, error);
        ASSERT_TRUE(again) << error;
        EXPECT_TRUE(again->give_back([](int, const std::string&) {}));
        EXPECT_TRUE(records.names().empty());
        ASSERT_TRUE(settled());
    }
}

// Two daemons start together after a crash: while one gives back what the dead one left,
// the other waits, and its own record is never removed by the first.
TEST_F(NetnsEdges, ARecordADaemonJustWroteIsNeverRemovedByAnother) {
    edges->stop();
    std::string error;
    auto captured = capture_settings(kLower, error);
    ASSERT_TRUE(captured) << error;
    RestoreRecord left;
    left.kind = RecordKind::Held;
    left.namespaceName = "quellin-" + std::to_string(::getpid()) + "-" + kLower;
    left.owner = gone_owner();
    left.bootId = current_boot_id();
    left.stationNamespace = current_netns_id();
    left.settings = *captured;
    ASSERT_EQ(records.save(left), 0);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t first = ::fork();
    if (first == 0) {
        // Stops between reading the record and acting on it.
        give_back_leftovers(records, [&](int, const std::string& m) {
            if (m.rfind("giving back", 0) == 0) {
                (void)!::write(ready[1], "x", 1);
                ::usleep(500000);
            }
        });
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    auto second = HeldInterface::take(
        records, kLower, [](int, const std::string&) {}, error);
    ASSERT_TRUE(second) << error;
    ::waitpid(first, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(held_link(second->namespace_name(), kLower));
    const auto mine = records.load(kLower, error);
    ASSERT_TRUE(mine) << error;
    EXPECT_EQ(mine->owner, self_owner());
    EXPECT_TRUE(second->give_back([](int, const std::string&) {}));
}

// An "if:" binding never writes over the record of an interface a running daemon keeps.
TEST_F(NetnsEdges, AnInterfaceBindingLeavesALiveDaemonsRecordAlone) {
    edges->stop();
    ASSERT_TRUE(run("ip link add qst0 type veth peer name qhost0") && run("ip link set qst0 up"));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        const std::string owner = self_owner();
        (void)!::write(pipeFds[1], owner.data(), owner.size());
        ::close(pipeFds[1]);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char buffer[64] = {};
    ASSERT_GT(::read(pipeFds[0], buffer, sizeof buffer - 1), 0);
    ::close(pipeFds[0]);
    std::string error;
    auto captured = capture_settings("qst0", error);
    ASSERT_TRUE(captured) << error;
    RestoreRecord theirs;
    theirs.kind = RecordKind::Settings;
    theirs.owner = buffer;
    theirs.bootId = current_boot_id();
    theirs.stationNamespace = current_netns_id();
    theirs.settings = *captured;
    theirs.settings.features = {0x12345678};
    ASSERT_EQ(records.save(theirs), 0);

    ASSERT_TRUE(edges->start({Binding{StationKind::Interface, "qst0", kLower}}));
    EXPECT_EQ(edges->bound_count(), 0u);
    EXPECT_NE(all_log().find("if:qst0=qlow0: not bound: qst0 is in use by the daemon with "
                             "process id " +
                             std::to_string(other)),
              std::string::npos)
        << all_log();
    const auto kept = records.load("qst0", error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(kept->owner, theirs.owner);
    EXPECT_EQ(kept->settings.features, theirs.settings.features);
    edges->stop();
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    records.remove("qst0");
}
