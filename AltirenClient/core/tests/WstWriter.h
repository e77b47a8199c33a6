// Test-only writer of scenario recording files, laid out by WstLayout.h in the reader's
// order, so that a recording written here reads back field for field.
#pragma once

#include "AltirenClient/WstScenario.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wst_test {

inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    wst::PutU16(b, v);
    out.insert(out.end(), b, b + 2);
}
inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    wst::PutU32(b, v);
    out.insert(out.end(), b, b + 4);
}
template <class Group>
void AppendGroup(std::vector<uint8_t>& out, const Group& g) {
    std::vector<uint8_t> b(Group::kSize, 0);
    g.Encode(b.data());
    out.insert(out.end(), b.begin(), b.end());
}

// The file of `s` with the blocks that `header` announces. Sample arrays come from the
// record's vectors; the recorded group's count is written as it stands, so tests can
// make it disagree with them.
inline std::vector<uint8_t> WriteWst(const CWSTScenario& s, uint32_t header) {
    std::vector<uint8_t> out;
    AppendU32(out, header);
    uint8_t f[4];
    wst::PutF32(f, s.m_head.recordingScale);
    out.insert(out.end(), f, f + 4);
    const uint32_t version = header & wst::kVersionMask;
    if (header & wst::kHasLossBlock)
        AppendGroup(out, s.m_loss);
    if (header & wst::kHasLatency)
        AppendGroup(out, s.m_latency);
    if (header & wst::kHasBandwidth1) {
        AppendGroup(out, s.m_bandwidth[0]);
        AppendU16(out, s.m_head.valueA);
        AppendU16(out, s.m_head.valueB);
    }
    if (header & wst::kHasBandwidth2)
        AppendGroup(out, s.m_bandwidth[1]);
    if (header & wst::kHasRecordedData) {
        AppendGroup(out, s.m_recorded);
        if (header & wst::kHasSamples) {
            for (uint32_t v :
                 {s.m_head.countA, s.m_head.countB, s.m_head.latencyScale, s.m_head.lossScale})
                AppendU32(out, v);
            if (version >= 8) {
                AppendU32(out, s.m_head.kindSetting);
                AppendU32(out, s.m_head.extra[0]);
            }
            AppendU32(out, s.m_head.extra[1]);
            for (int16_t v : s.m_delaySamples)
                AppendU16(out, static_cast<uint16_t>(v));
            for (uint16_t v : s.m_lossSamples)
                AppendU16(out, v);
        }
    } else {
        const std::string& n = s.m_strName;
        if (n.size() < 0xFF) {
            out.push_back(static_cast<uint8_t>(n.size()));
        } else {
            out.push_back(0xFF);
            AppendU16(out, static_cast<uint16_t>(n.size()));
        }
        out.insert(out.end(), n.begin(), n.end());
    }
    if (header & wst::kHasTrailer)
        AppendGroup(out, s.m_trailer);
    if (header & wst::kHasEffectsA)
        AppendGroup(out, s.m_effectsA);
    if (header & wst::kHasEffectsB)
        AppendGroup(out, s.m_effectsB);
    if (header & wst::kHasEffectsC)
        AppendGroup(out, s.m_effectsC);
    if (header & wst::kHasFinalSetting)
        AppendU32(out, s.m_head.finalSetting);
    if (version >= 9) {
        AppendU32(out, s.m_settingsCount);
        if (s.m_settingsCount >= 1 && s.m_settingsCount <= 255)
            AppendGroup(out, s.m_settings);
    }
    return out;
}

// Every settings block present: a settings-mode recording.
constexpr uint32_t kSettingsFile = wst::kVersion | wst::kHasLossBlock | wst::kHasLatency |
                                   wst::kHasBandwidth1 | wst::kHasBandwidth2 | wst::kHasTrailer |
                                   wst::kHasEffectsA | wst::kHasEffectsB | wst::kHasEffectsC |
                                   wst::kHasFinalSetting;
// A recorded file: no latency settings, recorded data with samples.
constexpr uint32_t kRecordedFile = wst::kVersion | wst::kHasBandwidth1 | wst::kHasBandwidth2 |
                                   wst::kHasRecordedData | wst::kHasSamples | wst::kHasTrailer;

// A recording of `n` samples: delay i = base + i, loss i = hundredths.
inline CWSTScenario RecordedScenario(uint32_t n, int16_t base, bool withLoss,
                                     uint16_t lossHundredths = 150) {
    CWSTScenario s;
    s.m_head.mode = 0; // as the reader gives a recorded file
    s.m_loss.kindCode = wst::kLossRecorded;
    s.m_head.recordingScale = withLoss ? wst::kScaleWithLossSamples : -1.0f;
    s.m_recorded.intervalMs = 100;
    s.m_recorded.sampleCount = n;
    for (uint32_t i = 0; i < n; ++i) {
        s.m_delaySamples.push_back(static_cast<int16_t>(base + static_cast<int16_t>(i)));
        if (withLoss)
            s.m_lossSamples.push_back(lossHundredths);
    }
    return s;
}

} // namespace wst_test
