// The display texts of a captured packet: the exported functions over the 68 captured
// bytes of a packet record, and the decoding routines behind them over any number of
// bytes (an exact-size copy, so a read past the end is caught). Texts stay within their
// buffers and sizes.
#include "common/FuzzInput.h"

#include "AltirenAPI.h"
#include "AltirenAPI/PacketText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pk = altiren_api::packet;

namespace {

void Exports(const uint8_t* record) {
    const int version = NuvexGetPacketIpVersion(record);
    if (version < 0 || version > 2)
        fuzz::Fail("the IP version is none of 0, 1, 2");
    NuvexGetPacketSize(record);
    for (uint8_t source : {0, 1}) {
        NuvexGetPort(record, source);
        // A buffer one byte too small for the longest text, then one large enough.
        for (uint32_t room : {8u, 46u}) {
            std::vector<char> text(room, '\x7f');
            uint32_t length = room;
            NuvexGetDisplayAddress(record, text.data(), &length, source);
            if (length < room && std::memchr(text.data(), 0, room) == nullptr)
                fuzz::Fail("an address text that fits is not terminated");
        }
    }
    char protocol[40];
    std::memset(protocol, 0x7f, sizeof protocol);
    NuvexGetProtocol(record, protocol);
    if (protocol[0] != 0x7f && std::memchr(protocol, 0, sizeof protocol) == nullptr)
        fuzz::Fail("the protocol text is not terminated");
    NuvexIsPacketLossDueToBER(record);
}

void Routines(pk::Bytes p) {
    pk::ip_version(p);
    pk::protocol_number(p);
    pk::non_first_fragment(p);
    pk::packet_size(p);
    pk::header_checksum_fails(p);
    // With a cap, the wanted header's first min(length, cap) bytes were captured.
    static const struct {
        uint8_t protocol;
        size_t length;
    } kHeaders[] = {{6, 20}, {17, 20}, {58, 4}, {44, 8}};
    for (const auto& h : kHeaders)
        for (size_t cap : {0, 4, 8, 20}) {
            auto at = pk::ipv6_find(p, h.protocol, cap);
            if (at && cap > 0 && *at + std::min(cap, h.length) > p.size())
                fuzz::Fail("an IPv6 header was found past the bytes");
        }
    for (size_t need : {0, 4, 8, 20})
        if (auto at = pk::ipv4_upper_header(p, need); at && *at + need > p.size())
            fuzz::Fail("an IPv4 upper header was found past the bytes");
    if (auto text = pk::protocol_text(p); text && text->size() >= pk::kProtocolTextSize)
        fuzz::Fail("a protocol text is longer than its field");
    for (bool source : {false, true}) {
        pk::address_text(p, source);
        pk::port(p, source);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> record(pk::kCapturedBytes, 0);
    std::memcpy(record.data(), data, std::min(size, record.size()));
    Exports(record.data());
    std::vector<uint8_t> exact(data, data + size);
    Routines(pk::Bytes(exact.data(), exact.size()));
    return 0;
}
