// Where the engine hands over to the models and to the control device. The defaults pass
// packets through untouched: every bucket takes every packet, nothing is lost or delayed
// and no effect is applied at the WAN exit.
#pragma once

#include "quellin_engine/EngineContext.h"

namespace quellin {

class EngineModels {
public:
    virtual ~EngineModels() = default;

    // The engine was set up: reset the RED states.
    virtual void on_start(EngineContext&) {}

    // A block was loaded (good or not): reset loss, burst, series, Gilbert-Elliott and RED
    // state from it. The engine has already zeroed the context fields it lists.
    virtual void on_load(EngineContext&) {}

    // Bucket offer (0 East, 1 West) of a packet of `size` IP bytes: true when taken. The
    // model keeps the fill and the bucket counters.
    virtual bool bucket_add(EngineContext&, int /*bucket*/, uint32_t /*size*/) { return true; }
    // The packet left the gateway's link.
    virtual void bucket_remove(EngineContext&, int /*bucket*/, uint32_t /*size*/) {}

    // Loss decision for a packet entering the WAN in `direction`: flags to add (0 none).
    virtual uint16_t loss_decision(EngineContext&, int /*direction*/) { return 0; }
    // Delay of the packet in the WAN, in µs.
    virtual uint32_t delay_us(EngineContext&) { return 0; }

    // Exit effects of a packet leaving the WAN that is not dropped. bit_errors returns
    // the packet that goes on: the packet itself, or a corrupted copy (the engine then
    // frees the original). duplicate and fragment introduce new packets through
    // du_introduce_new_packet and mark `info`.
    virtual RtePacket* bit_errors(EngineContext&, RtePacket* packet, PacketInfo& /*info*/,
                                  int /*direction*/) {
        return packet;
    }
    virtual void duplicate(EngineContext&, RtePacket*, PacketInfo&, int /*direction*/) {}
    virtual void fragment(EngineContext&, RtePacket*, PacketInfo&, int /*direction*/) {}

    // Once a second while playing: start disconnect and congestion periods.
    virtual void periodic_tick(EngineContext&) {}
};

// The control device's completions of its pending requests.
class EngineReporter {
public:
    virtual ~EngineReporter() = default;
    // Captured packets and the four packet lists (each second, and early when 25 records
    // wait while playing).
    virtual void send_stats_packets(EngineContext&) {}
    // The 19 counters (each second).
    virtual void send_sim_queue_stats(EngineContext&) {}
};

} // namespace quellin
