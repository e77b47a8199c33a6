// Effects on a packet leaving the WAN section: bit errors, duplication and fragmentation.
// The packets they make enter the exit gateway through the host.
#pragma once

#include "quellin_models/Params.h"
#include "quellin_models/Runtime.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace quellin::models {

// The packet as the effects see it.
struct PacketView {
    std::span<const uint8_t> ip; // the bytes of the frame from the IP header on
    uint64_t frameLength = 0;    // bytes, link header included
    uint32_t linkHeaderLength = 0;
};

// What the effects need of the engine for the packet at hand (the parent packet).
class ExitEffectsHost {
public:
    virtual ~ExitEffectsHost() = default;
    // Bit errors: make a private copy of the parent packet; false when none can be made.
    virtual bool make_private_copy() = 0;
    // Inverts `count` bits of the private copy's frame from bit `position` on.
    virtual void toggle_copy_bits(uint64_t position, uint32_t count) = 0;
    // Copies the parent from its IP header to its end and introduces the copy as a new
    // packet with a record holding `flags`; false when no copy could be made.
    virtual bool introduce_duplicate(uint16_t flags) = 0;
    // A working buffer of `size` bytes; empty when none is to be had.
    virtual std::span<uint8_t> working_buffer(size_t size) = 0;
    // Introduces the IP packet `ip` (built in the working buffer) as a new packet with a
    // record holding `flags`: in the parent's direction, or as an answer to the parent's
    // sender (reply) in the opposite one.
    virtual bool introduce_built(std::span<const uint8_t> ip, uint16_t flags, bool reply) = 0;
    // Raises the WAN queue counter's maxima as if n more packets were queued.
    virtual void raise_wan_queue_maxima(uint32_t n) = 0;
};

// Bit errors. Returns the flags for the parent's record: 0 no error; 0x100 an error hit the
// IP header (lost); 0x02 the private copy was corrupted and replaces the parent.
uint16_t du_bit_error_rate(const BitErrorParams& p, ModelRuntime& rt, const PacketView& packet,
                           ExitEffectsHost& host);

// Duplication; `flags` is the parent's record.
void du_duplicate_packet(const DuplicationParams& p, ModelRuntime& rt, uint16_t& flags,
                         ExitEffectsHost& host);

// Fragmentation, with the ICMP and ICMPv6 answers of order 2; `flags` is the parent's record.
void du_fragmentation(const FragmentationParams& p, ModelRuntime& rt, const PacketView& packet,
                      uint16_t& flags, ExitEffectsHost& host);

} // namespace quellin::models
