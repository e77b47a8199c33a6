// The client's application object: single instance, trace log, XML platform, driver and
// adapter checks, registration and log-on with the management server, the upgrade check
// on its timer, the manager window, the main frame and the tray icon; and the services the
// windows ask of the application (adapter check and choice, tray animation, help, About).
//
// Start-up work that asks the process to quit before its event loop runs (the driver
// reset declined, the XML platform failing, a critical upgrade) leaves a sticky quit
// request with its exit code; start-up ends after the step that made it, and the process
// exits with that code without running its loop.
#pragma once

#include "AltirenApp/AppServices.h"
#include "AltirenClient/AdapterTable.h"
#include "AltirenClient/DriverMngr.h"
#include "AltirenClient/IpRules.h"
#include "AltirenUi/ClientApplication.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAltirenClientApp : public QObject, public IClientApplication {
    Q_OBJECT

public:
    static constexpr const char* kClientVersion = "2.5";
    static constexpr const char* kMainWindowTitle = "{2F868024-AD08-4108-8D75-0F9FD9715B9E}";
    static constexpr int kShowRequestState = 5;
    static constexpr uint16_t kNoAdapter = 0xFFFF;
    static constexpr int kOsCode2000 = 2000;
    static constexpr unsigned long kEventId = 0xC0000004;
    // How long the exit waits for server requests and probes still out on their threads.
    static constexpr int kRequestWaitAtExitMs = 3000;

    // arguments: the command line after the program name.
    CAltirenClientApp(const AppServices& services, std::vector<std::string> arguments);
    ~CAltirenClientApp() override;

    // True: run the event loop. False: the process exits with StartupExitCode().
    bool InitInstance();
    // The code the process exits with when InitInstance returned false.
    int StartupExitCode() const;
    // The event loop; the quit request's code, or the loop's.
    int Run();
    // Ends the process's work; returns the exit code to use.
    int ExitInstance(int exitCode);

    // Steps of start-up, public for the tests.
    bool InitDependModules();
    bool OnSetup(bool install);
    void OnCheckUpgrade();
    bool OnUpgradeApplication();
    bool DisplaySplashScreen();
    bool CreateTrayIcon();

    // A quit of the process with the code: sticky; the event loop ends once it runs.
    void RequestQuit(int exitCode);
    std::optional<int> QuitRequest() const { return m_quitCode; }

    // The message boxes: the owner is the given parent when it is a live window, else the
    // manager window when it exists, else none.
    int AltirenMessageBox(UINT textId, UINT captionId, UINT flags, QWidget* parent = nullptr);
    int AltirenMessageBox(const std::string& text, UINT captionId, UINT flags,
                          QWidget* parent = nullptr);
    // One error event with the text in the event log.
    void ReportEvent(const std::string& text);
    // The daemon's control device cannot be reached: says so, with its path.
    void ShowDriverUnreachable();
    // Context help of a control id; true when shown or when the id has no topic.
    bool OnHelpInfo(UINT controlId);

    // IClientApplication.
    bool CheckActiveAdapter(bool interactive) override;
    void ChooseActiveAdapter() override;
    void StartTrayAnimation() override;
    void StopTrayAnimation() override;
    void ShowHelpIndex() override;
    void ShowAbout() override;

    CDriverMngr& DriverMngr() { return *m_driver; }
    IEmulationManager* Manager() const { return m_pManager; }
    const CAdapterTable& Adapters() const { return m_adapters; }
    int16_t AdapterCount() const { return m_nAdapterCount; }
    uint16_t SelectedAdapter() const { return m_nSelectedAdapter; }
    bool IsAdapterSelected() const { return m_bAdapterSelected; }
    bool HandedOver() const { return m_bHandedOver; }
    bool SplashShown() const { return m_bSplashShown; }
    ITrayIcon* Tray() const { return m_tray.get(); }
    QTimer& UpgradeTimer() { return m_upgradeTimer; }
    bool IsUpgradeDeclined() const { return m_bUpgradeDeclined; }

    // The windows, when they are made after the application object.
    void SetWindows(IAppWindows* windows) { m_services.windows = windows; }
    // The seams of the windows other parts of the client build (AppSeams.h).
    void SetManagerSeams(ManagerSeams seams) { m_seams = std::move(seams); }
    // The statistics address filter: the Top Talkers list applies it, the options sheet's
    // statistics page edits it. It lives as long as the process's work (not stored
    // between runs).
    CIpRuleSet& StatisticsFilter() { return m_statisticsFilter; }

private:
    bool SingleInstance();
    bool Registration();
    bool LogOn();
    void ReportStartupFailure(UINT textId);
    int FillAdapterTable();
    bool IsAdapterUsable(long index) const;
    // The first usable adapter's index (its address to the driver manager), or -1.
    int SelectFirstUsable();
    void GiveAddressToDriver(size_t index);
    bool QuitRequested() const { return m_quitCode.has_value(); }
    // Waits, bounded, for the proxy's requests and the on-line probes; false when some
    // still run.
    bool WaitForServerThreads();

    AppServices m_services;
    std::vector<std::string> m_arguments;
    std::unique_ptr<CDriverMngr> m_driver;
    CAdapterTable m_adapters;
    int m_nOsCode = kOsCode2000;
    int16_t m_nAdapterCount = 0;
    uint16_t m_nSelectedAdapter = kNoAdapter;
    bool m_bAdapterSelected = false;
    std::unique_ptr<ITrayIcon> m_tray;
    bool m_bInstanceHeld = false;
    QTimer m_upgradeTimer;
    IEmulationManager* m_pManager = nullptr;
    bool m_bHandedOver = false;
    bool m_bSplashShown = false;
    bool m_bXmlReady = false;
    bool m_bUpgradeRunning = false;
    bool m_bUpgradeDeclined = false;
    bool m_bInLoop = false;
    bool m_bFailed = false;
    std::optional<int> m_quitCode;
    // The client's two address filters have one owner each: the emulation filter is the
    // manager window's (CAltirenMngrModel, edited in place by the filter dialog); the
    // statistics filter is the application's, here, and goes after the seams that refer
    // to it.
    CIpRuleSet m_statisticsFilter;
    ManagerSeams m_seams;
};
