// The Advanced page of the emulation manager window: a packet loss and a latency typed in
// numeric edits and a bandwidth limit picked from or typed into a list. The page shows
// and forwards; its model checks the values and keeps them.
#pragma once

#include "AltirenUi/AltirenPageManualModel.h"
#include "AltirenUi/ManagerPage.h"

#include <QWidget>

class CNumericEdit;
class QComboBox;
class QLabel;

class CAltirenPageManual : public QWidget, public IEffectsPage {
    Q_OBJECT

public:
    CAltirenPageManual(QWidget* parent, CPlayButtonSink* sink, IPrompt& prompt);

    QWidget* GetWidget() override { return this; }
    // Disables or enables the loss, latency and bandwidth controls.
    void Lock(bool lock) override;
    // Latency 0, loss 0, "Unrestricted", written to the controls with the range labels.
    void Reset() override;
    // The values are kept current by the handlers: nothing to read.
    bool UpdateData() override { return true; }

    double GetLatency() const override { return m_model.GetLatency(); }
    double GetPacketLoss() const override { return m_model.GetPacketLoss(); }
    double GetBandwidth() const override { return m_model.GetBandwidth(); }

protected:
    // Shown, in the window on the screen or in one still hidden: the Play button is
    // enabled whenever the page is shown.
    bool event(QEvent* event) override;
    // The page is not closed by itself.
    void closeEvent(QCloseEvent* event) override;
    // Focus leaving the bandwidth list or the latency edit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WriteRangeLabels();
    void OnBandwidthSelected(int index);
    void OnBandwidthEdited(const QString& text);
    void OnLatencyChanged();
    void OnLossChanged();

    CAltirenPageManualModel m_model;
    CPlayButtonSink* m_sink;
    CNumericEdit* m_loss = nullptr;
    CNumericEdit* m_latency = nullptr;
    QComboBox* m_bandwidth = nullptr;
    QLabel* m_lossRange = nullptr;
    QLabel* m_latencyRange = nullptr;
    QLabel* m_bandwidthRange = nullptr;
};
