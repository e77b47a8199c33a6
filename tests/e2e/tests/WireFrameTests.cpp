// What the station's frames look like on the wire side: with the offloads off
// they carry full checksums and are never larger than the MTU, which a
// user-space bridge reading them with AF_PACKET depends on.
#include "NetnsLab/Flows.h"
#include "NetnsLab/LabTest.h"
#include "NetnsLab/Netns.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace netnslab;

namespace {

struct Frame {
    std::vector<uint8_t> bytes;
};

// Frames that arrive on a wire-side interface from its veth peer.
class Capture {
public:
    Capture(const std::string& netns, const std::string& ifname) {
        m_fd = socket_in(netns, AF_PACKET, SOCK_RAW | SOCK_NONBLOCK, htons(ETH_P_ALL));
        int big = 32 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
        sockaddr_ll sll{};
        sll.sll_family = AF_PACKET;
        sll.sll_protocol = htons(ETH_P_ALL);
        {
            NetnsGuard in(netns);
            sll.sll_ifindex = static_cast<int>(::if_nametoindex(ifname.c_str()));
        }
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&sll), sizeof sll), 0);
    }
    ~Capture() { ::close(m_fd); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<Frame> drain(std::size_t limit = 100000) {
        std::vector<Frame> out;
        uint8_t buf[70000];
        while (out.size() < limit) {
            sockaddr_ll from{};
            socklen_t len = sizeof from;
            ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                break;
            if (from.sll_pkttype == PACKET_OUTGOING)
                continue;
            out.push_back({std::vector<uint8_t>(buf, buf + std::min<ssize_t>(n, sizeof buf))});
        }
        return out;
    }

private:
    int m_fd = -1;
};

uint32_t sum16(const uint8_t* p, std::size_t n, uint32_t acc = 0) {
    for (std::size_t i = 0; i + 1 < n; i += 2)
        acc += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    if (n & 1)
        acc += static_cast<uint32_t>(p[n - 1] << 8);
    return acc;
}

// True when the transport checksum of an IPv4 frame verifies.
bool transport_checksum_ok(const std::vector<uint8_t>& f) {
    const uint8_t* ip = f.data() + 14;
    std::size_t ihl = (ip[0] & 0x0F) * 4u;
    std::size_t total = static_cast<std::size_t>(ip[2] << 8 | ip[3]);
    std::size_t seg = total - ihl;
    uint32_t acc = sum16(ip + 12, 8); // source and destination
    acc += ip[9];
    acc += static_cast<uint32_t>(seg);
    acc = sum16(ip + ihl, seg, acc);
    while (acc >> 16)
        acc = (acc & 0xFFFF) + (acc >> 16);
    return acc == 0xFFFF;
}

bool is_ipv4(const Frame& f, uint8_t proto) {
    return f.bytes.size() >= 34 && f.bytes[12] == 0x08 && f.bytes[13] == 0x00 &&
           f.bytes[14 + 9] == proto;
}

uint16_t udp_checksum_field(const Frame& f) {
    std::size_t ihl = (f.bytes[14] & 0x0F) * 4u;
    return static_cast<uint16_t>(f.bytes[14 + ihl + 6] << 8 | f.bytes[14 + ihl + 7]);
}

} // namespace

class WireFrames : public LabTest {};

TEST_F(WireFrames, UdpFramesCarryFullChecksumsOrNoneWhenAsked) {
    for (bool noChecksum : {false, true}) {
        SCOPED_TRACE(noChecksum ? "checksums off" : "checksums on");
        Capture cap(lab().wire(), kWireStationIf);
        UdpFlow f;
        f.from = lab().station();
        f.to = lab().network();
        f.dest = kNetworkV4;
        f.count = 50;
        f.size = 1000;
        f.rate = 5000;
        f.no_checksum = noChecksum;
        f.idle = Millis(300);
        UdpResult r = run_udp(f);
        EXPECT_EQ(r.recv.count("unique"), 50u);
        int udp = 0;
        for (const auto& fr : cap.drain()) {
            if (!is_ipv4(fr, 17))
                continue;
            ++udp;
            if (noChecksum)
                EXPECT_EQ(udp_checksum_field(fr), 0);
            else
                EXPECT_TRUE(transport_checksum_ok(fr.bytes));
        }
        EXPECT_EQ(udp, 50);
    }
}

TEST_F(WireFrames, TcpSegmentsFitTheMtuAndVerify) {
    Capture cap(lab().wire(), kWireStationIf);
    TcpFlow f;
    f.from = lab().station();
    f.to = lab().network();
    f.dest = kNetworkV4;
    f.bytes = 2u << 20;
    TcpResult r = run_tcp(f);
    EXPECT_EQ(r.recv.count("bytes"), f.bytes);
    std::size_t segments = 0;
    std::size_t payload = 0;
    for (const auto& fr : cap.drain()) {
        if (!is_ipv4(fr, 6))
            continue;
        ++segments;
        EXPECT_LE(fr.bytes.size(), 1514u);
        EXPECT_TRUE(transport_checksum_ok(fr.bytes));
        payload += fr.bytes.size();
    }
    // At least one frame per MTU's worth of data: no segmentation offload.
    EXPECT_GE(segments, f.bytes / 1500);
    EXPECT_GE(payload, f.bytes);
}
