#include "AltirenAPI/PacketText.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <vector>

using namespace altiren_api::packet;

namespace {

using Packet = std::array<uint8_t, kCapturedBytes>;

void put16(Packet& p, size_t at, uint16_t v) {
    p[at] = static_cast<uint8_t>(v >> 8);
    p[at + 1] = static_cast<uint8_t>(v);
}
void put32(Packet& p, size_t at, uint32_t v) {
    put16(p, at, static_cast<uint16_t>(v >> 16));
    put16(p, at + 2, static_cast<uint16_t>(v));
}

// IPv4 header of `ihl` words from 198.18.0.1 to 198.19.0.2 with a valid checksum,
// followed by `upper` at the header's end.
Packet ipv4(uint8_t protocol, std::vector<uint8_t> upper = {}, uint8_t ihl = 5,
            uint16_t fragmentOffset = 0) {
    Packet p{};
    p[0] = static_cast<uint8_t>(0x40 | ihl);
    put16(p, 2, 1500);
    put16(p, 6, fragmentOffset);
    p[8] = 64;
    p[9] = protocol;
    put32(p, 12, 0xC6120001);
    put32(p, 16, 0xC6130002);
    uint32_t sum = 0;
    for (size_t i = 0; i < size_t{ihl} * 4; i += 2)
        sum += uint32_t{p[i]} << 8 | p[i + 1];
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    put16(p, 10, static_cast<uint16_t>(~sum));
    for (size_t i = 0; i < upper.size() && ihl * 4 + i < p.size(); ++i)
        p[ihl * 4 + i] = upper[i];
    return p;
}

// IPv6 header with the first next header and what follows it.
Packet ipv6(uint8_t next, std::vector<uint8_t> rest = {}) {
    Packet p{};
    p[0] = 0x60;
    put16(p, 4, 100);
    p[6] = next;
    p[7] = 64;
    p[8] = 0x20, p[9] = 0x01, p[10] = 0x00, p[11] = 0x02, p[23] = 1; // 2001:2::1
    p[24] = 0x20, p[25] = 0x01, p[26] = 0x00, p[27] = 0x02, p[39] = 2;
    for (size_t i = 0; i < rest.size() && 40 + i < p.size(); ++i)
        p[40 + i] = rest[i];
    return p;
}

std::vector<uint8_t> tcp(uint16_t sport, uint16_t dport, uint32_t seq, uint32_t ack,
                         uint8_t flags) {
    std::vector<uint8_t> t(20, 0);
    t[0] = sport >> 8, t[1] = sport & 0xFF, t[2] = dport >> 8, t[3] = dport & 0xFF;
    for (int i = 0; i < 4; ++i) {
        t[4 + i] = static_cast<uint8_t>(seq >> (24 - 8 * i));
        t[8 + i] = static_cast<uint8_t>(ack >> (24 - 8 * i));
    }
    t[12] = 0x50;
    t[13] = flags;
    return t;
}

std::string text(const Packet& p) {
    return protocol_text(Bytes(p)).value_or("<none>");
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(PacketText, TcpFlagWordsAndNumbers) {
    EXPECT_EQ(text(ipv4(6, tcp(1, 2, 1000, 16, 0x01))), "TCP fin seq= 1000 ack= 16");
    EXPECT_EQ(text(ipv4(6, tcp(1, 2, 1000, 1, 0x12))), "TCP ack sync seq= 1000 ack= 1");
    EXPECT_EQ(text(ipv4(6, tcp(1, 2, 4294967295u, 0, 0))), "TCP seq= 4294967295 ack= 0");
    std::string all = text(ipv4(6, tcp(1, 2, 1000, 1, 0x3F)));
    EXPECT_EQ(all, std::string("TCP urg ack push reset sync fin seq= 1000 ack= 1").substr(0, 39));
    EXPECT_EQ(all.size(), 39u);
}

TEST(PacketText, Ipv4HeaderWithOptionsIsSkippedByItsLength) {
    Packet p = ipv4(6, tcp(8080, 443, 7, 9, 0x10), 6);
    EXPECT_EQ(text(p), "TCP ack seq= 7 ack= 9");
    EXPECT_EQ(port(Bytes(p), true), 8080);
    EXPECT_EQ(port(Bytes(p), false), 443);

    Packet icmp = ipv4(1, {8, 0}, 7);
    EXPECT_EQ(text(icmp), "ICMP  echo request");

    // A 60-byte header leaves 8 captured bytes: ports yes, TCP flags no.
    Packet longest = ipv4(6, tcp(53, 54, 1, 2, 0x02), 15);
    EXPECT_EQ(text(longest), "TCP");
    EXPECT_EQ(port(Bytes(longest), true), 53);

    Packet bad = ipv4(17, {0, 53, 0, 54}, 4); // header length below 20
    EXPECT_EQ(port(Bytes(bad), true), 0);
    EXPECT_EQ(text(ipv4(6, tcp(1, 2, 3, 4, 1), 4)), "TCP");
}

TEST(PacketText, Ipv4Fragments) {
    EXPECT_EQ(text(ipv4(6, tcp(1, 2, 3, 4, 1), 5, 1)), "TCP fragment");
    EXPECT_EQ(text(ipv4(1, {8}, 5, 1)), "ICMP fragment");
    EXPECT_EQ(port(Bytes(ipv4(17, {0, 53, 0, 54}, 5, 1)), true), 0);
    // More-fragments flag alone is a first fragment.
    EXPECT_EQ(port(Bytes(ipv4(17, {0, 53, 0, 54}, 5, 0x2000)), true), 53);
}

TEST(PacketText, ProtocolNumbers) {
    EXPECT_EQ(text(ipv4(0)), "IP");
    EXPECT_EQ(text(ipv4(41)), "IP");
    EXPECT_EQ(text(ipv4(2, {0x11})), "IGMP");
    EXPECT_EQ(text(ipv4(3)), "GGP");
    EXPECT_EQ(text(ipv4(12)), "PUP");
    EXPECT_EQ(text(ipv4(17)), "UDP");
    EXPECT_EQ(text(ipv4(22)), "IDP");
    EXPECT_EQ(text(ipv4(77)), "ND");
    EXPECT_EQ(text(ipv4(50)), " ");
    EXPECT_EQ(text(ipv4(200)), " ");
    EXPECT_EQ(text(ipv4(78)), " ");
    Packet other{};
    other[0] = 0x50;
    EXPECT_FALSE(protocol_text(Bytes(other)).has_value());
    EXPECT_FALSE(address_text(Bytes(other), true).has_value());
}

TEST(PacketText, IcmpTypes) {
    const std::pair<uint8_t, const char*> v4[] = {
        {0, "ICMP  echo reply"},
        {3, "ICMP  dest unreachable"},
        {4, "ICMP  source quench"},
        {5, "ICMP  redirect"},
        {8, "ICMP  echo request"},
        {11, "ICMP  time exceeded"},
        {12, "ICMP  param err"},
        {13, "ICMP  timestamp request"},
        {14, "ICMP  timestamp reply"},
        {15, "ICMP  info request"},
        {16, "ICMP  info reply"},
        {17, "ICMP  addr mask request"},
        {18, "ICMP  addr mask reply"},
        {9, "ICMP"},
        {255, "ICMP"},
    };
    for (auto [type, expected] : v4)
        EXPECT_EQ(text(ipv4(1, {type})), expected) << int(type);

    const std::pair<uint8_t, const char*> v6[] = {
        {1, "ICMP  dest unreachable"},
        {2, "ICMP  packet to big"},
        {3, "ICMP  time exceeded"},
        {4, "ICMP  param err"},
        {128, "ICMP  echo request"},
        {129, "ICMP  echo reply"},
        {130, "ICMP  multicast listener query"},
        {131, "ICMP  multicast listener report"},
        {132, "ICMP  multicast listener done"},
        {133, "ICMP  router solisitation message"},
        {134, "ICMP  router advertisement message"},
        {135, "ICMP  neighbor solisitation message"},
        {136, "ICMP  neighbor advertisement message"},
        {137, "ICMP  redirect"},
        {138, "ICMP  router renumbering"},
        {139, "ICMP  node info query"},
        {140, "ICMP  node info reply"},
        {0, "ICMP"},
        {141, "ICMP"},
    };
    for (auto [type, expected] : v6)
        EXPECT_EQ(text(ipv6(58, {type, 0, 0, 0})), expected) << int(type);
    // ICMPv6 numbered 1 over IPv4 uses the IPv4 table.
    EXPECT_EQ(text(ipv4(58, {0})), "ICMP  echo reply");
}

TEST(PacketText, Ipv6ExtensionHeaderWalk) {
    // Hop-by-hop (8 bytes) then ICMPv6.
    EXPECT_EQ(text(ipv6(0, {58, 0, 0, 0, 0, 0, 0, 0, 135, 0, 0, 0})),
              "ICMP  neighbor solisitation message");
    // A chain that ends in "no next header".
    EXPECT_EQ(text(ipv6(60, {59, 0})), "IP");
    EXPECT_EQ(text(ipv6(59)), "IP");
    // An unknown header ends the walk: IPv6 names it IP.
    EXPECT_EQ(text(ipv6(50)), "IP");
    // Routing header (16 bytes) then UDP.
    Packet udp = ipv6(43, {17, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 80});
    EXPECT_EQ(text(udp), "UDP");
    EXPECT_EQ(port(Bytes(udp), true), 0x1234);
    EXPECT_EQ(port(Bytes(udp), false), 80);
    // Authentication header: (1 + 2) × 4 = 12 bytes, then TCP.
    std::vector<uint8_t> ah = {6, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Packet viaAh = ipv6(51, concat(ah, tcp(1, 2, 5, 6, 0x04)));
    EXPECT_EQ(text(viaAh), "TCP reset seq= 5 ack= 6");
    // A hop-by-hop header that runs past the captured bytes: the protocol is still named by
    // the last next header read, but its header was not captured.
    Packet past = ipv6(0, {6, 10});
    EXPECT_EQ(protocol_number(Bytes(past)), 6);
    EXPECT_EQ(text(past), "TCP");
    EXPECT_EQ(port(Bytes(past), true), 0);
    Packet icmpPast = ipv6(0, {58, 10});
    EXPECT_EQ(text(icmpPast), "ICMP");
    // TCP 20 bytes behind the header: 14 needed, 8 captured.
    Packet tcpShort =
        ipv6(60, concat({6, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, tcp(1, 2, 3, 4, 1)));
    EXPECT_EQ(text(tcpShort), "TCP");
    // Nested IPv6 then UDP: only 20 bytes of the inner header were captured, so the walk
    // cannot pass it.
    Packet nested = ipv6(41, {0x60, 0, 0, 0, 0, 0, 17});
    EXPECT_EQ(text(nested), "UDP");
    EXPECT_EQ(port(Bytes(nested), true), 0);
}

TEST(PacketText, Ipv6FragmentOffsetUsesItsThirteenBits) {
    // First fragment: next header TCP, offset 0, more-fragments set.
    std::vector<uint8_t> first = {6, 0, 0x00, 0x01, 0, 0, 0, 1};
    Packet a = ipv6(44, concat(first, tcp(10, 20, 1, 2, 0x02)));
    EXPECT_FALSE(non_first_fragment(Bytes(a)));
    EXPECT_EQ(text(a), "TCP sync seq= 1 ack= 2");
    EXPECT_EQ(port(Bytes(a), true), 10);
    // Offset 1 (8 bytes).
    std::vector<uint8_t> later = {6, 0, 0x00, 0x08, 0, 0, 0, 1};
    Packet b = ipv6(44, concat(later, tcp(10, 20, 1, 2, 0x02)));
    EXPECT_TRUE(non_first_fragment(Bytes(b)));
    EXPECT_EQ(text(b), "TCP fragment");
    EXPECT_EQ(port(Bytes(b), true), 0);
    Packet c = ipv6(44, {58, 0, 0x00, 0x08, 0, 0, 0, 1, 128, 0, 0, 0});
    EXPECT_EQ(text(c), "ICMP fragment");
}

TEST(PacketText, AddressTexts) {
    auto v6 = [](std::vector<uint16_t> groups) {
        uint8_t a[16];
        for (int i = 0; i < 8; ++i)
            a[2 * i] = groups[i] >> 8, a[2 * i + 1] = groups[i] & 0xFF;
        return ipv6_address_text(a);
    };
    EXPECT_EQ(v6({0, 0, 0, 0, 0, 0, 0, 0}), "::");
    EXPECT_EQ(v6({0, 0, 0, 0, 0, 0, 0, 1}), "::1");
    EXPECT_EQ(v6({0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}), "2001:db8::1");
    EXPECT_EQ(v6({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0201}), "::ffff:192.0.2.1");
    EXPECT_EQ(v6({0, 0, 0, 0, 0, 0, 0xc000, 0x0201}), "::192.0.2.1");
    EXPECT_EQ(v6({1, 0, 0, 1, 0, 0, 0, 1}), "1:0:0:1::1");
    EXPECT_EQ(v6({1, 0, 0, 2, 0, 0, 3, 4}), "1::2:0:0:3:4");
    EXPECT_EQ(v6({1, 0, 0, 0, 0, 0, 0, 0}), "1::");
    EXPECT_EQ(v6({1, 0, 2, 0, 3, 0, 4, 0}), "1:0:2:0:3:0:4:0");
    EXPECT_EQ(v6({0xfe80, 0, 0, 0, 0xabcd, 0xef, 0x1234, 0xffff}), "fe80::abcd:ef:1234:ffff");

    const uint8_t v4[] = {192, 168, 100, 200};
    EXPECT_EQ(ipv4_address_text(v4), "192.168.100.200");
    EXPECT_EQ(address_text(Bytes(ipv4(6)), true), "198.18.0.1");
    EXPECT_EQ(address_text(Bytes(ipv4(6)), false), "198.19.0.2");
    EXPECT_EQ(address_text(Bytes(ipv6(6)), true), "2001:2::1");
    EXPECT_EQ(address_text(Bytes(ipv6(6)), false), "2001:2::2");
}

TEST(PacketText, SizeAndHeaderChecksum) {
    Packet p = ipv4(17, {}, 6);
    EXPECT_EQ(packet_size(Bytes(p)), 1500u);
    EXPECT_EQ(packet_size(Bytes(ipv6(17))), 140u);
    EXPECT_FALSE(header_checksum_fails(Bytes(p)));
    p[23] ^= 0x10; // an option byte
    EXPECT_TRUE(header_checksum_fails(Bytes(p)));
    EXPECT_TRUE(header_checksum_fails(Bytes(ipv4(17, {}, 4))));
    EXPECT_FALSE(header_checksum_fails(Bytes(ipv6(17))));
    Packet other{};
    other[0] = 0x45;
    other[0] = 0x55;
    EXPECT_FALSE(header_checksum_fails(Bytes(other)));
    EXPECT_EQ(packet_size(Bytes(other)), 0u);

    // The driver's header check decides: a checksum whose complement is 0 verifies whether
    // it is stored as 0x0000 or 0xFFFF.
    Packet zero{};
    const uint8_t header[] = {0x45, 0, 0,    20,   0, 0, 0,    0,    0x40, 0x01,
                              0,    0, 0x0A, 0x00, 0, 1, 0x70, 0xE9, 0,    0};
    std::copy(std::begin(header), std::end(header), zero.begin());
    EXPECT_FALSE(header_checksum_fails(Bytes(zero)));
    zero[10] = zero[11] = 0xFF;
    EXPECT_FALSE(header_checksum_fails(Bytes(zero)));
    zero[11] = 0xFE;
    EXPECT_TRUE(header_checksum_fails(Bytes(zero)));
}
