#include "AltirenClient/WstScenario.h"

#include "AltirenClient/SmoothGraph.h"

#include "ByteReader.h"
#include "ScenarioTrace.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

const char* const kClass = "CWSTScenario";

struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace

void CWSTScenario::Clear() {
    m_head = {};
    m_head.recordingScale = 0;
    m_head.mode = m_head.valueA = m_head.valueB = 0;
    m_head.latencyScale = m_head.lossScale = m_head.kindSetting = 0;
    m_loss = {};
    std::vector<uint8_t> zero(wst::SettingsBlock::kSize, 0);
    m_latency.Decode(zero.data());
    for (auto& bw : m_bandwidth)
        bw.Decode(zero.data());
    m_strName.clear();
    m_recorded.Decode(zero.data());
    m_delaySamples.clear();
    m_lossSamples.clear();
    m_trailer.Decode(zero.data());
    m_effectsA.Decode(zero.data());
    m_effectsB.Decode(zero.data());
    m_effectsC.Decode(zero.data());
    m_settingsCount = 0;
    m_settings.Decode(zero.data());
}

void CWSTScenario::Default() {
    m_head = {};
    m_loss = {};
    m_loss.kindCode = wst::kLossNone;
    m_latency = {};
    m_bandwidth[0] = m_bandwidth[1] = {};
    m_strName.clear();
    m_recorded = {};
    m_delaySamples = {};
    m_lossSamples = {};
    m_trailer = {};
    m_effectsA = {};
    m_effectsB = {};
    m_effectsC = {};
    m_settingsCount = 0;
    m_settings = {};
}

bool CWSTScenario::ReadWSTdata(const std::string& path) {
    SCN_TRACE(1, "Entered Method", kClass, "ReadWSTdata");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_strLastError = "Cannot open the file.";
        SCN_TRACE(3, m_strLastError.c_str(), kClass, "ReadWSTdata");
        Default();
        return false;
    }
    std::vector<uint8_t> bytes;
    char buf[65536];
    while (in) {
        in.read(buf, sizeof buf);
        bytes.insert(bytes.end(), buf, buf + in.gcount());
        if (bytes.size() > kMaxFileSize) {
            m_strLastError = "File too large for a recording.";
            SCN_TRACE(3, m_strLastError.c_str(), kClass, "ReadWSTdata");
            Default();
            return false;
        }
    }
    return ReadWSTbytes(bytes);
}

bool CWSTScenario::ReadDownloadedWST(const std::string& tempPath) {
    const bool ok = ReadWSTdata(tempPath);
    std::remove(tempPath.c_str());
    if (ok)
        SmoothDelaySamples();
    return ok;
}

void CWSTScenario::SmoothDelaySamples() {
    std::vector<int> slots(m_delaySamples.begin(), m_delaySamples.end());
    if (SmoothGraphArray(static_cast<unsigned>(slots.size()), slots.data()) == 0)
        return;
    for (size_t i = 0; i < slots.size(); ++i)
        m_delaySamples[i] = static_cast<int16_t>(static_cast<uint16_t>(slots[i] & 0xFFFF));
}

bool CWSTScenario::ReadWSTbytes(const std::vector<uint8_t>& bytes) {
    m_strLastError.clear();
    try {
        Parse(bytes);
        return true;
    } catch (const Refused& e) {
        m_strLastError = e.what();
    } catch (const std::exception& e) {
        m_strLastError = std::string("Internal Exception. ") + e.what();
        SCN_TRACE(3, "Internal Exception.", kClass, "ReadWSTdata");
    }
    Default();
    return false;
}

void CWSTScenario::Parse(const std::vector<uint8_t>& bytes) {
    auto refuse = [](const char* text) {
        SCN_TRACE(3, text, kClass, "ReadWSTdata");
        throw Refused(text);
    };
    CByteReader r(bytes.data(), bytes.size());
    const uint32_t header = r.U32();
    const uint32_t version = header & wst::kVersionMask;
    if (version != wst::kVersion && version != wst::kVersionExtended)
        refuse("Unsupported WST version");
    if (header & wst::kHasStatistics)
        refuse("Included statistics data.");

    Default();
    m_head.recordingScale = r.F32();
    // A file without latency settings is a recorded one.
    m_head.mode = (header & wst::kHasLatency) ? 1 : 0;
    if (header & wst::kHasLossBlock)
        m_loss.Decode(r.Take(wst::LossWords::kSize));
    else
        m_loss.kindCode = (header & wst::kHasLatency) ? wst::kLossNone : wst::kLossRecorded;
    if (header & wst::kHasLatency)
        m_latency.Decode(r.Take(wst::LatencyGroup::kSize));
    const bool old = version < 10;
    const size_t bwSize = old ? wst::BandwidthGroup::kOldSize : wst::BandwidthGroup::kSize;
    if (header & wst::kHasBandwidth1) {
        m_bandwidth[0].Decode(r.Take(bwSize), old);
        m_head.valueA = r.U16();
        m_head.valueB = r.U16();
    }
    if (header & wst::kHasBandwidth2)
        m_bandwidth[1].Decode(r.Take(bwSize), old);
    if (header & wst::kHasRecordedData) {
        m_recorded.Decode(r.Take(wst::RecordedDataGroup::kSize));
        if (header & wst::kHasSamples) {
            m_head.countA = r.U32();
            m_head.countB = r.U32();
            m_head.latencyScale = r.U32();
            m_head.lossScale = r.U32();
            if (version >= 8) {
                m_head.kindSetting = r.U32();
                m_head.extra[0] = r.U32();
            }
            m_head.extra[1] = r.U32();
            const uint32_t count = m_recorded.sampleCount;
            if (count > wst::kMaxSamples)
                refuse("Sample count exceeds the recording's limit.");
            const bool withLoss = m_head.recordingScale == wst::kScaleWithLossSamples;
            const size_t need = size_t{count} * 2 * (withLoss ? 2 : 1);
            if (need > r.Remaining())
                refuse("Sample count exceeds the file's size.");
            m_delaySamples.resize(count);
            for (auto& s : m_delaySamples)
                s = static_cast<int16_t>(r.U16());
            if (withLoss) {
                m_lossSamples.resize(count);
                for (auto& s : m_lossSamples)
                    s = r.U16();
            }
        }
    } else {
        m_strName = r.String();
    }
    if (header & wst::kHasTrailer)
        m_trailer.Decode(r.Take(wst::TrailerGroup::kSize));
    if (header & wst::kHasEffectsA)
        m_effectsA.Decode(r.Take(wst::EffectsGroupA::kSize));
    if (header & wst::kHasEffectsB)
        m_effectsB.Decode(r.Take(wst::EffectsGroupB::kSize));
    if (header & wst::kHasEffectsC)
        m_effectsC.Decode(r.Take(wst::EffectsGroupC::kSize));
    if (header & wst::kHasFinalSetting)
        m_head.finalSetting = r.U32();
    if (version >= 9) {
        m_settingsCount = r.U32();
        if (m_settingsCount >= 1 && m_settingsCount <= 255) {
            m_settings.Decode(r.Take(wst::SettingsBlock::kSize));
            if (m_settings.filterCount > wst::kMaxFilters)
                refuse("Filter count above 11.");
        } else {
            m_settingsCount = 0;
        }
    }
}
