#include "NetnsLab/Inspect.h"

#include <gtest/gtest.h>

using namespace netnslab;

TEST(Inspect, SnmpCountersOfBothLayouts) {
    const std::string snmp =
        "Ip: Forwarding DefaultTTL\n"
        "Ip: 2 64\n"
        "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors SndbufErrors InCsumErrors\n"
        "Udp: 10 1 4 12 0 0 3\n"
        "UdpLite: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors SndbufErrors "
        "InCsumErrors\n"
        "UdpLite: 0 0 0 0 0 0 0\n";
    EXPECT_EQ(parse_snmp(snmp, "Udp", "InCsumErrors"), 3u);
    EXPECT_EQ(parse_snmp(snmp, "Udp", "InDatagrams"), 10u);
    EXPECT_EQ(parse_snmp(snmp, "Ip", "DefaultTTL"), 64u);
    EXPECT_EQ(parse_snmp(snmp, "UdpLite", "InErrors"), 0u);
    EXPECT_FALSE(parse_snmp(snmp, "Udp", "Nothing"));
    EXPECT_FALSE(parse_snmp(snmp, "Tcp", "InSegs"));

    const std::string snmp6 = "Udp6InDatagrams                 \t7\n"
                              "Udp6InCsumErrors                \t2\n";
    EXPECT_EQ(parse_snmp(snmp6, "Udp6", "InCsumErrors"), 2u);
    EXPECT_EQ(parse_snmp(snmp6, "Udp6", "InDatagrams"), 7u);
}

TEST(Inspect, RouteMtuAndPingSummaries) {
    EXPECT_EQ(parse_route_mtu("198.18.0.2 dev st0 src 198.18.0.1 uid 0 \n"
                              "    cache expires 598sec mtu 576 \n"),
              576);
    // Below the kernel's floor the MTU is locked: "mtu lock 552".
    EXPECT_EQ(parse_route_mtu("198.18.0.2 dev st0 src 198.18.0.1 uid 0 \n"
                              "    cache expires 596sec mtu lock 552 \n"),
              552);
    EXPECT_FALSE(parse_route_mtu("198.18.0.2 dev st0 src 198.18.0.1 uid 0 \n    cache \n"));

    PingResult p =
        parse_ping("PING 198.18.0.2 (198.18.0.2) 56(84) bytes of data.\n"
                   "64 bytes from 198.18.0.2: icmp_seq=1 ttl=64 time=0.031 ms\n\n"
                   "--- 198.18.0.2 ping statistics ---\n"
                   "3 packets transmitted, 2 received, 33.3333% packet loss, time 402ms\n"
                   "rtt min/avg/max/mdev = 0.031/50.045/100.060/0.011 ms\n");
    EXPECT_EQ(p.transmitted, 3);
    EXPECT_EQ(p.received, 2);
    EXPECT_DOUBLE_EQ(p.rtt_min_ms, 0.031);
    EXPECT_DOUBLE_EQ(p.rtt_avg_ms, 50.045);
    EXPECT_DOUBLE_EQ(p.rtt_max_ms, 100.060);
    PingResult none = parse_ping("ping: connect: Network is unreachable\n");
    EXPECT_EQ(none.transmitted, 0);
    EXPECT_EQ(none.received, 0);
}
