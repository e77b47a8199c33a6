// What the Advanced page decides without a widget: its three values (latency in ms, loss
// in per cent, bandwidth in tenths of a Kbps), the bandwidth list, the range texts and
// the checks of its handlers, with their messages through the prompt. The page only shows
// what the handlers return.
#pragma once

#include "AltirenClient/Prompt.h"

#include <optional>
#include <string>

class CAltirenPageManualModel {
public:
    struct BandwidthEntry {
        const char* text;
        double value; // tenths of a Kbps
    };
    static constexpr int kBandwidthCount = 16;
    static const BandwidthEntry kBandwidths[kBandwidthCount];
    static constexpr int kUnrestrictedIndex = 15;
    static constexpr double kUnrestricted = 4294967295.0;

    static constexpr int kMinLoss = 0;
    static constexpr int kMaxLoss = 90;
    static constexpr int kMinLatency = 0;
    static constexpr int kMaxLatency = 8000;
    static constexpr double kMinBandwidthKbps = 2.4;
    static constexpr double kMaxBandwidthKbps = 10240.0;
    static constexpr double kMaxBandwidth = 102400.0; // tenths of a Kbps

    explicit CAltirenPageManualModel(IPrompt& prompt) : m_prompt(prompt) {}

    double GetLatency() const { return m_latency; }
    double GetPacketLoss() const { return m_loss; }
    double GetBandwidth() const { return m_bandwidth; }

    // Latency 0, loss 0, bandwidth unrestricted.
    void Reset();

    // Range labels: "(0 - 90)", "(0 - 8000)", "(2.4 - 10240.0)".
    static std::string LossRangeText();
    static std::string LatencyRangeText();
    static std::string BandwidthRangeText();

    // The handlers. Each returns what the controls must show when it is not what they
    // show: the list entry to select, the edit value to write.

    // An entry picked from the list.
    void OnBandwidthSelected(int index);
    // The list's text as typed: digits and at most one '.', at most 10240.0 Kbps.
    // Refused: message 61206, entry kUnrestrictedIndex is to be selected.
    std::optional<int> OnBandwidthEdited(const std::string& text);
    // The list lost the focus: an empty text selects entry 0 ("14.4").
    std::optional<int> OnBandwidthFocusLost(const std::string& text);
    // The latency edit's value changed: above 8000 shows 61207 and the edit becomes 8000;
    // below 0 (a sign typed) shows 61207 and the edit becomes 0, the latency that plays.
    std::optional<double> OnLatencyChanged(double value);
    // The latency edit lost the focus: an empty text becomes 0 (the edit shows "0").
    std::optional<double> OnLatencyFocusLost(const std::string& text);
    // The loss edit's value changed: above 90 shows 61208 and the edit becomes 90; below
    // 0 shows 61208 and the edit becomes 0.
    std::optional<double> OnLossChanged(double value);
    // A digit the edit could not take: the field's message (61207, 61208).
    void OnLatencyDigitRefused();
    void OnLossDigitRefused();

    // A typed bandwidth: only decimal digits and one '.'; its value in Kbps.
    static bool ReadBandwidthText(const std::string& text, double& kbps);

private:
    void Warn(const std::string& text);
    // The field's message: 61207, 61208.
    void WarnLatencyRange();
    void WarnLossRange();

    IPrompt& m_prompt;
    double m_latency = 0.0;
    double m_bandwidth = kUnrestricted;
    double m_loss = 0.0;
};
