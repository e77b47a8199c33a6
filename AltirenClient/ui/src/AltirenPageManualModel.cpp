#include "AltirenUi/AltirenPageManualModel.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

const CAltirenPageManualModel::BandwidthEntry
    CAltirenPageManualModel::kBandwidths[kBandwidthCount] = {
        {"14.4", 144},     {"28.8", 288},     {"33.6", 336},       {"56.0", 560},
        {"64.0", 640},     {"128.0", 1280},   {"256.0", 2560},     {"512.0", 5120},
        {"768.0", 7680},   {"1544.0", 15440}, {"2048.0", 20480},   {"4096.0", 40960},
        {"6144.0", 61440}, {"8192.0", 81920}, {"10240.0", 102400}, {"Unrestricted", kUnrestricted},
};

namespace {
std::string RangeText(int low, int high) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d - %d)", low, high);
    return text;
}

// The bound a value beyond [low, high] is cut to; none within. A negative zero (a sign
// typed on 0) counts as below: the field shows the 0 that plays.
std::optional<double> Bound(double value, int low, int high) {
    if (value > high)
        return high;
    if (value < low || (low == 0 && std::signbit(value)))
        return low;
    return std::nullopt;
}
} // namespace

void CAltirenPageManualModel::Reset() {
    m_latency = 0.0;
    m_loss = 0.0;
    m_bandwidth = kUnrestricted;
}

std::string CAltirenPageManualModel::LossRangeText() {
    return RangeText(kMinLoss, kMaxLoss);
}

std::string CAltirenPageManualModel::LatencyRangeText() {
    return RangeText(kMinLatency, kMaxLatency);
}

std::string CAltirenPageManualModel::BandwidthRangeText() {
    char text[64];
    std::snprintf(text, sizeof text, "(%.1f - %.1f)", kMinBandwidthKbps, kMaxBandwidthKbps);
    return text;
}

void CAltirenPageManualModel::Warn(const std::string& text) {
    m_prompt.MessageBox(text, LoadClientString(IDS_CAPTION_ERROR), MB_OK | MB_ICONWARNING);
}

void CAltirenPageManualModel::OnBandwidthSelected(int index) {
    if (index >= 0 && index < kBandwidthCount)
        m_bandwidth = kBandwidths[index].value;
}

bool CAltirenPageManualModel::ReadBandwidthText(const std::string& text, double& kbps) {
    int points = 0;
    for (char c : text) {
        if (c == '.') {
            if (++points > 1)
                return false;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    kbps = std::strtod(text.c_str(), nullptr);
    return true;
}

std::optional<int> CAltirenPageManualModel::OnBandwidthEdited(const std::string& text) {
    double kbps = 0;
    if (ReadBandwidthText(text, kbps) && kbps * 10.0 <= kMaxBandwidth) {
        m_bandwidth = kbps * 10.0;
        return std::nullopt;
    }
    Warn(FormatClientString(IDS_INVALID_BANDWIDTH, kMinBandwidthKbps, kMaxBandwidthKbps));
    m_bandwidth = kUnrestricted;
    return kUnrestrictedIndex;
}

std::optional<int> CAltirenPageManualModel::OnBandwidthFocusLost(const std::string& text) {
    if (!text.empty())
        return std::nullopt;
    m_bandwidth = kBandwidths[0].value;
    return 0;
}

std::optional<double> CAltirenPageManualModel::OnLatencyChanged(double value) {
    m_latency = value;
    const std::optional<double> bound = Bound(value, kMinLatency, kMaxLatency);
    if (!bound)
        return std::nullopt;
    WarnLatencyRange();
    m_latency = *bound;
    return m_latency;
}

void CAltirenPageManualModel::OnLatencyDigitRefused() {
    WarnLatencyRange();
}

void CAltirenPageManualModel::WarnLatencyRange() {
    Warn(FormatClientString(IDS_INVALID_LATENCY, kMinLatency, kMaxLatency));
}

std::optional<double> CAltirenPageManualModel::OnLatencyFocusLost(const std::string& text) {
    if (!text.empty())
        return std::nullopt;
    m_latency = 0.0;
    return m_latency;
}

std::optional<double> CAltirenPageManualModel::OnLossChanged(double value) {
    m_loss = value;
    const std::optional<double> bound = Bound(value, kMinLoss, kMaxLoss);
    if (!bound)
        return std::nullopt;
    WarnLossRange();
    m_loss = *bound;
    return m_loss;
}

void CAltirenPageManualModel::OnLossDigitRefused() {
    WarnLossRange();
}

void CAltirenPageManualModel::WarnLossRange() {
    Warn(FormatClientString(IDS_INVALID_PACKET_LOSS, kMinLoss, kMaxLoss));
}
