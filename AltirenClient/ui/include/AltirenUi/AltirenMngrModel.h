// What the emulation manager window decides without a widget: the play record it fills
// from the visible page and hands to the driver manager, play and stop with their
// questions, messages and server reports, the Play/Stop gate, the window's own address
// filter and the management server's exclusion from the emulation, the lock of the
// user's controls, exit and reset. It owns the play record, the server proxy, the
// statistics manager and the statistics window manager; the window shows and forwards
// (IManagerView).
#pragma once

#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/DriverMngr.h"
#include "AltirenClient/EmulationFilter.h"
#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenUi/ManagerContext.h"

#include <QObject>

#include <memory>

// What the model asks of the manager window.
class IManagerView {
public:
    virtual ~IManagerView() = default;
    // The window has not been destroyed.
    virtual bool WindowExists() const = 0;
    virtual bool IsWindowVisible() const = 0;
    // The page is the one the window shows.
    virtual bool IsPageShown(const IManagerPage& page) const = 0;
    // Disables (lock) or enables the toolbar's three page buttons.
    virtual void LockPageButtons(bool lock) = 0;
    // The Play/Stop button reads "&Play" while stopped, else "Sto&p".
    virtual void UpdatePlayButton() = 0;
    virtual void Beep() = 0;
};

class CAltirenMngrModel {
public:
    static constexpr unsigned kShutdownReportDelayMs = 1000;

    // Clears and defaults the play record, makes the statistics window manager and keeps
    // the management server out of the record's filter.
    CAltirenMngrModel(const ManagerContext& context, IManagerView& view);
    ~CAltirenMngrModel();
    CAltirenMngrModel(const CAltirenMngrModel&) = delete;
    CAltirenMngrModel& operator=(const CAltirenMngrModel&) = delete;

    // The pages the window made; any may be null.
    void SetPages(IEffectsPage* preset, IEffectsPage* manual, IImportPage* import);
    // The window is laid out: the stopped flag follows the driver manager, and an
    // emulation that still plays starts with the controls locked.
    void OnWindowInitialised();

    // The Play command (button 1002, File > Play, the tray's Play/Stop): through the
    // process-wide gate; a press while a press is still being handled only beeps.
    void OnPlayCommand();
    // The toggle behind the gate.
    void OnPlayStop();
    bool PlayEmulation();
    bool StopEmulation();
    // Exit: stops a playing emulation, reports CLIENT_STOP and, a second later,
    // CLIENT_SHUTDOWN.
    void OnAppExit();
    // A new user: the filter and the three pages back to their start values.
    void ResetUserSettings();

    // The window asks this every kSessionCheckMs while it lives. While playing, the
    // control device is asked off the GUI thread whether the daemon still holds the play,
    // one check at a time. A play that went with the daemon (the control device does not
    // answer, or a restarted daemon holds no play) ends the playing state as a stop that
    // found nothing left does, and the user is told once; Play works again once the
    // daemon is back. An answer for a play that has ended since, or one that comes while
    // a Play or Stop is under way, is dropped. A play that the driver manager ended behind
    // the window (an upgrade) ends it quietly, here.
    void CheckPlaySession();
    // A check started and not yet answered.
    bool IsSessionCheckRunning() const { return m_sessionCheck.IsRunning(); }
    static constexpr int kSessionCheckMs = 1000;

    bool InitPlaySettings();
    bool InitPlaySettingsPreset();
    bool InitPlaySettingsManual();
    bool InitPlaySettingsImport();
    // Latency in ms, loss in per cent, bandwidth in tenths of a Kbps.
    void SetUserEmuEffects(double latency, double loss, double bandwidth);
    void ApplyFilterSettings();
    bool AddServerToExcludeList();
    bool IsAdapterInFilterList();
    void LockUserControls(bool lock);

    // The filter dialog and the options sheet while they run modally, so that the lock
    // reaches them; null otherwise.
    void SetOpenFilterDialog(IFilterDialog* dialog) { m_pFilterDlg = dialog; }
    void SetOpenOptionsSheet(IOptionsSheet* sheet) { m_pOptionsSheet = sheet; }

    bool IsStopped() const { return m_bStopped; }
    CEmulationFilter& GetFilter() { return m_filter; }
    CPlayParams& GetPlayParameters() { return m_playParams; }
    CDriverMngr& GetDriver() { return m_driver; }
    CAltirenStatisticsManager& GetStatisticsManager() { return m_statistics; }
    // Null until the statistics windows exist.
    IStatisticGUIManager* GetStatisticGUIManager() const { return m_statisticGUI.get(); }

    // The process-wide Play/Stop gate and the flag of the graph windows' question.
    static bool IsGateOpen();
    static bool IsQuestionOnScreen();

private:
    // One report through a proxy of its own, off the GUI thread; its outcome is not
    // examined.
    void Report(ServerEventType event);
    // The window, the tray, the statistics and the server after a play has ended.
    void EndPlayingState();
    // The answer of the session check started for the play numbered play.
    void OnPlayChecked(unsigned play, bool lost);
    int ShowError(const std::string& text);
    bool TakeEffects(IEffectsPage& page);

    CDriverMngr& m_driver;
    IClientApplication& m_application;
    IPrompt& m_prompt;
    IManagerView& m_view;

    bool m_bStopped = true;
    CAltirenProxy m_proxy;
    IEffectsPage* m_pPresetPage = nullptr;
    IEffectsPage* m_pManualPage = nullptr;
    IImportPage* m_pImportPage = nullptr;
    IFilterDialog* m_pFilterDlg = nullptr;
    IOptionsSheet* m_pOptionsSheet = nullptr;
    CPlayParams m_playParams;
    CAltirenStatisticsManager m_statistics;
    std::unique_ptr<IStatisticGUIManager> m_statisticGUI; // over m_statistics: goes first
    CEmulationFilter m_filter;
    unsigned m_playNumber = 0;  // counts the plays the window has shown
    unsigned m_checkedPlay = 0; // the play the last session check was started for
    ServerRequest::Handle m_sessionCheck;
    QObject m_checkAnswers; // receives the session checks' answers; goes first
};
