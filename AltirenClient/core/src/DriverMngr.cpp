#include "AltirenClient/DriverMngr.h"

#include "AltirenClient/ScenarioConversion.h"

#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenClient/StringFormat.h"

#include <ControlSocket/DevicePath.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kClass = "CDriverMngr";
constexpr const char* kNetworkCardsKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
constexpr int kOsNt4 = 4;
constexpr int kOsNt5 = 2000;
constexpr uint32_t kDriverEmulating = 1;

} // namespace

CDriverMngr::CDriverMngr() : m_control(CNuvexControl::Instance()) {}

CDriverMngr::CDriverMngr(INuvexControl& control) : m_control(control) {}

CDriverMngr::CDriverMngr(INuvexControl& control, platform::registry::Registry registry)
    : m_control(control), m_registry(std::move(registry)) {}

bool CDriverMngr::StartupCheck() {
    CLIENT_TRACE_ENTERED(kClass);
    uint32_t state = 0;
    if (m_control.GetStatus(&state) != 0 || state != kDriverEmulating)
        return true;

    int answer = m_pPrompt
                     ? ShowClientMessage(*m_pPrompt, IDS_PREVIOUS_EMULATION_PLAYING,
                                         IDS_CAPTION_WARNING, MB_OKCANCEL | MB_ICONEXCLAMATION)
                     : 0;
    if (answer != IDOK) {
        // The driver is left as it was; the application ends through its message loop.
        if (m_fnPostQuit)
            m_fnPostQuit(0);
        return true;
    }
    if (m_control.ForceDriverReset() == 0)
        return true;
    CLIENT_TRACE(CSTrace::eError, "Failed to reset the driver", kClass);
    if (m_pPrompt)
        ShowClientMessage(*m_pPrompt, IDS_PREVIOUS_EMULATION_RESET_FAILED, IDS_CAPTION_ERROR,
                          MB_OK | MB_ICONERROR);
    return false;
}

int CDriverMngr::GetAdapterCount() {
    CLIENT_TRACE_ENTERED(kClass);
    switch (m_control.OperatingSystemCode()) {
    case kOsNt4:
        return CountNt4Cards();
    case kOsNt5:
        return m_control.DriverAdapterCount();
    default:
        return -1;
    }
}

// Network cards of the NT 4 table, without the driver's own ("QL_..." services).
int CDriverMngr::CountNt4Cards() {
    using namespace platform::registry;
    std::vector<std::string> cards;
    if (m_registry.openKey(Hive::LocalMachine, kNetworkCardsKey) != kSuccess ||
        m_registry.enumSubkeys(Hive::LocalMachine, kNetworkCardsKey, cards) != kSuccess)
        return -1;
    int count = 0;
    for (const std::string& name : cards) {
        if (name.size() > 260)
            continue;
        std::string key =
            std::string(kNetworkCardsKey) + "\\" + std::to_string(std::atoi(name.c_str()));
        std::string service;
        if (m_registry.queryString(Hive::LocalMachine, key, "ServiceName", service) != kSuccess)
            continue;
        if (service.size() > 1000)
            service.resize(1000);
        if (service.find("QL_") != 0)
            ++count;
    }
    return count;
}

void CDriverMngr::ClearNuvexPlayParams(CPlayParams* params) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!params)
        return;
    try {
        FreePlaySamples(**params);
        std::memset(static_cast<void*>(params->get()), 0, sizeof(PlayParameters));
    } catch (...) {
        CLIENT_TRACE(CSTrace::eError, "\n CDriverMngr::ClearNuvexPlayParams Exception ", kClass);
    }
}

void CDriverMngr::ClearAndDefaultPlayParams(CPlayParams* params) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!params)
        return;
    ClearNuvexPlayParams(params);
    m_control.SetDefaultPlayParams(params->get());
}

int CDriverMngr::ConvertTopovelToNuvexPlayParams(const std::string& xml, CPlayParams* params) {
    return params ? CScenarioConverter::ConvertTopovelToNuvexPlayParams(xml, params->get()) : 0;
}

int CDriverMngr::ConvertTopovelToNuvexPlayParams(const std::string& xml, CPlayParams* params,
                                                 const std::string& dtdFolder) {
    return params
               ? CScenarioConverter::ConvertTopovelToNuvexPlayParams(xml, params->get(), dtdFolder)
               : 0;
}

int CDriverMngr::ConvertWSTToNuvexPlayParams(const CWSTScenario& scenario, CPlayParams* params) {
    return params ? CScenarioConverter::ConvertWSTToNuvexPlayParams(scenario, params->get()) : 0;
}

bool CDriverMngr::ConvertImportedScenario(int sourceKind, const CWSTScenario& recording,
                                          const std::string& document, CPlayParams* params,
                                          const std::string& dtdFolder) {
    return params && CScenarioConverter::ConvertImportedScenario(sourceKind, recording, document,
                                                                 params->get(), dtdFolder);
}

int CDriverMngr::Play(PlayParameters* params) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!params)
        return 0;
    // A refused play says why, so that the window never shows an empty or stale text.
    if (m_bPlaying) {
        m_strLastError = GetErrorText(NUVEX_RC_ALREADY_PLAYING);
        return 0;
    }
    if (!IsAdapterPresent()) {
        m_strLastError = GetErrorText(NUVEX_RC_OS_CLASS);
        return 0;
    }
    params->adapterAddress = inet_addr(m_strActiveAdapter.c_str());
    AwaitRelease();
    int rc = m_control.PlayEmulation(params);
    if (rc == 0) {
        m_bPlaying = 1;
        return 1;
    }
    m_strLastError = GetErrorText(rc);
    CLIENT_TRACE(CSTrace::eError, m_strLastError.c_str(), kClass);
    m_bPlaying = 0;
    return 0;
}

int CDriverMngr::Stop() {
    CLIENT_TRACE_ENTERED(kClass);
    AwaitRelease();
    int rc = m_control.StopEmulation();
    if (rc == 0) {
        m_bPlaying = 0;
        return rc;
    }
    m_strLastError = GetErrorText(rc);
    CLIENT_TRACE(CSTrace::eError, m_strLastError.c_str(), kClass);
    // A failed stop lets the library's session go. When the driver cannot be reached (it
    // died with the session) or no longer emulates, nothing is left playing: the playing
    // state ends, so that the user may play again, and the text says what happened.
    uint32_t emulating = 0;
    const int status = m_control.GetStatus(&emulating);
    if (status == NUVEX_RC_NO_DRIVER || (status == 0 && emulating != kDriverEmulating)) {
        m_bPlaying = 0;
        CLIENT_TRACE(CSTrace::eError, "Stop without a live session: the emulation has ended",
                     kClass);
    }
    return rc;
}

bool CDriverMngr::ProbePlayLost(INuvexControl& control) {
    uint32_t emulating = 0;
    // The daemon answers the status request from its own state without fail: a failed
    // request (1) is a call that timed out or a connection that broke under it.
    return control.GetStatus(&emulating) != 0 || emulating != kDriverEmulating;
}

bool CDriverMngr::EndLostPlay() {
    if (!m_bPlaying)
        return false;
    CLIENT_TRACE(CSTrace::eError, "The play was lost with the daemon", kClass);
    m_bPlaying = 0;
    m_strLastError = FormatClientString(IDS_EMULATION_LOST, ControlDevicePath().c_str());
    // Set when the release's work goes, whether it ran or no thread could be made for it.
    auto released = std::make_shared<std::promise<void>>();
    m_release = released->get_future().share();
    ServerRequest::Run<int>(
        nullptr,
        [control = &m_control, released](const std::atomic<bool>&) {
            // The result is that of a stop without a daemon.
            const int rc = control->StopEmulation();
            released->set_value();
            return rc;
        },
        [](int) {});
    return true;
}

void CDriverMngr::AwaitRelease() const {
    if (m_release.valid())
        m_release.wait();
}

std::string CDriverMngr::ControlDevicePath() {
    return quellin::ctlsock::device_path();
}

const char* CDriverMngr::GetErrorText(int code) {
    return NuvexResultText(code);
}
