// The lab itself: what it builds, what it removes, and the hook that later puts
// the emulator in the wire namespace.
#include "NetnsLab/Lab.h"
#include "NetnsLab/LabTest.h"
#include "NetnsLab/Netns.h"
#include "NetnsLab/Offloads.h"

#include <TestSupport/TempDir.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace netnslab;

namespace {

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

} // namespace

class LabBuild : public LabTest {};

TEST_F(LabBuild, NamespacesAddressesOffloadsAndNeighbours) {
    for (const auto& ns : lab().namespaces()) {
        EXPECT_TRUE(netns_exists(ns)) << ns;
        EXPECT_NE(ns.find(std::to_string(::getpid())), std::string::npos) << ns;
    }
    std::string st = lab().run(lab().station(), {"ip", "addr", "show", "dev", kStationIf});
    EXPECT_NE(st.find("198.18.0.1/24"), std::string::npos) << st;
    EXPECT_NE(st.find("2001:2::1/64"), std::string::npos) << st;
    std::string nw = lab().run(lab().network(), {"ip", "addr", "show", "dev", kNetworkIf});
    EXPECT_NE(nw.find("198.18.0.2/24"), std::string::npos) << nw;
    EXPECT_NE(nw.find("2001:2::2/64"), std::string::npos) << nw;

    const std::pair<std::string, const char*> ends[] = {{lab().station(), kStationIf},
                                                        {lab().wire(), kWireStationIf},
                                                        {lab().wire(), kWireNetworkIf},
                                                        {lab().network(), kNetworkIf}};
    for (const auto& [ns, ifname] : ends) {
        Offloads o = read_offloads(ns, ifname);
        EXPECT_FALSE(o.tx_checksum) << ifname;
        EXPECT_FALSE(o.scatter_gather) << ifname;
        EXPECT_FALSE(o.tso) << ifname;
        EXPECT_FALSE(o.gso) << ifname;
        EXPECT_FALSE(o.gro) << ifname;
    }

    std::string neigh =
        lab().run(lab().station(), {"ip", "-6", "neigh", "show", "dev", kStationIf});
    EXPECT_NE(neigh.find("2001:2::2 lladdr " + mac_address(lab().network(), kNetworkIf)),
              std::string::npos)
        << neigh;
    EXPECT_NE(neigh.find("PERMANENT"), std::string::npos) << neigh;
    neigh = lab().run(lab().network(), {"ip", "-6", "neigh", "show", "dev", kNetworkIf});
    EXPECT_NE(neigh.find("2001:2::1 lladdr " + mac_address(lab().station(), kStationIf)),
              std::string::npos)
        << neigh;

    auto wireLinks = list_links(lab().wire());
    EXPECT_TRUE(contains(wireLinks, kBridgeIf));
    std::string br = lab().run(lab().wire(), {"ip", "link", "show", "master", kBridgeIf});
    EXPECT_NE(br.find(kWireStationIf), std::string::npos) << br;
    EXPECT_NE(br.find(kWireNetworkIf), std::string::npos) << br;
}

TEST(LabCleanup, RemovesEverythingItMadeAndStopsItsProcesses) {
    if (auto why = Lab::unavailable_reason())
        GTEST_SKIP() << *why;
    auto rootLinks = list_links("");
    std::vector<std::string> names;
    pid_t sleeper = -1;
    {
        LabOptions opts;
        opts.tag = "cl";
        Lab lab(opts);
        names = lab.namespaces();
        sleeper = lab.spawn(lab.wire(), {"sleep", "30"}).pid();
        ASSERT_GT(sleeper, 0);
        ASSERT_EQ(::kill(sleeper, 0), 0);
    }
    for (const auto& ns : names)
        EXPECT_FALSE(netns_exists(ns)) << ns;
    EXPECT_FALSE(contains(list_netns(), names[0]));
    // Nothing of ours appeared in the caller's namespace (other tests may add links there).
    for (const auto& link : list_links("")) {
        if (contains(rootLinks, link))
            continue;
        for (const char* ours : {kStationIf, kWireStationIf, kWireNetworkIf, kNetworkIf, kBridgeIf})
            EXPECT_NE(link, ours);
    }
    errno = 0;
    EXPECT_NE(::kill(sleeper, 0), 0);
    EXPECT_EQ(errno, ESRCH);
}

TEST(LabCleanup, AFailedBuildLeavesNothing) {
    if (auto why = Lab::unavailable_reason())
        GTEST_SKIP() << *why;
    LabOptions opts;
    opts.tag = "fb";
    opts.wire = WirePath::Hook;
    opts.start_wire = [](Lab& lab) {
        lab.spawn(lab.wire(), {"sleep", "30"});
        throw std::runtime_error("the emulator did not start");
    };
    EXPECT_THROW(Lab lab(opts), std::runtime_error);
    for (const char* role : {"st", "wi", "nw"})
        EXPECT_FALSE(netns_exists(Lab::namespace_name(role, "fb"))) << role;
}

TEST(LabCleanup, SweepsWhatADeadProcessLeft) {
    if (auto why = Lab::unavailable_reason())
        GTEST_SKIP() << *why;
    pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    std::string stale = "altlab-st-" + std::to_string(gone);
    std::string mine = Lab::namespace_name("sw");
    add_netns(stale);
    add_netns(mine);
    // Labs of other test processes sweep too, so count nothing: it is gone.
    Lab::sweep_stale();
    EXPECT_FALSE(netns_exists(stale));
    EXPECT_TRUE(netns_exists(mine)); // this process still runs
    delete_netns(mine);
}

// The shape a daemon test takes: the wire hook makes a TAP in the wire
// namespace, moves it to the station and attaches it. Here the test holds the
// TAP itself and sees the station's frames on it.
class TapHook : public LabTest {
protected:
    LabOptions lab_options() const override {
        LabOptions o;
        o.wire = WirePath::Hook;
        o.station = StationLink::External;
        return o;
    }

    void start_wire(Lab& lab) override {
        m_tap = tap_in(lab.wire(), "st0");
        lab.run(lab.wire(), {"ip", "link", "set", "st0", "netns", lab.station()});
        lab.attach_station("st0");
    }

    void TearDown() override {
        LabTest::TearDown();
        if (m_tap >= 0)
            ::close(m_tap);
    }

    int m_tap = -1;
};

TEST_F(TapHook, StationFramesReachTheTap) {
    ASSERT_GE(m_tap, 0);
    EXPECT_EQ(lab().station_if(), "st0");
    EXPECT_FALSE(link_exists(lab().wire(), "st0"));
    int s = socket_in(lab().station(), AF_INET6, SOCK_DGRAM);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(47123);
    inet_pton(AF_INET6, kNetworkV6, &to.sin6_addr);
    const char msg[] = "through the tap";
    ASSERT_EQ(::sendto(s, msg, sizeof msg, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(sizeof msg))
        << strerror(errno);
    ::close(s);

    // Static neighbour: the frame leaves at once, addressed to the network's MAC.
    std::string nwMac = mac_address(lab().network(), kNetworkIf);
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        pollfd p{m_tap, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        unsigned char f[2048];
        ssize_t n = ::read(m_tap, f, sizeof f);
        // Ethernet II, IPv6, next header UDP, destination port 47123.
        if (n < 14 + 40 + 8 || f[12] != 0x86 || f[13] != 0xDD || f[14 + 6] != 17)
            continue;
        char dst[18];
        std::snprintf(dst, sizeof dst, "%02x:%02x:%02x:%02x:%02x:%02x", f[0], f[1], f[2], f[3],
                      f[4], f[5]);
        seen = dst == nwMac && f[54 + 2] == (47123 >> 8) && f[54 + 3] == (47123 & 0xFF) &&
               std::memcmp(f + 62, msg, sizeof msg) == 0;
    }
    EXPECT_TRUE(seen);
}

// The daemon's way in: a command in the wire namespace that makes the station's
// TAP. `ip tuntap` stands in for the daemon here.
class WireCommand : public LabTest {
protected:
    LabOptions lab_options() const override {
        return Lab::wire_command({"sh", "-c",
                                  "ip tuntap add dev st0 mode tap && ip link set st0 netns " +
                                      Lab::namespace_name("st") + " && exec sleep 60"},
                                 "st0", m_dir.str() + "/wire.log");
    }
    testsupport::TempDir m_dir{"wire"};
};

TEST_F(WireCommand, TheStationGetsTheTapAndTheWireNoBridge) {
    EXPECT_EQ(lab().station_if(), "st0");
    std::string st = lab().run(lab().station(), {"ip", "addr", "show", "dev", "st0"});
    EXPECT_NE(st.find("198.18.0.1/24"), std::string::npos) << st;
    EXPECT_FALSE(link_exists(lab().wire(), kBridgeIf));
    EXPECT_FALSE(link_exists(lab().wire(), kWireStationIf));
    EXPECT_TRUE(link_exists(lab().wire(), kWireNetworkIf));
}

TEST(WireCommandFailure, AnEarlyEndIsReportedWithTheOutputAndLeavesNothing) {
    if (auto why = Lab::unavailable_reason())
        GTEST_SKIP() << *why;
    testsupport::TempDir dir("wire");
    LabOptions o = Lab::wire_command({"sh", "-c", "echo no adapter to bind >&2; exit 1"}, "st0",
                                     dir.str() + "/wire.log", "wf");
    auto start = std::chrono::steady_clock::now();
    try {
        Lab lab(o);
        ADD_FAILURE() << "the lab came up without its TAP";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no adapter to bind"), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    for (const char* role : {"st", "wi", "nw"})
        EXPECT_FALSE(netns_exists(Lab::namespace_name(role, "wf"))) << role;
}
