// The client's one gate to the emulation control library: checks the driver at start-up,
// counts the driver's adapters, plays and stops emulations and turns the library's result
// codes into texts for the user.
#pragma once

#include "AltirenClient/NuvexControl.h"
#include "AltirenClient/PlayParams.h"
#include "AltirenClient/Prompt.h"

#include <platform/Registry.h>

#include <functional>
#include <future>
#include <string>

class CWSTScenario;

class CDriverMngr {
public:
    // Over the control library's exports and the registry store of the process.
    CDriverMngr();
    explicit CDriverMngr(INuvexControl& control);
    CDriverMngr(INuvexControl& control, platform::registry::Registry registry);
    virtual ~CDriverMngr() = default;
    CDriverMngr(const CDriverMngr&) = delete;
    CDriverMngr& operator=(const CDriverMngr&) = delete;

    // Where the start-up check asks the user and how it ends the application (the
    // quit request carries the exit code).
    void SetPrompt(IPrompt* prompt) { m_pPrompt = prompt; }
    void SetQuitHandler(std::function<void(int)> postQuit) { m_fnPostQuit = std::move(postQuit); }

    // Start-up: false stops the application's start. When the driver still plays an
    // earlier emulation, asks whether to stop it (OK resets the driver) or to quit
    // (Cancel requests quit with 0 and lets the start go on to the message loop). Without
    // a prompt the question counts as Cancel.
    bool StartupCheck();

    // Adapters the driver serves: > 0 means present. -1 when they cannot be counted.
    int GetAdapterCount();
    bool IsAdapterPresent() { return GetAdapterCount() > 0; }

    // Frees the record's sample arrays and zeroes the record. The records that the manager
    // clears and converts are owned ones (CPlayParams), value-initialised from the start,
    // so the first clear never frees a stray pointer.
    void ClearNuvexPlayParams(CPlayParams* params);
    // Clear, then the library's defaults.
    void ClearAndDefaultPlayParams(CPlayParams* params);

    // The scenario conversions (CScenarioConverter): 1 success, 0 failure, 1008 for a
    // document whose network objects cannot be counted. A failed conversion leaves the
    // record partly filled: it must not be played.
    int ConvertTopovelToNuvexPlayParams(const std::string& xml, CPlayParams* params);
    int ConvertTopovelToNuvexPlayParams(const std::string& xml, CPlayParams* params,
                                        const std::string& dtdFolder);
    int ConvertWSTToNuvexPlayParams(const CWSTScenario& scenario, CPlayParams* params);
    // The import page's scenario by its source kind (0 recording, 1 document): true only
    // when the conversion succeeded.
    bool ConvertImportedScenario(int sourceKind, const CWSTScenario& recording,
                                 const std::string& document, CPlayParams* params,
                                 const std::string& dtdFolder);

    // 1 when the emulation plays, 0 otherwise (the reason is in the last error text).
    int Play(PlayParameters* params);
    // The control library's result, 0 when the emulation stopped. A failed stop sets the
    // last error text (what happened) and keeps the playing flag while the driver still
    // emulates; when the driver cannot be reached or is idle there is no session left to
    // stop, and the playing flag is cleared so that the user can play again.
    int Stop();

    bool IsPlaying() const { return m_bPlaying != 0; }

    // The play check in two halves, so that its wait on the control device can run off
    // the GUI thread.
    //
    // Whether a play is gone with the daemon: the control device cannot be reached, does
    // not answer the status request within the library's call timeout (a daemon that
    // hangs with its socket open) or drops it, or the driver no longer emulates (a daemon
    // restarted under the play holds none). Calls only the library's status request, which
    // opens a connection of its own, and reads nothing of a manager: safe on any thread.
    static bool ProbePlayLost(INuvexControl& control);
    // The control library the manager calls (the probe's, on another thread).
    INuvexControl& GetControl() const { return m_control; }
    // After a probe found the play lost: ends it as a stop that found nothing left. The
    // playing flag clears (Play works again once the daemon is back), the last error text
    // says what happened, and what the library still holds of the session is let go on a
    // thread of its own, since a hung daemon holds that stop for the library's call
    // timeouts. False when nothing played.
    bool EndLostPlay();
    // Waits until a lost session has been let go. Play and Stop wait first, so that the
    // release never stops a later play.
    void AwaitRelease() const;
    // The path of the daemon's control device, for the user's messages.
    static std::string ControlDevicePath();
    const std::string& GetLastErrorText() const { return m_strLastError; }

    // The selected adapter's dotted IPv4 address (set by the application's adapter check).
    void SetActiveAdapterAddress(const std::string& address) { m_strActiveAdapter = address; }
    const std::string& GetActiveAdapterAddress() const { return m_strActiveAdapter; }

    // The text of a control library result code ("Unknown" for codes without one).
    static const char* GetErrorText(int code);

private:
    int CountNt4Cards();

    int m_bPlaying = 0;
    std::shared_future<void> m_release; // the stop of a lost session, while it runs
    std::string m_strLastError;
    std::string m_strActiveAdapter;

    INuvexControl& m_control;
    platform::registry::Registry m_registry;
    IPrompt* m_pPrompt = nullptr;
    std::function<void(int)> m_fnPostQuit;
};
