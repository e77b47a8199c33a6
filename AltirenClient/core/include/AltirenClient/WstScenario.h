// The scenario record of a downloaded scenario recording ("wst" file): every group of
// the file (layout in WstLayout.h) and the recorded sample arrays.
#pragma once

#include "AltirenClient/WstLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CWSTScenario {
public:
    // Larger than any recording (65,535 samples of two arrays and every group): a larger
    // file is refused, and a download is abandoned once it passes this size.
    static constexpr size_t kMaxFileSize = 1u << 20;

    CWSTScenario() { Default(); }

    // Zeroes every group and empties the name and the samples.
    void Clear();
    // The defaults of a record that no file has filled.
    void Default();

    // Reads the file into the record; true when it was read. A refused file leaves the
    // record defaulted and its reason in LastError().
    bool ReadWSTdata(const std::string& path);
    // The same over the file's bytes.
    bool ReadWSTbytes(const std::vector<uint8_t>& bytes);
    // For a downloaded temporary file: reads it, fills the gaps of its delay series
    // (SmoothDelaySamples) and removes the file, read or not.
    bool ReadDownloadedWST(const std::string& tempPath);
    // Each delay sample widened with its sign (a stored -1 is a gap), the series filled
    // by SmoothGraphArray, the low 16 bits written back.
    void SmoothDelaySamples();

    const std::string& LastError() const { return m_strLastError; }

    wst::Head m_head;
    wst::LossWords m_loss;
    wst::LatencyGroup m_latency;
    wst::BandwidthGroup m_bandwidth[2]; // East side, West side
    std::string m_strName;
    wst::RecordedDataGroup m_recorded;
    std::vector<int16_t> m_delaySamples; // ms; -1 marks a gap
    std::vector<uint16_t> m_lossSamples; // hundredths of a percent
    wst::TrailerGroup m_trailer;
    wst::EffectsGroupA m_effectsA;
    wst::EffectsGroupB m_effectsB;
    wst::EffectsGroupC m_effectsC;
    uint32_t m_settingsCount = 0;
    wst::SettingsBlock m_settings;

private:
    void Parse(const std::vector<uint8_t>& bytes); // throws on a malformed file

    std::string m_strLastError;
};
