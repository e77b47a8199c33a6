#include "QuellinEdges/FlowHash.h"

#include "QuellinEdges/Offload.h"

#include "quellin_wire/ByteOrder.h"

namespace quellin::edges {

namespace {

uint32_t mix(uint32_t h, uint32_t word) {
    h ^= word;
    h *= 0x9E3779B1u;
    return h ^ (h >> 15);
}

uint32_t mix_bytes(uint32_t h, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i + 4 <= count; i += 4)
        h = mix(h, wire::get_be32(bytes, i));
    return h;
}

} // namespace

uint32_t flow_hash(const uint8_t* frame, size_t length) {
    const auto l = ip_layout(frame, length);
    if (!l)
        return 0;
    // IPv4: source and destination at 12; IPv6: at 8, 16 bytes each.
    uint32_t h =
        l->version == 4 ? mix_bytes(4, frame + l->ip + 12, 8) : mix_bytes(6, frame + l->ip + 8, 32);
    h = mix(h, l->protocol);
    if (!l->fragment && (l->protocol == 6 || l->protocol == 17) && l->transport + 4 <= l->end)
        h = mix(h, wire::get_be32(frame, l->transport));
    return h;
}

} // namespace quellin::edges
