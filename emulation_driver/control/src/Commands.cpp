#include "quellin_control/ControlDevice.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/ControlMessage.h"

namespace quellin {

namespace {
constexpr uint16_t kOpen = 1, kClose = 2, kLoad = 3, kStop = 5, kPlay = 6, kFlush = 10;
constexpr uint16_t kClosed = 2, kOpened = 1, kLoaded = 3, kStopped = 5, kPlaying = 6;
} // namespace

std::array<uint8_t, 14> ControlDevice::du_handleControl(const uint8_t* message, size_t length) {
    uint16_t result = 0;
    if (message && length >= wire::kControlMessageSize) {
        const uint32_t dataLength = wire::get_u32(message, 20);
        const uint8_t* data = length - wire::kControlMessageSize >= dataLength
                                  ? message + wire::kControlMessageSize
                                  : nullptr;
        result = run_command(wire::get_u16(message, 6), wire::get_u16(message, 8),
                             wire::get_u32(message, 16), data, data ? dataLength : 0,
                             wire::get_u16(message, 24));
    }
    wire::ControlReply reply;
    reply.driverState = m_state;
    reply.result = result;
    return reply.encode();
}

uint16_t ControlDevice::run_command(uint16_t command, uint16_t version, uint32_t mode,
                                    const uint8_t* data, uint32_t dataLength, uint16_t checksum) {
    m_lastDataLength = dataLength;
    m_lastChecksum = checksum;
    auto& ctx = du_context();
    switch (command) {
    case kOpen: {
        if (m_session)
            return 7;
        m_session = true;
        du_set_bypass(true);
        m_countdown = 0;
        m_state = kOpened;
        uint16_t result = 0;
        if (version < wire::kProtocolVersion)
            result = 3;
        else if (version > wire::kProtocolVersion)
            result = 4;
        if (mode > 1) {
            m_session = false;
            result = 5;
        }
        rte_lock(kLockStores);
        ctx.capturedCount = 0;
        ctx.unsentRecords = 0;
        rte_unlock(kLockStores);
        return result;
    }
    case kClose:
        m_session = false;
        du_set_bypass(true);
        m_countdown = 0;
        m_state = kClosed;
        return 0;
    case kLoad:
        m_state = kLoaded;
        m_countdown = 0; // every command that sets the bypass flag ends the countdown
        return du_load_play_block(data, dataLength, checksum);
    case kStop:
        stop();
        return 0;
    case kPlay:
        m_state = kPlaying;
        rte_lock(kLockStores);
        ctx.capturedCount = 0;
        ctx.unsentRecords = 0;
        rte_unlock(kLockStores);
        du_play();
        m_countdown = kCountdownStart;
        return 0;
    case kFlush:
        flush();
        return 0;
    default:
        return 0; // 4, 7, 8, 9 and unknown commands do nothing
    }
}

void ControlDevice::stop() {
    // A stop while the countdown runs stops too: the emulation is about to begin, and
    // otherwise the countdown would start it after the stop.
    if (!du_context().view.bypass || m_countdown > 0) {
        m_state = kStopped;
        m_countdown = 0;
        du_set_bypass(false);
        du_stop();
    }
    // Whatever the bypass flag, no pending request is left waiting for a tick that may
    // never come.
    du_send_stats_packets();
    du_send_sim_queue_stats();
}

void ControlDevice::shutdown() {
    stop();
    // A stop while bypassed leaves the periodic tick armed; nothing may outlive shutdown.
    auto& ctx = du_context();
    if (ctx.periodicTimer >= 0) {
        rte_cancel_timer(ctx.periodicTimer);
        ctx.periodicTimer = -1;
        ctx.timerPeriodMs = 0;
    }
    du_release_held_packet();
    du_cancel_timers();
}

void ControlDevice::flush() {
    du_send_stats_packets();
    auto& ctx = du_context();
    rte_lock(kLockStores);
    ctx.capturedCount = 0;
    ctx.unsentRecords = 0;
    ctx.sequence = 0;
    ctx.listWriteCounters = {};
    rte_unlock(kLockStores);
}

} // namespace quellin
