// The driver's control device, independent of how requests reach it: the I/O control
// codes, the control commands and the six pending requests that the periodic tick
// completes. Runs on the engine thread; the engine must be set up (du_init) with this
// object as its reporter before requests arrive.
#pragma once

#include "quellin_engine/Engine.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace quellin {

// Names a request for as long as it is pending; given by the transport.
using IoRequestId = uint64_t;

struct IoRequest {
    IoRequestId id = 0;
    uint32_t code = 0;
    std::span<const uint8_t> input; // the system buffer's input side
    uint32_t outputLength = 0;      // the caller's output buffer; 0 when there is none
};

struct IoCompletion {
    uint32_t status = 0;
    uint32_t information = 0;          // byte count
    std::vector<uint8_t> output;       // what lands in the caller's output buffer
    std::vector<uint8_t> systemBuffer; // what the request wrote into its system buffer
};

// The transport's side: answers a request that was left pending.
class IoCompleter {
public:
    virtual ~IoCompleter() = default;
    virtual void complete(IoRequestId id, IoCompletion completion) = 0;
};

class ControlDevice final : public EngineReporter {
public:
    static constexpr int kPendingSlots = 6; // captured packets, lists 0 to 3, counters
    static constexpr int kCountdownStart = 6;

    explicit ControlDevice(IoCompleter& completer);

    // A request arrived: its completion, or nothing when it is kept pending (it is then
    // answered through the completer).
    std::optional<IoCompletion> dispatch(const IoRequest& request);
    // The transport dropped a pending request (its caller went away): forget it.
    void discard(IoRequestId id);

    // Daemon shut-down: stops the emulation as command 5 does, then sends on every packet
    // the engine still holds, whatever the bypass flag.
    void shutdown();

    // The control message (0x22000E): runs the command; gives the 14-byte reply.
    std::array<uint8_t, 14> du_handleControl(const uint8_t* message, size_t length);

    // Completions of the pending requests (EngineReporter).
    void send_stats_packets(EngineContext& ctx) override;
    void send_sim_queue_stats(EngineContext& ctx) override;
    void du_send_stats_packets() { send_stats_packets(du_context()); }
    void du_send_sim_queue_stats() { send_sim_queue_stats(du_context()); }

    // Where the status record reads the free descriptors recorded at the last receive;
    // without one it reads the send pool of the first bound adapter.
    void set_receive_free_source(std::function<uint32_t()> source) {
        m_receiveFree = std::move(source);
    }

    uint16_t state() const { return m_state; }
    bool session_open() const { return m_session; }
    int countdown() const { return m_countdown; }
    uint32_t last_data_length() const { return m_lastDataLength; }
    uint16_t last_checksum() const { return m_lastChecksum; }
    bool pending(int slot) const { return m_slots[slot].used; }

private:
    struct Slot {
        bool used = false;
        IoRequestId id = 0;
        uint32_t outputLength = 0;
    };

    std::optional<IoCompletion> pend(int slot, const IoRequest& request);
    void finish(Slot& slot, IoCompletion completion);
    IoCompletion status_record() const;
    IoCompletion adapter_list(uint32_t outputLength) const;
    uint16_t run_command(uint16_t command, uint16_t version, uint32_t mode, const uint8_t* data,
                         uint32_t dataLength, uint16_t checksum);
    void stop();
    void flush();

    IoCompleter& m_completer;
    uint16_t m_state = 2;
    bool m_session = false;
    int m_countdown = 0;
    uint32_t m_lastDataLength = 0;
    uint16_t m_lastChecksum = 0;
    std::array<Slot, kPendingSlots> m_slots{};
    std::function<uint32_t()> m_receiveFree;
};

// Slot of a pending code: 0 captured packets, 1 to 4 packet lists 0 to 3, 5 counters;
// -1 for the others.
int pending_slot_of(uint32_t code);

} // namespace quellin
