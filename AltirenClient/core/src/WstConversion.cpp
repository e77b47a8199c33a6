// Conversion of a downloaded recording into play parameters.
#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/WstScenario.h"

#include "ScenarioTrace.h"

#include <arpa/inet.h>

#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

// A value that does not fit its 16-bit field fails the conversion instead of being cut.
struct DoesNotFit : std::runtime_error {
    using std::runtime_error::runtime_error;
};
uint16_t Fit16(uint32_t v) {
    if (v > 0xFFFF)
        throw DoesNotFit("value does not fit its 16-bit field");
    return static_cast<uint16_t>(v);
}

void ConvertLatency(const CWSTScenario& s, PlayParameters* p) {
    const wst::LatencyGroup& l = s.m_latency;
    if (s.m_head.mode == 0) {
        p->latencyType = 3;
        p->minDelay = p->maxDelay = p->jitter = p->maxDelayDiff = 0;
        return;
    }
    switch (l.kindCode) {
    case wst::kLatencyNormal:
        p->latencyType = 1;
        p->minDelay = p->maxDelay = l.normalAverage;
        p->jitter = l.normalJitter;
        p->maxDelayDiff = 65535;
        break;
    case wst::kLatencyFixed:
        p->latencyType = 0;
        p->minDelay = p->maxDelay = l.fixedLatency;
        p->maxDelayDiff = 65535;
        break;
    case wst::kLatencyUniform:
        p->latencyType = 2;
        p->minDelay = l.uniformMin;
        p->maxDelay = l.uniformMax;
        p->maxDelayDiff = l.changeLimitSwitch ? l.uniformChangeLimit : 0;
        break;
    case wst::kLatencyLinear:
        p->latencyType = 4;
        p->minDelay = l.linearMin;
        p->maxDelay = l.linearMax;
        p->timeSpan = l.linearDuration;
        break;
    default:
        break;
    }
}

// false when a recorded loss estimate cannot be computed.
bool ConvertLoss(const CWSTScenario& s, PlayParameters* p) {
    const uint16_t kind = s.m_loss.kindCode;
    const bool settings = s.m_head.mode != 0;
    // Settings carry hundredths of a percent; a recorded file whole values.
    const wst::LossWords& w = settings ? s.m_loss : s.m_trailer.recordedLoss;
    const double div = settings ? 100.0 : 1.0;
    switch (kind) {
    case wst::kLossNone:
        p->lossType = 0;
        break;
    case wst::kLossPeriodic:
        p->lossType = 1;
        p->lossPeriod = settings ? w.period : static_cast<uint16_t>(w.period ? w.period - 1 : 0);
        break;
    case wst::kLossRandom:
        p->lossType = 2;
        p->randomLoss = w.random / div;
        break;
    case wst::kLossBurst:
        p->lossType = 3;
        p->burstChance = w.burstChance / div;
        p->burstMin = w.burstMin;
        p->burstMax = w.burstMax;
        break;
    case wst::kLossGilbert:
        p->lossType = 5;
        p->gilbertGoodLoss = w.goodLoss / div;
        p->gilbertBadLoss = w.badLoss / div;
        p->gilbertToGood = w.toGood / div;
        p->gilbertToBad = w.toBad / div;
        break;
    case wst::kLossRecorded: {
        if (settings)
            break;
        const float scale = s.m_head.recordingScale;
        if (scale == wst::kScaleWithLossSamples) {
            p->lossType = 4;
            break;
        }
        // The estimate is in hundredths of a percent, capped at 10,000 (100 %).
        double hundredths;
        if (scale == -1.0f) {
            // Estimated from the probes that never came back.
            const double n = s.m_recorded.sampleCount;
            const double lost = s.m_recorded.lostCount;
            if (n <= 0 || lost > n)
                return false;
            hundredths = 10000.0 * (1.0 - std::sqrt((n - lost) / n));
        } else {
            hundredths = static_cast<double>(s.m_head.lossScale) * scale;
        }
        if (!std::isfinite(hundredths) || hundredths < 0)
            return false;
        const double percent = (hundredths > 10000.0 ? 10000.0 : hundredths) / 100.0;
        // Below the smallest chance the driver plays (0.01 %) nothing is lost.
        if (percent < 0.01) {
            p->lossType = 0;
            break;
        }
        p->lossType = 2;
        p->randomLoss = percent;
        break;
    }
    default:
        break;
    }
    return true;
}

// A bandwidth is taken only when ten times it stays below the unlimited mark.
void TakeBandwidth(double value, double& field) {
    if (value * 10.0 < NUVEX_UNLIMITED_BANDWIDTH)
        field = value;
}

void ConvertSide(const wst::BandwidthGroup& g, double& in, double& out, uint16_t& bucketMode,
                 uint16_t& bucketSize, uint32_t& redMin, uint32_t& redMax, uint16_t& overhead) {
    if (g.symmetricSwitch) {
        TakeBandwidth(g.symmetric, in);
        TakeBandwidth(g.symmetric, out);
    } else {
        TakeBandwidth(g.incoming, in);
        TakeBandwidth(g.outgoing, out);
    }
    bucketMode = g.packetModeSwitch ? 1 : 0;
    bucketSize = g.bucketSwitch ? Fit16(g.bucketSize) : 65535;
    if (g.redSwitch && g.bucketSwitch) {
        redMin = g.redMin;
        redMax = g.redMax;
    }
    if (g.overheadSwitch)
        overhead = Fit16(g.overhead);
}

void ConvertEffects(const CWSTScenario& s, PlayParameters* p) {
    const wst::EffectsGroupA& a = s.m_effectsA;
    if (a.outOfOrder.on) {
        p->outOfOrderChance = a.outOfOrder.a;
        p->outOfOrderMinRange = a.outOfOrder.b;
        p->outOfOrderMaxRange = a.outOfOrder.c;
    }
    if (a.duplication.on) {
        p->duplicationChance = a.duplication.a;
        p->duplicationMinBurst = a.duplication.b;
        p->duplicationMaxBurst = a.duplication.c;
    }
    if (a.fragmentation.on) {
        p->fragmentationChance = a.fragmentation.a;
        p->fragmentSize = a.fragmentation.b;
        p->fragmentOrder = a.fragmentation.c;
    }
    const wst::EffectsGroupB& b = s.m_effectsB;
    if (b.bitErrorOn) {
        p->bitErrorMinBurst = b.bitErrorMinBurst;
        p->bitErrorMaxBurst = b.bitErrorMaxBurst;
        p->bitErrorChance = b.bitErrorChance;
    }
    if (b.disconnectOn) {
        p->disconnectChance = b.disconnectChance;
        p->disconnectMinTime = b.disconnectMinTime;
        p->disconnectMaxTime = b.disconnectMaxTime;
    }
    const wst::EffectsGroupC& c = s.m_effectsC;
    if (c.on) {
        p->congestionChance = Fit16(c.chance);
        p->congestionConstantDelay = Fit16(c.constantDelay);
        p->congestionMinDuration = Fit16(c.minDuration);
        p->congestionPeakError = static_cast<double>(c.peakErrorHundredths / 100);
        p->congestionMaxDuration = Fit16(c.maxDuration);
    }
}

bool ConvertFilters(const CWSTScenario& s, PlayParameters* p) {
    const wst::SettingsBlock& f = s.m_settings;
    if (f.filterCount > NUVEX_MAX_FILTERS)
        return false;
    p->filterMode = f.filterMode ? 1 : 0;
    p->filterCount = f.filterCount;
    for (uint32_t i = 0; i < f.filterCount; ++i)
        p->filterAddresses[i] = htonl(f.entries[i].firstAddress);
    return true;
}

bool ConvertSamples(const CWSTScenario& s, PlayParameters* p) {
    const size_t count = s.m_delaySamples.size();
    if (count == 0)
        return true;
    const uint32_t interval = s.m_recorded.intervalMs;
    if (count > wst::kMaxSamples || interval > 0xFFFF)
        return false;
    if (count * (interval / 1000) > 900)
        return false;
    const uint32_t latencyFactor = s.m_head.latencyScale / 100;
    auto delay = std::make_unique<uint32_t[]>(count);
    for (size_t i = 0; i < count; ++i) {
        const int16_t v = s.m_delaySamples[i];
        // A product beyond 32 bits keeps the largest value (the checks refuse it) instead
        // of wrapping to a small delay.
        const uint64_t scaled = v < 0 ? 0 : static_cast<uint64_t>(v) * latencyFactor;
        delay[i] = scaled > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(scaled);
    }
    std::unique_ptr<uint32_t[]> loss;
    const bool withLoss =
        s.m_head.recordingScale == wst::kScaleWithLossSamples && s.m_lossSamples.size() == count;
    if (withLoss) {
        loss = std::make_unique<uint32_t[]>(count);
        const double factor = s.m_head.lossScale / 100.0;
        for (size_t i = 0; i < count; ++i) {
            const double v = factor * (s.m_lossSamples[i] / 100.0);
            loss[i] = v > 10000.0 ? 10000u : static_cast<uint32_t>(v);
        }
    }
    p->sampleCount = static_cast<uint16_t>(count);
    p->sampleInterval = static_cast<uint16_t>(interval);
    p->recordedKind = s.m_head.kindSetting ? 1 : 2;
    p->latencyType = 3;
    // The new series replace the old ones as a set: their lengths are the new count.
    FreePlaySamples(*p);
    p->delaySamples = delay.release();
    if (withLoss) {
        p->lossType = 4;
        p->lossSamples = loss.release();
    }
    return true;
}

} // namespace

void CScenarioConverter::ClearAndDefault(PlayParameters* params) {
    if (!params)
        return;
    FreePlaySamples(*params);
    *params = PlayParameters{};
    NuvexSetDefaultPlayParams(params);
}

int CScenarioConverter::ConvertWSTToNuvexPlayParams(const CWSTScenario& s, PlayParameters* params) {
    CONVERSION_TRACE(1, "Entered Method", "ConvertWSTToNuvexPlayParams");
    if (!params)
        return 0;
    try {
        ClearAndDefault(params);
        ConvertLatency(s, params);
        if (!ConvertLoss(s, params))
            return 0;
        ConvertSide(s.m_bandwidth[0], params->eastInBandwidth, params->eastOutBandwidth,
                    params->eastBucketMode, params->eastBucketSize, params->eastRedMinThreshold,
                    params->eastRedMaxThreshold, params->eastOverhead);
        ConvertSide(s.m_bandwidth[1], params->westInBandwidth, params->westOutBandwidth,
                    params->westBucketMode, params->westBucketSize, params->westRedMinThreshold,
                    params->westRedMaxThreshold, params->westOverhead);
        ConvertEffects(s, params);
        if (!ConvertFilters(s, params) || !ConvertSamples(s, params))
            return 0;
    } catch (const std::exception& e) {
        CONVERSION_TRACE(3, e.what(), "ConvertWSTToNuvexPlayParams");
        return 0;
    }
    CONVERSION_TRACE(1, "Exited Method", "ConvertWSTToNuvexPlayParams");
    return 1;
}
