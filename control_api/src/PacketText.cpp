#include "AltirenAPI/PacketText.h"

#include "AltirenChecksum/InternetChecksum.h"
#include "quellin_wire/ByteOrder.h"

#include <algorithm>
#include <cstdio>

namespace altiren_api::packet {

namespace {

using quellin::wire::get_be16;
using quellin::wire::get_be32;

constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;
constexpr uint8_t kIcmpv6 = 58;
constexpr uint8_t kFragment = 44;
constexpr uint8_t kIpv6 = 41;
constexpr size_t kIpv6HeaderLength = 40;

size_t header_length(uint8_t protocol) {
    switch (protocol) {
    case kIpv6:
        return 40;
    case kFragment:
        return 8;
    case kTcp:
    case kUdp:
        return 20;
    case kIcmpv6:
        return 4;
    default:
        return 0;
    }
}

const char* icmpv4_type_text(uint8_t type) {
    switch (type) {
    case 0:
        return "ICMP  echo reply";
    case 3:
        return "ICMP  dest unreachable";
    case 4:
        return "ICMP  source quench";
    case 5:
        return "ICMP  redirect";
    case 8:
        return "ICMP  echo request";
    case 11:
        return "ICMP  time exceeded";
    case 12:
        return "ICMP  param err";
    case 13:
        return "ICMP  timestamp request";
    case 14:
        return "ICMP  timestamp reply";
    case 15:
        return "ICMP  info request";
    case 16:
        return "ICMP  info reply";
    case 17:
        return "ICMP  addr mask request";
    case 18:
        return "ICMP  addr mask reply";
    default:
        return "ICMP";
    }
}

const char* icmpv6_type_text(uint8_t type) {
    switch (type) {
    case 1:
        return "ICMP  dest unreachable";
    case 2:
        return "ICMP  packet to big";
    case 3:
        return "ICMP  time exceeded";
    case 4:
        return "ICMP  param err";
    case 128:
        return "ICMP  echo request";
    case 129:
        return "ICMP  echo reply";
    case 130:
        return "ICMP  multicast listener query";
    case 131:
        return "ICMP  multicast listener report";
    case 132:
        return "ICMP  multicast listener done";
    case 133:
        return "ICMP  router solisitation message";
    case 134:
        return "ICMP  router advertisement message";
    case 135:
        return "ICMP  neighbor solisitation message";
    case 136:
        return "ICMP  neighbor advertisement message";
    case 137:
        return "ICMP  redirect";
    case 138:
        return "ICMP  router renumbering";
    case 139:
        return "ICMP  node info query";
    case 140:
        return "ICMP  node info reply";
    default:
        return "ICMP";
    }
}

std::string icmp_text(Bytes p) {
    if (non_first_fragment(p))
        return "ICMP fragment";
    if (ip_version(p) == 4) {
        auto off = ipv4_upper_header(p, 1);
        return off ? icmpv4_type_text(p[*off]) : "ICMP";
    }
    auto off = ipv6_find(p, kIcmpv6, kCapturedBytes);
    return off ? icmpv6_type_text(p[*off]) : "ICMP";
}

std::string tcp_text(Bytes p) {
    std::optional<size_t> off;
    if (ip_version(p) == 4) {
        if (non_first_fragment(p))
            return "TCP fragment";
        off = ipv4_upper_header(p, 14);
    } else {
        off = ipv6_find(p, kTcp, 14);
    }
    if (!off)
        return "TCP";
    std::string text = "TCP";
    if (non_first_fragment(p))
        return text + " fragment";
    const uint8_t* tcp = p.data() + *off;
    static const struct {
        uint8_t bit;
        const char* word;
    } kFlags[] = {{0x20, " urg"},   {0x10, " ack"},  {0x08, " push"},
                  {0x04, " reset"}, {0x02, " sync"}, {0x01, " fin"}};
    for (const auto& f : kFlags)
        if (tcp[13] & f.bit)
            text += f.word;
    unsigned long seq = get_be32(tcp, 4);
    unsigned long ack = get_be32(tcp, 8);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " seq= %lu ack= %lu", seq, ack);
    text += numbers;
    return text;
}

} // namespace

int ip_version(Bytes p) {
    return p.empty() ? 0 : p[0] >> 4;
}

std::optional<size_t> ipv6_find(Bytes p, uint8_t wanted, size_t cap) {
    if (p.size() < kIpv6HeaderLength)
        return std::nullopt;
    uint8_t next = p[6];
    size_t off = kIpv6HeaderLength;
    // Every step advances by at least 8 bytes, so the captured bytes bound the walk.
    while (true) {
        if (next == wanted) {
            size_t need = std::min(header_length(wanted), cap);
            if (need == 0 || off + need <= p.size())
                return off;
            return std::nullopt;
        }
        switch (next) {
        case 0:
        case 43:
        case 60:
            if (off + 2 > p.size())
                return std::nullopt;
            next = p[off];
            off += (size_t{p[off + 1]} + 1) * 8;
            break;
        case 51:
            if (off + 2 > p.size())
                return std::nullopt;
            next = p[off];
            off += (size_t{p[off + 1]} + 2) * 4;
            break;
        case kFragment:
            if (off + 1 > p.size())
                return std::nullopt;
            next = p[off];
            off += 8;
            break;
        case kIpv6:
            if (off + 7 > p.size())
                return std::nullopt;
            next = p[off + 6];
            off += kIpv6HeaderLength;
            break;
        default: // 59 (no next header) and everything else end the walk
            return std::nullopt;
        }
    }
}

uint8_t protocol_number(Bytes p) {
    if (ip_version(p) == 4)
        return p.size() > 9 ? p[9] : 0;
    for (uint8_t wanted : {kTcp, kUdp, kIcmpv6})
        if (ipv6_find(p, wanted, 0))
            return wanted;
    return kIpv6;
}

std::optional<size_t> ipv4_upper_header(Bytes p, size_t need) {
    if (p.size() < 20)
        return std::nullopt;
    size_t ihl = size_t{p[0] & 0x0Fu} * 4;
    if (ihl < 20 || ihl + need > p.size())
        return std::nullopt;
    return ihl;
}

bool non_first_fragment(Bytes p) {
    int version = ip_version(p);
    if (version == 4)
        return p.size() >= 8 && (get_be16(p.data(), 6) & 0x1FFF) != 0;
    if (version == 6) {
        auto off = ipv6_find(p, kFragment, 4);
        return off && (get_be16(p.data(), *off + 2) >> 3) > 0;
    }
    return false;
}

std::optional<std::string> protocol_text(Bytes p) {
    int version = ip_version(p);
    if (version != 4 && version != 6)
        return std::nullopt;
    std::string text;
    switch (protocol_number(p)) {
    case 0:
    case kIpv6:
        text = "IP";
        break;
    case 1:
    case kIcmpv6:
        text = icmp_text(p);
        break;
    case 2:
        text = "IGMP";
        break;
    case 3:
        text = "GGP";
        break;
    case kTcp:
        text = tcp_text(p);
        break;
    case 12:
        text = "PUP";
        break;
    case kUdp:
        text = "UDP";
        break;
    case 22:
        text = "IDP";
        break;
    case 77:
        text = "ND";
        break;
    default:
        text = " ";
        break;
    }
    if (text.size() > kProtocolTextSize - 1)
        text.resize(kProtocolTextSize - 1);
    return text;
}

std::string ipv4_address_text(const uint8_t* a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string ipv6_address_text(const uint8_t* a) {
    uint16_t g[8];
    for (int i = 0; i < 8; ++i)
        g[i] = get_be16(a, 2 * i);

    int runStart = -1, runLength = 0;
    for (int i = 0; i < 8;) {
        if (g[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && g[j] == 0)
            ++j;
        if (j - i > runLength) {
            runStart = i;
            runLength = j - i;
        }
        i = j;
    }
    if (runLength < 2)
        runStart = -1;

    if (runStart == 0 && (runLength == 6 || (runLength == 5 && g[5] == 0xFFFF)))
        return std::string(runLength == 5 ? "::ffff:" : "::") + ipv4_address_text(a + 12);

    auto join = [&](int from, int to) {
        std::string part;
        char group[8];
        for (int i = from; i < to; ++i) {
            std::snprintf(group, sizeof group, "%x", g[i]);
            if (i != from)
                part += ':';
            part += group;
        }
        return part;
    };
    if (runStart < 0)
        return join(0, 8);
    return join(0, runStart) + "::" + join(runStart + runLength, 8);
}

std::optional<std::string> address_text(Bytes p, bool source) {
    int version = ip_version(p);
    if (version == 4 && p.size() >= 20)
        return ipv4_address_text(p.data() + (source ? 12 : 16));
    if (version == 6 && p.size() >= kIpv6HeaderLength)
        return ipv6_address_text(p.data() + (source ? 8 : 24));
    return std::nullopt;
}

uint16_t port(Bytes p, bool source) {
    int version = ip_version(p);
    std::optional<size_t> off;
    if (version == 4) {
        if (p.size() < 20 || non_first_fragment(p))
            return 0;
        if (p[9] != kTcp && p[9] != kUdp)
            return 0;
        off = ipv4_upper_header(p, 4);
    } else if (version == 6) {
        uint8_t protocol = protocol_number(p);
        if ((protocol != kTcp && protocol != kUdp) || non_first_fragment(p))
            return 0;
        off = ipv6_find(p, protocol, 4);
    }
    if (!off)
        return 0;
    return get_be16(p.data(), *off + (source ? 0 : 2));
}

uint32_t packet_size(Bytes p) {
    int version = ip_version(p);
    if (version == 4 && p.size() >= 4)
        return get_be16(p.data(), 2);
    if (version == 6 && p.size() >= 6)
        return uint32_t{get_be16(p.data(), 4)} + 40;
    return 0;
}

bool header_checksum_fails(Bytes p) {
    if (ip_version(p) != 4)
        return false;
    size_t ihl = size_t{p[0] & 0x0Fu} * 4;
    if (ihl < 20)
        return true;
    if (ihl > p.size())
        return false; // not captured: nothing to accuse
    return !altiren::ipv4_header_checksum_ok(p.data(), p.size());
}

} // namespace altiren_api::packet
