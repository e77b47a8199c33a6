#include "quellin_engine/Edge.h"

#include "quellin_engine/Engine.h"

namespace quellin {

EdgeResult edge_packet_in(RteAdapter* adapter, int direction, const uint8_t* frame, size_t length) {
    RtePacket* packet = rte_take_packet(adapter, direction, frame, length);
    if (!packet)
        return EdgeResult::Refused;
    uint16_t header = 0;
    if (!rte_is_my_packet(packet, &header)) {
        rte_transmit(packet);
        return EdgeResult::PassedOn;
    }
    // Queued emulated packets must never drain the pool the station's traffic needs.
    if (rte_free_descriptors(adapter, direction) <= kReservedDescriptors) {
        rte_free_cookie(packet);
        return EdgeResult::Dropped;
    }
    du_new_packet_gateway(packet, direction);
    return EdgeResult::Emulated;
}

} // namespace quellin
