// The Basic page of the emulation manager window: three sliders of six positions each
// pick a packet loss, a latency and a bandwidth limit from the server's presets. The page
// shows and forwards; its model holds the presets and the chosen values.
#pragma once

#include "AltirenClient/ServerRequest.h"
#include "AltirenUi/AltirenPagePresetModel.h"
#include "AltirenUi/ManagerPage.h"

#include <QWidget>

#include <array>
#include <vector>

class QLabel;
class QSlider;

class CAltirenPagePreset : public QWidget, public IEffectsPage {
    Q_OBJECT

public:
    // Asks for the presets through fetcher, off the GUI thread while the server is
    // on-line (off-line the proxy's table answers at once); the sliders and Play stay off
    // until they come.
    CAltirenPagePreset(
        QWidget* parent, CPlayButtonSink* sink,
        CAltirenPagePresetModel::PresetFetcher fetcher = CAltirenPagePresetModel::ServerFetcher());

    ~CAltirenPagePreset() override;

    // The maker the application hands to the manager window.
    static EffectsPageFactory Factory();

    QWidget* GetWidget() override { return this; }
    // Disables the sliders, or enables them again when presets are held.
    void Lock(bool lock) override;
    // Asks for the presets again while none are held; every slider back to "No effect".
    void Reset() override;
    // The values follow the sliders: nothing to read.
    bool UpdateData() override { return true; }

    double GetLatency() const override { return m_model.GetLatency(); }
    double GetPacketLoss() const override { return m_model.GetLoss(); }
    double GetBandwidth() const override { return m_model.GetBandwidth(); }

    const CAltirenPagePresetModel& Model() const { return m_model; }
    // The presets have been asked for and not yet come.
    bool IsAskingForPresets() const { return m_presetRequest.IsRunning(); }

protected:
    // Shown, in the window on the screen or in one still hidden: the Play button is on
    // only while presets are held.
    bool event(QEvent* event) override;
    // The page is not closed by itself.
    void closeEvent(QCloseEvent* event) override;

private:
    using Kind = CAltirenPagePresetModel::Kind;

    QWidget* MakeGroup(Kind kind, const char* title, UINT bitmap, UINT sliderId, UINT valueId,
                       UINT firstTickId, const std::array<const char*, 6>& ticks);
    void OnSliderMoved(Kind kind);
    void WriteValueLabels();
    void EnableSliders(bool enable);
    // Asks for the presets while none are held and no request is under way.
    void AskForPresets();
    void OnPresetsChanged();

    CAltirenPagePresetModel m_model;
    ServerRequest::Handle m_presetRequest;
    CPlayButtonSink* m_sink;
    bool m_bLocked = false;
    std::array<QSlider*, CAltirenPagePresetModel::kKinds> m_sliders{};
    std::array<QLabel*, CAltirenPagePresetModel::kKinds> m_values{};
    std::vector<QLabel*> m_ticks;
};
