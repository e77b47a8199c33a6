// What the Basic page decides: the five presets of each kind that the management server
// hands out (or the proxy's built-in ones while offline) beside "No effect", the snapping
// of a released slider to one of its six positions, the chosen values and their labels.
#pragma once

#include <array>
#include <functional>
#include <string>

class CAltirenPagePresetModel {
public:
    enum Kind { kLoss = 0, kLatency = 1, kBandwidth = 2 };
    static constexpr int kKinds = 3;
    // Slot 0 is "No effect", slots 1 to 5 hold the server's values.
    static constexpr int kSlots = 6;
    // Slider units per position; positions run from 0 to 100.
    static constexpr int kStep = 20;
    static constexpr int kMaxPosition = 100;
    static constexpr double kUnrestricted = 4294967295.0;

    // Asks for the reply to GET_PRESET_VALUES; false when the request failed.
    using PresetFetcher = std::function<bool(std::string& reply)>;
    // Through a proxy made for the request.
    static PresetFetcher ServerFetcher();

    // Fetches the presets at once unless told not to (the page asks off the GUI thread
    // and hands the reply to TakeReply).
    explicit CAltirenPagePresetModel(PresetFetcher fetcher = ServerFetcher(), bool fetchNow = true);

    // Asks for the presets and reads the reply; true when presets are held now.
    bool GetPresetsFromServer();
    // Reads what the fetcher brought: fetched false for a failed request. True when
    // presets are held now.
    bool TakeReply(bool fetched, const std::string& reply);
    const PresetFetcher& Fetcher() const { return m_fetcher; }
    // Reads a reply into the slots: the n-th "PV" of a type fills slot n + 1, a surplus
    // beyond five and a TYPE of another name are ignored. False, slots unchanged, for a
    // text that does not parse and for a reply without five values of each kind (a
    // refusal, PERMISSION='NOK', holds none).
    bool ParsePresets(const std::string& reply);
    bool ArePresetsAvailable() const { return m_bPresetsAvailable; }

    // Asks for the presets again while none are held, then back to "No effect".
    void Reset();
    // Back to "No effect" without asking.
    void ResetValues();
    // A slider released at position: the snapped position, whose slot sets the kind's
    // value.
    int OnSliderReleased(Kind kind, int position);
    // The nearest multiple of the step (a remainder of half a step rounds up), within
    // the slider's range.
    static int Snap(int position);

    double GetLoss() const { return m_dLoss; }       // per cent
    double GetLatency() const { return m_dLatency; } // ms
    // Tenths of a Kbps; kUnrestricted for no limit.
    double GetBandwidth() const { return m_dBandwidth; }
    double Preset(Kind kind, int slot) const { return m_presets[kind][slot]; }

    // The label of a kind's chosen value.
    std::string ValueLabel(Kind kind) const;
    static std::string LossLabel(double loss);
    static std::string LatencyLabel(double latency);
    static std::string BandwidthLabel(double bandwidth);

private:
    using Slots = std::array<std::array<double, kSlots>, kKinds>;

    PresetFetcher m_fetcher;
    Slots m_presets{};
    bool m_bPresetsAvailable = false;
    double m_dLoss = 0.0;
    double m_dLatency = 0.0;
    double m_dBandwidth = kUnrestricted;
};
