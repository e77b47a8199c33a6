// The path the emulator takes, with a bare forwarder in its place: a TAP in the
// station namespace and an AF_PACKET socket on the wire's network end, frames
// copied between them by a thread of the test. With the lab's offload settings
// every protocol crosses it unchanged.
#include "NetnsLab/Flows.h"
#include "NetnsLab/Inspect.h"
#include "NetnsLab/LabTest.h"
#include "NetnsLab/Netns.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace netnslab;

namespace {

// Moves frames between the TAP and the lower socket until told to stop, and
// for at most a minute whatever happens.
void forward(int tap, int lower, const std::atomic<bool>& stop, std::atomic<uint64_t>& frames) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    unsigned char buf[65536];
    while (!stop && std::chrono::steady_clock::now() < until) {
        pollfd fds[2] = {{tap, POLLIN, 0}, {lower, POLLIN, 0}};
        if (::poll(fds, 2, 20) <= 0)
            continue;
        for (int i = 0; i < 64; ++i) {
            ssize_t n = ::read(tap, buf, sizeof buf);
            if (n <= 0)
                break;
            if (::send(lower, buf, static_cast<std::size_t>(n), 0) == n)
                ++frames;
        }
        for (int i = 0; i < 64; ++i) {
            ssize_t n = ::recv(lower, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0)
                break;
            if (::write(tap, buf, static_cast<std::size_t>(n)) == n)
                ++frames;
        }
    }
}

} // namespace

class UserSpaceBridge : public LabTest {
protected:
    LabOptions lab_options() const override {
        LabOptions o;
        o.wire = WirePath::Hook;
        o.station = StationLink::External;
        return o;
    }

    void start_wire(Lab& lab) override {
        m_tap = tap_in(lab.wire(), "st0");
        // The station answers with the lower interface's address, as the
        // emulator's TAP does.
        lab.run(lab.wire(),
                {"ip", "link", "set", "st0", "address", mac_address(lab.wire(), kWireNetworkIf)});
        lab.run(lab.wire(), {"ip", "link", "set", "st0", "netns", lab.station()});

        m_lower = socket_in(lab.wire(), AF_PACKET, SOCK_RAW | SOCK_NONBLOCK, htons(ETH_P_ALL));
        int on = 1;
        ASSERT_EQ(::setsockopt(m_lower, SOL_PACKET, PACKET_IGNORE_OUTGOING, &on, sizeof on), 0);
        sockaddr_ll sll{};
        sll.sll_family = AF_PACKET;
        sll.sll_protocol = htons(ETH_P_ALL);
        {
            NetnsGuard in(lab.wire());
            sll.sll_ifindex = static_cast<int>(::if_nametoindex(kWireNetworkIf));
        }
        ASSERT_EQ(::bind(m_lower, reinterpret_cast<sockaddr*>(&sll), sizeof sll), 0);
        packet_mreq mr{};
        mr.mr_ifindex = sll.sll_ifindex;
        mr.mr_type = PACKET_MR_PROMISC;
        ASSERT_EQ(::setsockopt(m_lower, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mr, sizeof mr), 0);

        m_thread = std::thread(forward, m_tap, m_lower, std::cref(m_stop), std::ref(m_frames));
        lab.attach_station("st0");
    }

    void TearDown() override {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        LabTest::TearDown();
        for (int fd : {m_tap, m_lower})
            if (fd >= 0)
                ::close(fd);
    }

    int m_tap = -1;
    int m_lower = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_frames{0};
    std::thread m_thread;
};

TEST_F(UserSpaceBridge, UdpTcpPingAndNeighboursCrossIt) {
    ASSERT_TRUE(m_thread.joinable());
    PingResult p4 = ping(lab().station(), kNetworkV4, 2, 100);
    EXPECT_EQ(p4.received, 2); // ARP crossed too
    PingResult p6 = ping(lab().network(), kStationV6, 2, 100);
    EXPECT_EQ(p6.received, 2);

    UdpFlow u;
    u.from = lab().station();
    u.to = lab().network();
    u.dest = kNetworkV4;
    u.count = 1000;
    u.size = 1400;
    u.rate = 5000;
    u.idle = Millis(500);
    UdpResult ur = run_udp(u);
    EXPECT_EQ(ur.recv.count("unique"), 1000u);
    EXPECT_EQ(ur.recv.count("corrupt"), 0u);
    EXPECT_EQ(snmp_counter(lab().network(), "Udp", "InCsumErrors"), 0u);

    for (const char* dest : {kNetworkV4, kNetworkV6}) {
        SCOPED_TRACE(dest);
        TcpFlow t;
        t.from = lab().station();
        t.to = lab().network();
        t.dest = dest;
        t.bytes = 8u << 20;
        TcpResult tr = run_tcp(t);
        EXPECT_EQ(tr.recv.count("bytes"), t.bytes);
        EXPECT_EQ(tr.recv.count("complete"), 1u);
    }
    EXPECT_GT(m_frames.load(), 2000u);
}
