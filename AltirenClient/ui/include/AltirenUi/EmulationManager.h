// The emulation manager window as the application object, the main frame, the tray
// menu and the account option pages reach it (CAltirenMngr implements it).
#pragma once

class QWidget;

class IEmulationManager {
public:
    virtual ~IEmulationManager() = default;

    // The window, to show, raise or hide; null once it has been destroyed.
    virtual QWidget* GetWindow() = 0;
    // The Play/Stop command (tray and main frame); returns true.
    virtual bool PlayStop() = 0;
    // Exit: stops a playing emulation, reports the stop and the shut-down to the server
    // and destroys the window.
    virtual void OnAppExit() = 0;
    // A new user: the window's filter and the three pages back to their start values.
    virtual void ResetUserSettings() = 0;
    // One on-line probe of the management server (force: abandon a probe under way).
    virtual void SetIsServerOnline(bool force) = 0;
    // View > Statistics.
    virtual void ShowStatistics() = 0;
    // Tools > Options...
    virtual void ShowOptions() = 0;
    // No emulation plays (the window's own state; the driver manager has its own).
    virtual bool IsStopped() const = 0;
    // The Play/Stop button is enabled.
    virtual bool IsPlayButtonEnabled() const = 0;
};
