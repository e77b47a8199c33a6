// The kernel-bridge path through the wire namespace, the baseline that the
// emulator is measured against: probes and bulk transfers cross it whole.
#include "NetnsLab/Flows.h"
#include "NetnsLab/Inspect.h"
#include "NetnsLab/LabTest.h"

#include <gtest/gtest.h>

using namespace netnslab;

class BridgePath : public LabTest {};

TEST_F(BridgePath, UdpArrivesCompleteInOrderWithinAMillisecond) {
    UdpFlow f;
    f.from = lab().station();
    f.to = lab().network();
    f.dest = kNetworkV4;
    f.count = 2000;
    f.rate = 20000;
    f.list = true;
    f.idle = Millis(500);
    UdpResult r = run_udp(f);
    EXPECT_EQ(r.send.count("sent"), 2000u);
    EXPECT_EQ(r.send.count("errors"), 0u);
    EXPECT_EQ(r.recv.count("expected"), 2000u);
    EXPECT_EQ(r.recv.count("unique"), 2000u);
    EXPECT_EQ(r.recv.count("lost"), 0u);
    EXPECT_EQ(r.recv.count("duplicates"), 0u);
    EXPECT_EQ(r.recv.count("out_of_order"), 0u);
    EXPECT_EQ(r.recv.count("corrupt"), 0u);
    ASSERT_EQ(r.packets.size(), 2000u);
    for (std::size_t i = 0; i < r.packets.size(); ++i)
        ASSERT_EQ(r.packets[i].seq, i);
    EXPECT_GT(r.recv.num("delay_us_min"), 0);
    EXPECT_LT(r.recv.num("delay_us_median"), 1000);
    // The receiving kernel counted them too, none with a bad checksum.
    EXPECT_GE(snmp_counter(lab().network(), "Udp", "InDatagrams").value_or(0), 2000u);
    EXPECT_EQ(snmp_counter(lab().network(), "Udp", "InCsumErrors"), 0u);
}

TEST_F(BridgePath, UdpBackwardsAndOverIpv6WithLargePayloads) {
    UdpFlow f;
    f.from = lab().network();
    f.to = lab().station();
    f.dest = kStationV6;
    f.count = 1000;
    f.size = 1400;
    f.rate = 10000;
    f.idle = Millis(500);
    UdpResult r = run_udp(f);
    EXPECT_EQ(r.recv.count("unique"), 1000u);
    EXPECT_EQ(r.recv.count("out_of_order"), 0u);
    EXPECT_EQ(r.recv.count("corrupt"), 0u);
    EXPECT_LT(r.recv.num("delay_us_median"), 1000);
    // 1,400 payload bytes at 10,000 packets/s: 112 Mbit/s, loosely.
    EXPECT_GT(r.recv.num("goodput_bps"), 50e6);
    EXPECT_LT(r.recv.num("goodput_bps"), 200e6);
}

TEST_F(BridgePath, OversizeProbesFragmentUnlessTheyMayNot) {
    UdpFlow f;
    f.from = lab().station();
    f.to = lab().network();
    f.dest = kNetworkV4;
    f.count = 20;
    f.size = 3000; // three fragments at MTU 1500
    f.rate = 1000;
    f.idle = Millis(300);
    f.timeout = Millis(2000);
    f.df = "off";
    UdpResult frag = run_udp(f);
    EXPECT_EQ(frag.recv.count("unique"), 20u);
    EXPECT_EQ(frag.recv.count("corrupt"), 0u);
    EXPECT_GE(snmp_counter(lab().network(), "Ip", "ReasmOKs").value_or(0), 20u);

    f.df = "on";
    UdpResult whole = run_udp(f);
    EXPECT_EQ(whole.send.count("errors"), 20u);
    EXPECT_EQ(whole.recv.count("received"), 0u);
}

TEST_F(BridgePath, TcpBulkOverBothFamilies) {
    for (const char* dest : {kNetworkV4, kNetworkV6}) {
        SCOPED_TRACE(dest);
        TcpFlow f;
        f.from = lab().station();
        f.to = lab().network();
        f.dest = dest;
        f.bytes = 32u << 20;
        TcpResult r = run_tcp(f);
        EXPECT_EQ(r.send.count("bytes"), f.bytes);
        EXPECT_EQ(r.send.count("complete"), 1u);
        EXPECT_EQ(r.recv.count("bytes"), f.bytes);
        EXPECT_EQ(r.recv.count("complete"), 1u);
        EXPECT_GT(r.recv.num("throughput_bps"), 10e6);
    }
}

TEST_F(BridgePath, PingResolvesNeighboursBothWays) {
    PingResult v4 = ping(lab().station(), kNetworkV4, 3);
    EXPECT_EQ(v4.transmitted, 3);
    EXPECT_EQ(v4.received, 3);
    EXPECT_GT(v4.rtt_avg_ms, 0);
    EXPECT_LT(v4.rtt_avg_ms, 50);
    PingResult v6 = ping(lab().network(), kStationV6, 3);
    EXPECT_EQ(v6.received, 3);
    std::string arp = lab().run(lab().station(), {"ip", "-4", "neigh", "show", kNetworkV4});
    EXPECT_NE(arp.find("02:a1:70:00:00:02"), std::string::npos) << arp;
    // No path MTU is cached on a plain path.
    EXPECT_FALSE(route_mtu(lab().station(), kNetworkV4));
}
