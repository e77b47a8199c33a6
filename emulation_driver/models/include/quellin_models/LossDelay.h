// Loss and delay decisions for packets entering the WAN section, and the start of
// disconnect and congestion periods on the periodic tick.
#pragma once

#include "quellin_models/Params.h"
#include "quellin_models/Runtime.h"

#include <array>
#include <cstdint>

namespace quellin::models {

inline constexpr uint32_t kLastMsOfDay = 86399999;

// A disconnect or congestion period in ms of the day. It is active while now lies in
// [start, end); a clock of day that restarted at midnight lies before the start, so a
// period capped at the day's last millisecond ends there.
struct Period {
    uint32_t start = 0;
    uint32_t end = 0; // 0: none

    bool active(uint32_t now) const { return end != 0 && start <= now && now < end; }
    // Clears a period that is set but no longer active; returns whether it is active.
    bool refresh(uint32_t now);
};

struct DirectionLossState {
    uint16_t counter = 0; // periodic and burst counter
    uint16_t burstFlag = 0;
    uint16_t burstLength = 0;
};

struct ModelState {
    std::array<DirectionLossState, 2> direction{};
    uint32_t gilbertState = 0; // 0 good, 1 bad
    uint16_t seriesPosition = 0;
    uint64_t seriesStepTime = 0; // us; 0 until first use
    Period disconnect;
    Period congestion;
    uint32_t walkCurrent = 0;    // ms
    uint64_t emulationStart = 0; // us
};

// Load: zero the loss, burst, Gilbert-Elliott, series and period state and take the
// emulation start; a good load also sets the bounded walk to the mean delay.
void load_model_state(ModelState& s, const ModelParams& p, uint64_t nowUs, bool goodLoad);
// Stop: burst flags and both periods cleared.
void stop_model_state(ModelState& s);

// Loss decision for direction 0 (outbound) or 1 (inbound): packet flags, 0 when not lost,
// 0x01 lost by the model, 0x100 lost during a disconnect.
uint16_t du_is_error_packet(ModelState& s, const ModelParams& p, ModelRuntime& rt, int direction);

// Delay in microseconds for the next packet entering the WAN.
uint64_t du_get_next_delay_sample(ModelState& s, const ModelParams& p, ModelRuntime& rt);

// Periodic tick: maybe start a disconnect, then maybe a congestion period.
void du_calc_disconnect_chance(ModelState& s, const ModelParams& p, ModelRuntime& rt);
void du_make_congestion(ModelState& s, const ModelParams& p, ModelRuntime& rt);

// The 1,001 standard normal values scaled by 10,000 that the normal delay picks from.
extern const std::array<int16_t, 1001> kNormalTable;

} // namespace quellin::models
