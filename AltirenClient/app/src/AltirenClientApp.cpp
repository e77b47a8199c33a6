#include "AltirenApp/AltirenClientApp.h"

#include "AltirenApp/HelpTopics.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/OnlineProbe.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/EmulationManager.h"
#include "AltirenUi/HelpHook.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <thread>

namespace {

constexpr const char* kClass = "CAltirenClientApp";
using DWORD = CClientSettings::DWORD;
constexpr UINT kTrayAnimationMs = 150;
constexpr UINT kModifyIcon = 2;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

CAltirenClientApp::CAltirenClientApp(const AppServices& services,
                                     std::vector<std::string> arguments)
    : m_services(services), m_arguments(std::move(arguments)) {
    m_driver = m_services.control ? std::make_unique<CDriverMngr>(*m_services.control)
                                  : std::make_unique<CDriverMngr>();
    m_driver->SetPrompt(m_services.prompt);
    m_driver->SetQuitHandler([this](int code) { RequestQuit(code); });
    m_upgradeTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_upgradeTimer, &QTimer::timeout, this, &CAltirenClientApp::OnCheckUpgrade);
}

CAltirenClientApp::~CAltirenClientApp() {
    HelpHook::SetHandler({});
}

void CAltirenClientApp::RequestQuit(int exitCode) {
    if (!m_quitCode)
        m_quitCode = exitCode;
    if (m_bInLoop)
        QCoreApplication::exit(*m_quitCode);
}

bool CAltirenClientApp::InitInstance() {
    CLIENT_TRACE_ENTERED(kClass);
    CClientSettings settings;

    if (!SingleInstance())
        return false;
    if (!InitDependModules() || QuitRequested()) {
        m_bFailed = !QuitRequested();
        return false;
    }

    // The file-name argument: "NO_SPLASH" in any case only suppresses the splash screen.
    std::string argument = m_arguments.empty() ? std::string() : Upper(m_arguments.front());
    if (argument == "NO_SPLASH") {
        m_arguments.erase(m_arguments.begin());
    } else if (!DisplaySplashScreen()) {
        CLIENT_TRACE(CSTrace::eError, "DisplaySplashScreen failed", kClass);
    }

    ManagerContext context;
    context.driver = m_driver.get();
    context.application = this;
    context.prompt = m_services.prompt;
    context.control = m_services.control;
    context.seams = m_seams;
    m_pManager = m_services.windows->CreateManager(context);
    if (!m_pManager) {
        m_bFailed = true;
        return false;
    }
    HelpHook::SetHandler([this](UINT id) { return OnHelpInfo(id); });
    m_services.instance->SetShowHandler([this](int showState) {
        if (m_pManager && m_pManager->GetWindow())
            m_services.windows->ShowManager(showState);
    });

    if (argument == "UNINSTALL") {
        ClientState::SetServerOnline(true);
        OnSetup(false);
        return false;
    }

    if (!m_services.windows->CreateMainFrame(m_pManager)) {
        m_bFailed = true;
        return false;
    }
    m_services.windows->SetMainFrameTitle(kMainWindowTitle);

    if (!Registration()) {
        m_bFailed = true;
        return false;
    }
    OnCheckUpgrade();
    if (QuitRequested())
        return false;
    if (!LogOn()) {
        ReportStartupFailure(IDS_LOGON_FAILED);
        m_bFailed = true;
        return false;
    }

    // As the desktop's timers do, a period below the 10 ms minimum counts as the minimum.
    const DWORD interval = std::clamp<DWORD>(settings.GetUpgradeInterval(), 10, 0x7FFFFFFF);
    m_upgradeTimer.start(static_cast<int>(interval));
    CLIENT_TRACE_EXITED(kClass);
    // The tray decides nothing: where no tray can show the icon, the manager window is
    // shown instead, so that the user can reach the client.
    if (!CreateTrayIcon() || !m_tray->IsTrayAvailable()) {
        CLIENT_TRACE(CSTrace::eWarning, "No tray: showing the manager window", kClass);
        m_services.windows->ExitWithManagerWindow();
        m_services.windows->ShowManager(kShowRequestState);
    }
    return true;
}

bool CAltirenClientApp::SingleInstance() {
    if (m_services.instance->Acquire()) {
        m_bInstanceHeld = true;
        return true;
    }
    // The user's first instance shows its window; a start refused otherwise says why, on
    // the terminal it was started from too.
    const std::string problem = m_services.instance->Problem();
    if (problem.empty()) {
        m_bHandedOver = m_services.instance->SendShowRequest(kShowRequestState);
        if (m_bHandedOver)
            return false;
    }
    const std::string text = problem.empty()
                                 ? LoadClientString(IDS_INSTANCE_NOT_ANSWERING)
                                 : FormatClientString(IDS_INSTANCE_LOCK_FAILED, problem.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    AltirenMessageBox(text, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    m_bFailed = true;
    return false;
}

int CAltirenClientApp::StartupExitCode() const {
    if (m_quitCode)
        return *m_quitCode;
    return m_bFailed ? 1 : 0;
}

int CAltirenClientApp::Run() {
    if (m_quitCode)
        return *m_quitCode;
    m_bInLoop = true;
    const int code = QCoreApplication::exec();
    m_bInLoop = false;
    return m_quitCode ? *m_quitCode : code;
}

bool CAltirenClientApp::InitDependModules() {
    CLIENT_TRACE_ENTERED(kClass);
    // The desktop's application object takes the C library's locale from the user's; the
    // client's number texts are written and read with a point (formats of the string
    // table, typed bandwidths, scenario values). The widgets' own locale is Qt's.
    std::setlocale(LC_NUMERIC, "C");
    CClientSettings settings;
    std::string folder;
    if (settings.bGetTraceFolder(folder))
        CSTrace::SetTraceDir(folder.c_str());
    DWORD level = 0;
    if (!settings.bGetTraceLevel(level))
        level = 0;
    CSTrace::instance()->SetCurrentErrorLevel(static_cast<CSTrace::eTraceSeverity>(level));

    try {
        m_services.xml->Initialize();
        m_bXmlReady = true;
    } catch (...) {
        CLIENT_TRACE(CSTrace::eError, "Failure initialize XML platform.", kClass);
        RequestQuit(1);
    }

    if (!m_driver->StartupCheck())
        return false;
    if (!m_driver->IsAdapterPresent()) {
        AltirenMessageBox(IDS_NO_ADAPTER, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    if (!CheckActiveAdapter(false)) {
        // A daemon that cannot be reached is said so, with where it was looked for.
        if (m_nAdapterCount < 0)
            ShowDriverUnreachable();
        else
            AltirenMessageBox(IDS_NO_VALID_ADAPTER, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    CLIENT_TRACE_EXITED(kClass);
    return true;
}

bool CAltirenClientApp::Registration() {
    CClientSettings settings;
    bool installed = false;
    if (!settings.bGetInstalledStatus(installed) || !installed) {
        OnSetup(true);
        installed = false;
        if (!settings.bGetInstalledStatus(installed) || !installed) {
            ReportStartupFailure(IDS_REGISTER_FAILED);
            return false;
        }
    }
    return true;
}

bool CAltirenClientApp::LogOn() {
    CClientSettings settings;
    bool installed = false;
    if (!settings.bGetInstalledStatus(installed))
        installed = false;
    if (m_services.server->Send(CLIENT_LAUNCH) == "OK")
        return true;
    bool registered = installed;
    if (!installed)
        registered = m_services.server->Send(CLIENT_INSTALL) == "OK";
    const bool launched = m_services.server->Send(CLIENT_LAUNCH) == "OK";
    return registered && launched;
}

void CAltirenClientApp::ReportStartupFailure(UINT textId) {
    CClientSettings settings;
    const std::string text = LoadClientString(textId);
    if (settings.IsBootMessage() && m_services.messageDialog) {
        bool dontShowAgain = false;
        m_services.messageDialog->ShowMessageDialog(text, LoadClientString(IDS_CAPTION_ERROR),
                                                    MB_ICONERROR, dontShowAgain);
        if (dontShowAgain)
            settings.bSetBootMessage(false);
    } else {
        ReportEvent(text);
    }
}

bool CAltirenClientApp::OnSetup(bool install) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!install) {
        m_services.server->Send(CLIENT_UNINSTALL);
        return true;
    }
    std::string reply = m_services.server->Send(CLIENT_INSTALL);
    while (reply != "OK") {
        IOptionsSheet* sheet = m_services.windows->OptionsSheet();
        if (!sheet)
            return false;
        sheet->RequestPages(IOptionsSheet::kPageRegistration | IOptionsSheet::kPageLogin);
        sheet->SetDescription(IDS_SELECT_LOGIN_TYPE);
        QWidget* owner = m_pManager ? m_pManager->GetWindow() : nullptr;
        if (sheet->RunModal(owner) != IDOK)
            return false;
        CClientSettings settings;
        bool installed = false;
        if (settings.bGetInstalledStatus(installed) && installed)
            return true;
        reply = m_services.server->Send(CLIENT_INSTALL);
        if (reply != "OK")
            AltirenMessageBox(IDS_REGISTER_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    }
    CClientSettings settings;
    settings.bSetInstalledStatus(true);
    return true;
}

void CAltirenClientApp::OnCheckUpgrade() {
    if (m_bUpgradeRunning)
        return;
    m_bUpgradeRunning = true;
    const std::string reply = m_services.server->Send(CLIENT_UPGRADE);
    if (reply == "NORMAL" && !m_bUpgradeDeclined) {
        const int answer = AltirenMessageBox(IDS_UPGRADE_AVAILABLE, IDS_CAPTION_INFORMATION,
                                             MB_OKCANCEL | MB_ICONINFORMATION);
        if (answer != IDOK)
            m_bUpgradeDeclined = true;
        else if (OnUpgradeApplication())
            RequestQuit(1);
    } else if (reply == "CRITICAL") {
        if (m_driver->IsPlaying())
            m_driver->Stop();
        if (AltirenMessageBox(IDS_UPGRADE_REQUIRED, IDS_CAPTION_INFORMATION,
                              MB_OK | MB_ICONWARNING) == IDOK)
            OnUpgradeApplication();
        RequestQuit(1);
    }
    m_bUpgradeRunning = false;
}

bool CAltirenClientApp::OnUpgradeApplication() {
    CClientSettings settings;
    std::string server, account;
    if (!settings.bGetServerIP(server, false) || !settings.bGetAccountID(account))
        return false;
    const std::string url =
        "http://" + server + "/Accounts/" + account + "/Downloads/DownLoadClient.php";
    if (m_driver->IsPlaying()) {
        if (AltirenMessageBox(IDS_UPGRADE_WHILE_PLAYING, IDS_CAPTION_WARNING,
                              MB_OKCANCEL | MB_ICONWARNING) != IDOK)
            return false;
        // Stopped through the window, which then shows Play, unlocks its controls and
        // ends the animation; the client may go on when the desktop cannot open the page.
        if (m_pManager && !m_pManager->IsStopped())
            m_pManager->PlayStop();
        if (m_driver->IsPlaying())
            m_driver->Stop();
    }
    return m_services.shell->OpenUrl(url);
}

bool CAltirenClientApp::DisplaySplashScreen() {
    CClientSettings settings;
    std::string program, bitmap;
    if (!settings.bGetSplashExePath(program)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to get splash.exe full path", kClass);
        return false;
    }
    if (!settings.bGetSplashBmpPath(bitmap)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to get splash.bmp full path", kClass);
        return false;
    }
    if (!m_services.shell->StartProgram(program, {std::string("V") + kClientVersion, bitmap})) {
        CLIENT_TRACE(CSTrace::eError, "Failed to run splash screen", kClass);
        return false;
    }
    m_bSplashShown = true;
    return true;
}

bool CAltirenClientApp::CreateTrayIcon() {
    m_tray = m_services.windows->CreateTrayIcon();
    if (!m_tray)
        return false;
    for (UINT id = IDI_TRAY_ANIMATION_FIRST; id <= IDI_TRAY_ANIMATION_LAST; ++id)
        m_tray->AddIconToAnimationList(id);
    m_tray->AddIconToAnimationList(IDI_TRAY_PLAYING);
    return m_tray->bAddIconToTaskBar(IDR_MAINFRAME, LoadClientString(IDS_TRAY_TOOLTIP));
}

void CAltirenClientApp::StartTrayAnimation() {
    if (m_tray)
        m_tray->AnimateIcon(kTrayAnimationMs, true);
}

void CAltirenClientApp::StopTrayAnimation() {
    if (!m_tray)
        return;
    m_tray->AnimateIcon(0, false);
    m_tray->bModifyIconTaskBarProp(kModifyIcon, IDR_MAINFRAME, LoadClientString(IDS_TRAY_TOOLTIP));
}

int CAltirenClientApp::AltirenMessageBox(UINT textId, UINT captionId, UINT flags, QWidget* parent) {
    return AltirenMessageBox(LoadClientString(textId), captionId, flags, parent);
}

int CAltirenClientApp::AltirenMessageBox(const std::string& text, UINT captionId, UINT flags,
                                         QWidget* parent) {
    if (!m_services.prompt)
        return 0;
    QWidget* owner = parent ? parent : (m_pManager ? m_pManager->GetWindow() : nullptr);
    m_services.prompt->SetOwner(owner);
    return m_services.prompt->MessageBox(text, LoadClientString(captionId), flags);
}

void CAltirenClientApp::ShowDriverUnreachable() {
    AltirenMessageBox(
        FormatClientString(IDS_DRIVER_UNREACHABLE, CDriverMngr::ControlDevicePath().c_str()),
        IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
}

void CAltirenClientApp::ReportEvent(const std::string& text) {
    if (m_services.eventLog)
        m_services.eventLog->ReportError(kEventId, text);
}

bool CAltirenClientApp::OnHelpInfo(UINT controlId) {
    const std::string topic = HelpTopics::TopicFor(controlId);
    if (topic.empty())
        return true;
    CClientSettings settings;
    std::string folder;
    if (!settings.bGetHelpFolder(folder))
        return false;
    return m_services.shell->OpenUrl(HelpTopics::TopicPageUrl(folder, topic));
}

void CAltirenClientApp::ShowHelpIndex() {
    CClientSettings settings;
    std::string folder;
    if (settings.bGetHelpFolder(folder))
        m_services.shell->OpenUrl(HelpTopics::IndexUrl(folder));
}

void CAltirenClientApp::ShowAbout() {
    m_services.windows->ShowAbout();
}

int CAltirenClientApp::FillAdapterTable() {
    if (m_nOsCode != kOsCode2000 || !m_services.adapters) {
        m_adapters.Clear();
        return -1;
    }
    return FindAdapters2000(*m_services.adapters, m_adapters);
}

bool CAltirenClientApp::IsAdapterUsable(long index) const {
    return CClientSettings::IsAdapterUsable(m_adapters.Addresses(), index);
}

int CAltirenClientApp::SelectFirstUsable() {
    std::string address;
    return CClientSettings::GetFirstUsableAdapter(m_adapters.Addresses(), address);
}

void CAltirenClientApp::GiveAddressToDriver(size_t index) {
    const std::string address = index < m_adapters.Count() ? m_adapters.At(index).ipAddress : "";
    m_driver->SetActiveAdapterAddress(address);
    ClientState::SetChosenAdapterAddress(address);
}

bool CAltirenClientApp::CheckActiveAdapter(bool interactive) {
    CLIENT_TRACE_ENTERED(kClass);
    m_nOsCode = m_services.control ? m_services.control->OperatingSystemCode() : kOsCode2000;
    const int found = FillAdapterTable();
    m_nAdapterCount = static_cast<int16_t>(std::min<int>(found, CAdapterTable::kMaxAdapters));
    if (m_nAdapterCount <= 0) {
        m_bAdapterSelected = false;
        m_nSelectedAdapter = kNoAdapter;
        m_driver->SetActiveAdapterAddress("");
        ClientState::SetChosenAdapterAddress("");
        // Before a play the user is told why nothing plays: the daemon cannot be reached,
        // or it serves no adapter.
        if (interactive) {
            if (found < 0)
                ShowDriverUnreachable();
            else
                AltirenMessageBox(IDS_NO_VALID_ADAPTER_CHECK, IDS_CAPTION_ERROR,
                                  MB_OK | MB_ICONERROR);
        }
        return false;
    }

    CClientSettings settings;
    DWORD stored = 0;
    if (interactive && !IsAdapterUsable(m_nSelectedAdapter)) {
        AltirenMessageBox(IDS_NO_VALID_ADAPTER_CHECK, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        ChooseActiveAdapter();
        if (!settings.bGetQuellinNumber(stored) || !IsAdapterUsable(static_cast<long>(stored)))
            return false;
        m_nSelectedAdapter = static_cast<uint16_t>(stored);
        GiveAddressToDriver(m_nSelectedAdapter);
        m_bAdapterSelected = true;
        return true;
    }

    if (settings.bGetQuellinNumber(stored))
        m_nSelectedAdapter = static_cast<uint16_t>(std::min<DWORD>(stored, kNoAdapter));

    if (m_nSelectedAdapter != kNoAdapter) {
        if (!IsAdapterUsable(m_nSelectedAdapter)) {
            const int first = SelectFirstUsable();
            if (first < 0)
                return false;
            m_nSelectedAdapter = static_cast<uint16_t>(first);
        }
    } else {
        ChooseActiveAdapter();
        // A choice of an adapter without an address falls back to the first usable one.
        if (settings.bGetQuellinNumber(stored) && IsAdapterUsable(static_cast<long>(stored))) {
            m_nSelectedAdapter = static_cast<uint16_t>(stored);
        } else {
            const int first = SelectFirstUsable();
            if (first < 0)
                return false;
            m_nSelectedAdapter = static_cast<uint16_t>(first);
        }
    }
    GiveAddressToDriver(m_nSelectedAdapter);
    settings.bSetQuellinNumber(m_nSelectedAdapter);
    m_bAdapterSelected = true;
    CLIENT_TRACE_EXITED(kClass);
    return true;
}

void CAltirenClientApp::ChooseActiveAdapter() {
    FillAdapterTable();
    std::optional<size_t> current;
    if (m_nSelectedAdapter != kNoAdapter)
        current = m_nSelectedAdapter;
    std::optional<size_t> chosen = m_services.windows->ChooseAdapter(m_adapters, current);
    if (!chosen || *chosen >= m_adapters.Count())
        return;
    m_nSelectedAdapter = static_cast<uint16_t>(*chosen);
    CClientSettings settings;
    settings.bSetQuellinNumber(m_nSelectedAdapter);
    GiveAddressToDriver(m_nSelectedAdapter);
}

bool CAltirenClientApp::WaitForServerThreads() {
    const auto limit = std::chrono::milliseconds(kRequestWaitAtExitMs);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (CAltirenProxy::LiveRequestCount() > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool probesDone = COnlineProbe::WaitForOutstandingProbes(limit);
    // The windows' requests: a cancelled one ends with its transfer.
    const bool requestsDone = ServerRequest::WaitForOutstanding(limit);
    return probesDone && requestsDone && CAltirenProxy::LiveRequestCount() == 0;
}

int CAltirenClientApp::ExitInstance(int exitCode) {
    CLIENT_TRACE_ENTERED(kClass);
    m_upgradeTimer.stop();
    if (m_bInstanceHeld) {
        m_services.instance->Close();
        m_bInstanceHeld = false;
    }
    if (m_tray) {
        m_tray->RemoveIcon();
        m_tray.reset();
    }
    HelpHook::SetHandler({});
    // The windows and the threads of the probe and the proxy end before the trace log and
    // the HTTP library they use.
    m_services.windows->DestroyWindows();
    m_pManager = nullptr;
    if (!WaitForServerThreads())
        CLIENT_TRACE(CSTrace::eError, "Server threads still running at exit", kClass);
    CLIENT_TRACE_EXITED(kClass);
    CSTrace::Delete();
    if (m_bXmlReady) {
        try {
            m_services.xml->Terminate();
        } catch (...) {
        }
        m_bXmlReady = false;
    }
    return exitCode;
}
