#include "quellin_models/LossDelay.h"

#include "quellin_models/Random.h"
#include "quellin_wire/Records.h"

#include <algorithm>

namespace quellin::models {

namespace {

constexpr uint32_t kChanceDraw = 10000;

bool hit(ModelRuntime& rt, int64_t chance) {
    return du_rand(rt, 1, kChanceDraw) <= chance;
}

// Advances the shared series position by the whole intervals passed since its step time.
// Returns the ms passed since the (possibly new) step time.
uint64_t advance_series(ModelState& s, const RecordedSeries& series, uint64_t now) {
    if (s.seriesPosition >= series.count) // a position kept from a longer series
        s.seriesPosition = 0;
    if (s.seriesStepTime == 0)
        s.seriesStepTime = now;
    uint64_t elapsed = (now - s.seriesStepTime) / 1000;
    if (elapsed >= series.interval) {
        s.seriesPosition =
            static_cast<uint16_t>((s.seriesPosition + elapsed / series.interval) % series.count);
        s.seriesStepTime = now;
        elapsed = 0;
    }
    return elapsed;
}

// A delay sample of -1 is missing: the last recorded one before it stands in, 0 when none.
int64_t delay_sample(const RecordedSeries& series, size_t i) {
    for (size_t k = i + 1; k-- > 0;) {
        if (series.delay(k) != -1)
            return series.delay(k);
    }
    return 0;
}

uint64_t ms_to_us(int64_t ms) {
    return ms <= 0 ? 0 : static_cast<uint64_t>(ms) * 1000;
}

uint64_t bounded_walk(ModelState& s, const DelayParams& d, ModelRuntime& rt) {
    const int64_t lo = d.minDelay;
    const int64_t hi = d.maxDelay;
    const int64_t step = d.maxDelayDiff;
    int64_t c = s.walkCurrent;
    auto draw = [&](int64_t upper) {
        return du_rand(rt, 0, static_cast<uint32_t>(std::max<int64_t>(upper, 0)));
    };
    if (step == 0)
        c = lo + draw(hi - lo);
    else if (c < lo + step)
        c = lo + draw(step + c - lo);
    else if (c + step > hi)
        c = c - step + draw(step + hi - c);
    else
        c = c - step + draw(2 * step);
    s.walkCurrent = static_cast<uint32_t>(std::max<int64_t>(c, 0));
    return ms_to_us(s.walkCurrent);
}

uint64_t linear_sweep(const ModelState& s, const DelayParams& d, uint64_t now) {
    const uint64_t span = static_cast<uint64_t>(d.timeSpanSec) * 1000;
    if (span == 0 || d.maxDelay < d.minDelay)
        return ms_to_us(d.minDelay);
    const uint32_t e =
        (static_cast<uint32_t>(now) - static_cast<uint32_t>(s.emulationStart)) / 1000;
    return ms_to_us(d.minDelay + (e % span) * (d.maxDelay - d.minDelay) / span);
}

} // namespace

bool Period::refresh(uint32_t now) {
    if (active(now))
        return true;
    end = 0;
    return false;
}

void load_model_state(ModelState& s, const ModelParams& p, uint64_t nowUs, bool goodLoad) {
    const uint32_t walk = s.walkCurrent;
    s = ModelState{};
    s.walkCurrent = goodLoad ? (p.delay.maxDelay + p.delay.minDelay) / 2 : walk;
    s.emulationStart = nowUs;
}

void stop_model_state(ModelState& s) {
    for (auto& d : s.direction)
        d.burstFlag = 0;
    s.disconnect = {};
    s.congestion = {};
}

uint16_t du_is_error_packet(ModelState& s, const ModelParams& p, ModelRuntime& rt, int direction) {
    DirectionLossState& d = s.direction[direction & 1];
    const LossParams& l = p.loss;
    if (s.disconnect.end == 0 && s.congestion.end == 0 && d.burstFlag == 0 && l.type == 0)
        return 0;

    const uint32_t today = rt.gettimeofday();
    if (s.disconnect.refresh(today))
        return wire::kFlagDisconnectLoss;
    if (s.congestion.refresh(today))
        return hit(rt, p.congestion.peakRandomError) ? wire::kFlagLost : 0;

    if (d.burstFlag != 0) {
        ++d.counter;
        if (d.counter <= d.burstLength)
            return wire::kFlagLost;
        d.counter = 0;
        d.burstFlag = 0;
    }

    const RecordedSeries& series = p.series;
    switch (l.type) {
    case 1:
        if (d.counter < l.every) {
            ++d.counter;
            return 0;
        }
        d.counter = 0;
        return wire::kFlagLost;
    case 2:
        return hit(rt, l.randomly) ? wire::kFlagLost : 0;
    case 3:
        if (!hit(rt, l.burstChance))
            return 0;
        d.burstFlag = 1;
        d.counter = 1;
        d.burstLength = du_rand(rt, l.burstMin, l.burstMax);
        return wire::kFlagLost;
    case 4:
        if (!series.playable())
            return 0;
        advance_series(s, series, rt.gettime());
        return hit(rt, series.loss(s.seriesPosition)) ? wire::kFlagLost : 0;
    case 5:
        if (series.count == 0)
            return 0;
        s.seriesStepTime = rt.gettime();
        s.seriesPosition = static_cast<uint16_t>(du_rand(rt, 1, series.count) - 1);
        return hit(rt, series.loss(s.seriesPosition)) ? wire::kFlagLost : 0;
    case 6: {
        const bool bad = s.gilbertState != 0;
        if (hit(rt, bad ? l.gilbertToGood : l.gilbertToBad))
            s.gilbertState = bad ? 0 : 1;
        return hit(rt, s.gilbertState != 0 ? l.gilbertBad : l.gilbertGood) ? wire::kFlagLost : 0;
    }
    default:
        return 0;
    }
}

uint64_t du_get_next_delay_sample(ModelState& s, const ModelParams& p, ModelRuntime& rt) {
    const DelayParams& d = p.delay;
    if (s.congestion.end != 0 && s.congestion.refresh(rt.gettimeofday()))
        return ms_to_us(p.congestion.constantDelay);

    const RecordedSeries& series = p.series;
    switch (d.type) {
    case 1: {
        const int64_t z = kNormalTable[du_rand(rt, 0, 1000)];
        return ms_to_us(d.minDelay + z * d.jitter / 10000);
    }
    case 2:
        return bounded_walk(s, d, rt);
    case 3: {
        if (!series.playable())
            break;
        const int64_t e = static_cast<int64_t>(advance_series(s, series, rt.gettime()));
        const size_t pos = s.seriesPosition;
        const int64_t a = delay_sample(series, pos);
        const int16_t b = series.delay((pos + 1) % series.count);
        if (b == -1)
            return ms_to_us(a);
        return ms_to_us(a + (b - a) * e / series.interval);
    }
    case 4: {
        if (!series.playable())
            break;
        const uint64_t now = rt.gettime();
        const bool pickedByLoss = p.loss.type == 5 && series.count != 0 && s.seriesStepTime != 0 &&
                                  (now - s.seriesStepTime) / 1000 < series.interval;
        if (!pickedByLoss || s.seriesPosition >= series.count)
            s.seriesPosition = static_cast<uint16_t>(du_rand(rt, 1, series.count) - 1);
        return ms_to_us(delay_sample(series, s.seriesPosition));
    }
    case 5:
        return linear_sweep(s, d, rt.gettime());
    default:
        break;
    }
    return ms_to_us(d.minDelay);
}

namespace {
void maybe_start(Period& period, const PeriodParams& pp, ModelRuntime& rt, uint32_t target) {
    const uint32_t now = rt.gettimeofday();
    if (period.refresh(now) || pp.timeChance == 0)
        return;
    if (du_rand(rt, 1, pp.timeChance) != target)
        return;
    const uint32_t length = du_rand(rt, pp.minLength, pp.maxLength);
    period.start = now;
    period.end = std::min<uint32_t>(now + length, kLastMsOfDay);
}
} // namespace

void du_calc_disconnect_chance(ModelState& s, const ModelParams& p, ModelRuntime& rt) {
    maybe_start(s.disconnect, p.disconnect, rt, p.disconnect.timeChance / 2);
}

void du_make_congestion(ModelState& s, const ModelParams& p, ModelRuntime& rt) {
    maybe_start(s.congestion, p.congestion.period, rt,
                (static_cast<uint32_t>(p.congestion.period.timeChance) + 1) / 2);
}

} // namespace quellin::models
