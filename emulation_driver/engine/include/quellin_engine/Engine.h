// The emulation engine: a packet's way through the entry gateway, the WAN section and
// the exit gateway, the six timer queues and the periodic tick.
#pragma once

#include "quellin_engine/EngineContext.h"
#include "quellin_engine/Hooks.h"

#include <cstddef>
#include <cstdint>

namespace quellin {

// Set-up, after rte_init. Null hooks give the pass-through defaults. Starts with the
// bypass flag set and no block.
bool du_init(EngineModels* models = nullptr, EngineReporter* reporter = nullptr);
void du_shutdown();
EngineContext& du_context();
EngineModels& du_models();

// Entry points.
void du_new_packet_gateway(RtePacket* packet, int direction);
void du_timer(void* context);
void du_cancel_timers();

// The stages, called from the timer queues and from each other.
void nuvex_receive(RtePacket* packet, PacketInfo* info, int direction);
void nuvex_send_packet(RtePacket* packet, PacketInfo* info, int direction);
void gateway_receive_from_nuvex(RtePacket* packet, PacketInfo* info, int direction);
void gateway_release_packet(RtePacket* packet, PacketInfo* info, int direction);
// Queue q (0 to 5) with a delay of `delayUs`.
void du_add_Packet_To_TimerQueue(int queue, uint64_t delayUs, RtePacket* packet, PacketInfo* info);
void du_schedule_next(int queue);

// A packet made at the WAN exit (duplicate, fragment, ICMP error) enters the exit
// gateway with a copy of its parent's record; ICMP errors always enter direction 1.
void du_introduce_new_packet(RtePacket* packet, const PacketInfo& parentInfo, int parentDirection,
                             bool icmpError);

// Transmission time in µs of `ipLength` + `overhead` bytes at `bandwidth` units of
// 100 bit/s; 0 for unlimited.
uint64_t du_transmission_time(uint32_t ipLength, uint32_t overhead, uint32_t bandwidth);

// Integer from a to b drawn from rte_rand (rand_in_range).
uint16_t du_rand(uint32_t a, uint32_t b);

// Stores.
void du_write_list_entry(int list, uint32_t sequence, uint16_t flags);
void du_write_stats_packets(RtePacket* packet, uint32_t sequence, int side);
// Counter 10, 11 or 12 up or down by one (never below 0), with its maxima.
void du_counter_up(size_t index);
void du_counter_down(size_t index);

// The engine's part of the control commands.
// Load (3): stores the block, resets state, answers 0, 1 or 6. The bypass flag is set. A
// block with a field the control library's checks refuse answers 6 (unless its header or
// checksum answered first) and is not stored: no block is loaded then.
uint16_t du_load_play_block(const uint8_t* data, size_t length, uint16_t checksum);
// Stop (5): false (and nothing done) when the bypass flag is already set; else sets it,
// neutralises the block, stops the periodic tick, releases the held packet and
// transmits what the queues hold.
bool du_stop();
// Play (6): sets the bypass flag and starts the periodic tick.
void du_play();
void du_set_bypass(bool bypass);
// Transmits the packet held for reordering, unchanged, and empties the slot.
void du_release_held_packet();

// Frees every packet of `adapter` that waits in the timer queues or the reordering slot,
// with what each holds of the buckets and queue counters, and rearms the queues whose
// head went. Called before the adapter is unbound. Returns how many were freed.
size_t du_forget_adapter(const RteAdapter* adapter);

} // namespace quellin
