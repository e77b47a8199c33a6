#include "AltirenUi/AltirenMngrModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <Morrane/STrace.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#define MNGR_TRACE(severity, message)                                                              \
    CSTrace::instance()->Trace(severity, message, "CAltirenMngr", __func__, __FILE__, __LINE__)

namespace {

constexpr uint32_t kFilterSlots = NUVEX_MAX_FILTERS;
constexpr uint32_t kModeExclude = 0;
constexpr uint32_t kModeInclude = 1;

// Open at start; closed while a Play command is being handled.
bool g_playStopGateOpen = true;
// Set while the question about closing the graph windows is on the screen.
bool g_graphsQuestionOnScreen = false;

class CFlagScope {
public:
    CFlagScope(bool& flag, bool value) : m_flag(flag), m_restore(flag) { m_flag = value; }
    ~CFlagScope() { m_flag = m_restore; }
    CFlagScope(const CFlagScope&) = delete;
    CFlagScope& operator=(const CFlagScope&) = delete;

private:
    bool& m_flag;
    bool m_restore;
};

} // namespace

CAltirenMngrModel::CAltirenMngrModel(const ManagerContext& context, IManagerView& view)
    : m_driver(*context.driver), m_application(*context.application), m_prompt(*context.prompt),
      m_view(view), m_statistics(context.control ? *context.control : CNuvexControl::Instance()) {
    m_driver.ClearAndDefaultPlayParams(&m_playParams);
    if (context.seams.statisticGUIManager) {
        StatisticGUIContext gui;
        gui.statistics = &m_statistics;
        gui.prompt = &m_prompt;
        gui.isPlaying = [this] { return !m_bStopped; };
        gui.activeAdapterAddress = [this] { return m_driver.GetActiveAdapterAddress(); };
        m_statisticGUI = context.seams.statisticGUIManager(gui);
    }
    AddServerToExcludeList();
}

CAltirenMngrModel::~CAltirenMngrModel() {
    m_sessionCheck.Cancel();
}

void CAltirenMngrModel::SetPages(IEffectsPage* preset, IEffectsPage* manual, IImportPage* import) {
    m_pPresetPage = preset;
    m_pManualPage = manual;
    m_pImportPage = import;
}

// A window made again while an earlier emulation still plays offers Stop: with the
// stopped flag left set, Play would be refused ("already in Play mode") and the user could
// never stop from the window.
void CAltirenMngrModel::OnWindowInitialised() {
    m_bStopped = !m_driver.IsPlaying();
    if (!m_bStopped)
        ++m_playNumber;
    m_view.UpdatePlayButton();
    if (m_driver.IsPlaying())
        LockUserControls(true);
}

bool CAltirenMngrModel::IsGateOpen() {
    return g_playStopGateOpen;
}

bool CAltirenMngrModel::IsQuestionOnScreen() {
    return g_graphsQuestionOnScreen;
}

void CAltirenMngrModel::OnPlayCommand() {
    if (!g_playStopGateOpen) {
        m_view.Beep();
        return;
    }
    CFlagScope closed(g_playStopGateOpen, false);
    OnPlayStop();
}

void CAltirenMngrModel::OnPlayStop() {
    const bool statistics = CClientSettings().IsStatisticsEnabled();
    if (m_bStopped) {
        if (statistics) {
            if (g_graphsQuestionOnScreen)
                return;
            if (m_statisticGUI && m_statisticGUI->HasGraphWindowsOpen()) {
                int answer = 0;
                {
                    CFlagScope asking(g_graphsQuestionOnScreen, true);
                    answer = ShowClientMessage(m_prompt, IDS_CLOSE_GRAPHS, IDS_CAPTION_WARNING,
                                               MB_OKCANCEL | MB_ICONWARNING);
                }
                if (answer != IDOK)
                    return;
            }
        }
        if (!PlayEmulation()) {
            MNGR_TRACE(CSTrace::eError, "Play Emulation Failure");
            return;
        }
        if (statistics && m_statisticGUI)
            m_statisticGUI->OnEmulationPlayed(m_statisticGUI->IsListVisible());
    } else {
        if (!StopEmulation()) {
            MNGR_TRACE(CSTrace::eError, "Stop Emulation Failure");
            return;
        }
        if (m_statisticGUI)
            m_statisticGUI->OnEmulationStopped();
    }
    m_bStopped = !m_bStopped;
    if (!m_bStopped)
        ++m_playNumber;
    m_view.UpdatePlayButton();
}

int CAltirenMngrModel::ShowError(const std::string& text) {
    return m_prompt.MessageBox(text, LoadClientString(IDS_CAPTION_ERROR), MB_OK | MB_ICONERROR);
}

bool CAltirenMngrModel::PlayEmulation() {
    if (!InitPlaySettings()) {
        // A record that a page or a conversion left half filled is never played later
        // (a play while the window is hidden takes the record as it stands).
        m_driver.ClearAndDefaultPlayParams(&m_playParams);
        AddServerToExcludeList();
        ShowError(LoadClientString(IDS_CANNOT_PLAY_PARAMETERS));
        MNGR_TRACE(CSTrace::eError, "Cannot play the emulation due to internal parameters");
        Report(CLIENT_STOP);
        return false;
    }
    if (!m_application.CheckActiveAdapter(true)) {
        Report(CLIENT_STOP);
        MNGR_TRACE(CSTrace::eError, "No valid active adapter");
        return false;
    }
    if (IsAdapterInFilterList()) {
        ShowError(
            FormatClientString(IDS_ADAPTER_IN_FILTER, m_driver.GetActiveAdapterAddress().c_str()));
        MNGR_TRACE(CSTrace::eError, "The active adapter is in the filter list");
        Report(CLIENT_STOP);
        return false;
    }
    if (m_driver.Play(m_playParams.get()) != 1) {
        ShowError(m_driver.GetLastErrorText());
        MNGR_TRACE(CSTrace::eError, m_driver.GetLastErrorText().c_str());
        Report(CLIENT_STOP);
        return false;
    }
    m_application.StartTrayAnimation();
    if (m_view.WindowExists())
        LockUserControls(true);
    return true;
}

bool CAltirenMngrModel::StopEmulation() {
    const int rc = m_driver.Stop();
    if (m_driver.IsPlaying()) {
        ShowError(m_driver.GetLastErrorText());
        MNGR_TRACE(CSTrace::eError, m_driver.GetLastErrorText().c_str());
        return false;
    }
    // A stop that failed although nothing plays any more (the driver went away with the
    // session): the user is told why, and the window returns to its stopped state.
    if (rc != 0)
        ShowError(m_driver.GetLastErrorText());
    if (m_view.WindowExists())
        LockUserControls(false);
    m_application.StopTrayAnimation();
    Report(CLIENT_STOP);
    return true;
}

void CAltirenMngrModel::OnAppExit() {
    if (m_driver.IsPlaying())
        m_driver.Stop();
    // The program ends after these: they are sent in order, here.
    std::string reply;
    m_proxy.GetAltirenResponse(reply, CLIENT_STOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownReportDelayMs));
    m_proxy.GetAltirenResponse(reply, CLIENT_SHUTDOWN);
}

void CAltirenMngrModel::ResetUserSettings() {
    m_filter = CEmulationFilter();
    for (IManagerPage* page :
         {static_cast<IManagerPage*>(m_pPresetPage), static_cast<IManagerPage*>(m_pManualPage),
          static_cast<IManagerPage*>(m_pImportPage)})
        if (page)
            page->Reset();
}

void CAltirenMngrModel::Report(ServerEventType event) {
    // Nothing waits for the answer: a silent server holds only the request's own thread.
    ServerRequest::Run<int>(
        nullptr,
        [event](const std::atomic<bool>&) {
            CAltirenProxy proxy;
            std::string reply;
            return proxy.GetAltirenResponse(reply, event);
        },
        [](int) {});
}

void CAltirenMngrModel::CheckPlaySession() {
    // A Play or Stop under way decides for itself.
    if (m_bStopped || !g_playStopGateOpen)
        return;
    if (!m_driver.IsPlaying()) {
        MNGR_TRACE(CSTrace::eWarning, "The emulation was stopped outside the window");
        EndPlayingState();
        return;
    }
    // A hung daemon holds the status request for the library's call timeout: the next
    // check waits for this one.
    if (m_sessionCheck.IsRunning() && m_checkedPlay == m_playNumber)
        return;
    m_sessionCheck.Cancel();
    const unsigned play = m_checkedPlay = m_playNumber;
    m_sessionCheck = ServerRequest::Run<bool>(
        &m_checkAnswers,
        [control = &m_driver.GetControl()](const std::atomic<bool>&) {
            return CDriverMngr::ProbePlayLost(*control);
        },
        [this, play](bool lost) { OnPlayChecked(play, lost); });
}

void CAltirenMngrModel::OnPlayChecked(unsigned play, bool lost) {
    // A later check asks again when a Play or Stop is under way now.
    if (!lost || play != m_playNumber || m_bStopped || !g_playStopGateOpen)
        return;
    if (!m_driver.EndLostPlay())
        return;
    MNGR_TRACE(CSTrace::eError, m_driver.GetLastErrorText().c_str());
    EndPlayingState();
    // Told once: the window is stopped now, and the check rests until the next play.
    CFlagScope closed(g_playStopGateOpen, false);
    ShowError(m_driver.GetLastErrorText());
}

void CAltirenMngrModel::EndPlayingState() {
    if (m_view.WindowExists())
        LockUserControls(false);
    m_application.StopTrayAnimation();
    Report(CLIENT_STOP);
    if (m_statisticGUI)
        m_statisticGUI->OnEmulationStopped();
    m_bStopped = true;
    m_view.UpdatePlayButton();
}

bool CAltirenMngrModel::InitPlaySettings() {
    if (!m_view.WindowExists() || !m_view.IsWindowVisible())
        return true;
    m_driver.ClearAndDefaultPlayParams(&m_playParams);
    if (m_pPresetPage && m_view.IsPageShown(*m_pPresetPage))
        return InitPlaySettingsPreset();
    if (m_pManualPage && m_view.IsPageShown(*m_pManualPage))
        return InitPlaySettingsManual();
    if (m_pImportPage && m_view.IsPageShown(*m_pImportPage))
        return InitPlaySettingsImport();
    return true;
}

bool CAltirenMngrModel::TakeEffects(IEffectsPage& page) {
    if (!page.UpdateData())
        return false;
    SetUserEmuEffects(page.GetLatency(), page.GetPacketLoss(), page.GetBandwidth());
    ApplyFilterSettings();
    return true;
}

bool CAltirenMngrModel::InitPlaySettingsPreset() {
    return m_pPresetPage && TakeEffects(*m_pPresetPage);
}

bool CAltirenMngrModel::InitPlaySettingsManual() {
    return m_pManualPage && TakeEffects(*m_pManualPage);
}

bool CAltirenMngrModel::InitPlaySettingsImport() {
    if (!m_pImportPage || !m_pImportPage->UpdateData())
        return false;
    std::string dtdFolder;
    if (!CClientSettings().bGetInstallFolder(dtdFolder))
        dtdFolder.clear();
    if (!m_driver.ConvertImportedScenario(m_pImportPage->GetSourceKind(),
                                          m_pImportPage->GetRecording(),
                                          m_pImportPage->GetDocument(), &m_playParams, dtdFolder))
        return false;
    if (m_filter.overrideImported)
        ApplyFilterSettings();
    return true;
}

void CAltirenMngrModel::SetUserEmuEffects(double latency, double loss, double bandwidth) {
    PlayParameters& params = *m_playParams;
    // A fixed delay; a value the 16-bit field cannot hold is cut to its range rather than
    // converted undefinedly (the pages check only the upper bound while typing).
    const double delay = std::isnan(latency) ? 0.0 : std::clamp(latency, 0.0, 65535.0);
    params.latencyType = 0;
    params.minDelay = params.maxDelay = static_cast<uint16_t>(delay);
    if (loss != 0.0) {
        params.lossType = 2;
        params.randomLoss = loss;
    } else {
        params.lossType = 0;
    }
    // The pages keep tenths of a Kbps; the record takes Kbps. The uplink and the downlink
    // are the East gateway's two directions (East out: the station's packets towards the
    // network; East in: the network's towards the station); the West gateway keeps its
    // unlimited defaults.
    const double kbps =
        bandwidth == IEffectsPage::kUnrestrictedBandwidth ? bandwidth : bandwidth / 10.0;
    params.eastOutBandwidth = kbps;
    params.eastInBandwidth = kbps;
    AddServerToExcludeList();
}

void CAltirenMngrModel::ApplyFilterSettings() {
    PlayParameters& params = *m_playParams;
    params.filterCount = 0;
    params.filterMode = static_cast<uint32_t>(m_filter.mode);
    std::fill(std::begin(params.filterAddresses), std::end(params.filterAddresses), 0u);
    // The record has eleven slots: addresses beyond them are left out.
    for (const std::string& address : m_filter.addresses) {
        if (params.filterCount >= kFilterSlots)
            break;
        params.filterAddresses[params.filterCount++] = inet_addr(address.c_str());
    }
    AddServerToExcludeList();
}

bool CAltirenMngrModel::AddServerToExcludeList() {
    if (!CClientSettings().IsExcludeServerIP())
        return true;
    const uint32_t server = m_proxy.GetServerAddressNumber();
    // An address that cannot be read or resolved names no server to keep out; excluding
    // 255.255.255.255 or 0.0.0.0 instead would make the driver refuse every play.
    if (server == 0xFFFFFFFFu || server == 0)
        return true;
    PlayParameters& params = *m_playParams;
    if (params.filterMode == kModeInclude)
        return true;
    const uint32_t network = htonl(server);
    // A server on the active adapter's own address is not emulated anyway; listing it
    // would make every play fail with "cannot be in the filter IP list".
    if (network == inet_addr(m_driver.GetActiveAdapterAddress().c_str()))
        return true;
    const uint32_t used = std::min(params.filterCount, kFilterSlots);
    for (uint32_t i = 0; i < used; ++i)
        if (params.filterAddresses[i] == network)
            return true;
    if (used >= kFilterSlots)
        return false;
    params.filterMode = kModeExclude;
    params.filterAddresses[used] = network;
    params.filterCount = used + 1;
    return true;
}

bool CAltirenMngrModel::IsAdapterInFilterList() {
    const PlayParameters& params = *m_playParams;
    if (params.filterCount == 0)
        return false;
    const uint32_t adapter = inet_addr(m_driver.GetActiveAdapterAddress().c_str());
    const uint32_t used = std::min(params.filterCount, kFilterSlots);
    for (uint32_t i = 0; i < used; ++i)
        if (params.filterAddresses[i] == adapter && params.filterMode == kModeExclude)
            return true;
    return false;
}

void CAltirenMngrModel::LockUserControls(bool lock) {
    for (IManagerPage* page :
         {static_cast<IManagerPage*>(m_pPresetPage), static_cast<IManagerPage*>(m_pManualPage),
          static_cast<IManagerPage*>(m_pImportPage)})
        if (page)
            page->Lock(lock);
    if (m_pFilterDlg)
        m_pFilterDlg->LockEditing(lock);
    if (m_pOptionsSheet)
        m_pOptionsSheet->EnableOkButton(!lock);
    m_view.LockPageButtons(lock);
}
