#include "AltirenUi/StatisticGUIManager.h"

#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/StatisticGrafWindow.h"
#include "AltirenUi/StatisticListDlg.h"

#include <exception>

namespace {
constexpr const char* kClass = "CStatisticGUIManager";
} // namespace

CStatisticGUIManager::CStatisticGUIManager(const StatisticGUIContext& context)
    : m_pStatManager(context.statistics), m_context(context),
      m_pListDlg(std::make_unique<CStatisticListDlg>()) {
    CLIENT_TRACE_ENTERED(kClass);
    m_pListDlg->SetStatisticsManager(m_pStatManager);
    m_pListDlg->SetFilter(context.statisticsFilter);
    m_pListDlg->SetActiveAdapterSource(context.activeAdapterAddress);
    if (m_pStatManager)
        m_pStatManager->AddConsumer(this);
}

CStatisticGUIManager::~CStatisticGUIManager() {
    CLIENT_TRACE_ENTERED(kClass);
    RemoveAllStatWindows();
    // The list goes before the rest of the manager, without telling it.
    m_pListDlg->SetListListener(nullptr);
    m_pListDlg.reset();
    if (m_pStatManager)
        m_pStatManager->RemoveConsumer(this);
}

StatisticGUIManagerFactory CStatisticGUIManager::Factory() {
    return [](const StatisticGUIContext& context) -> std::unique_ptr<IStatisticGUIManager> {
        return std::make_unique<CStatisticGUIManager>(context);
    };
}

void CStatisticGUIManager::OnEmulationPlayed(bool show) {
    CLIENT_TRACE_ENTERED(kClass);
    ClearStatistics();
    RemoveAllStatWindows();
    if (!m_pStatManager || !m_pStatManager->StartPoll()) {
        if (m_context.prompt)
            ShowClientMessage(*m_context.prompt, IDS_STATISTICS_FAILED, IDS_CAPTION_ERROR,
                              MB_OK | MB_ICONERROR);
        return;
    }
    if (show)
        ShowStatistics(true);
}

void CStatisticGUIManager::OnEmulationStopped() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_pStatManager)
        m_pStatManager->StopPoll();
    if (m_pListDlg->IsWindowCreated())
        m_pListDlg->StopTimer();
    for (const auto& [key, window] : m_graphWindows)
        if (window->IsWindowCreated())
            window->StopTimer();
}

void CStatisticGUIManager::ShowStatistics(bool clear) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!m_pListDlg->IsWindowCreated()) {
        if (!m_pListDlg->Create())
            return;
        m_pListDlg->SetListListener(this);
    }
    if (clear)
        m_pListDlg->ClearWindow();
    m_pListDlg->showNormal();
    m_pListDlg->raise();
    m_pListDlg->activateWindow();
    m_pListDlg->StartTimer();
}

bool CStatisticGUIManager::IsListVisible() const {
    return m_pListDlg->IsWindowCreated() && m_pListDlg->isVisible();
}

bool CStatisticGUIManager::HasGraphWindowsOpen() const {
    return !m_graphWindows.empty();
}

void CStatisticGUIManager::ClearStatistics() {
    CLIENT_TRACE_ENTERED(kClass);
    try {
        if (m_pListDlg->IsWindowCreated())
            m_pListDlg->ClearWindow();
        for (const auto& [key, window] : m_graphWindows)
            if (window->IsWindowCreated())
                window->ClearWindow();
    } catch (const std::exception&) {
        CLIENT_TRACE(CSTrace::eError, "Exception", kClass);
    }
}

void CStatisticGUIManager::RemoveAllStatWindows() {
    CLIENT_TRACE_ENTERED(kClass);
    m_bRemoving = true;
    try {
        for (auto& [key, window] : m_graphWindows) {
            if (window->IsWindowCreated()) {
                window->StopTimer();
                window->DestroyWindow();
            }
            delete window;
            --m_nWindowCounter;
        }
    } catch (const std::exception&) {
        CLIENT_TRACE(CSTrace::eError, "Exception", kClass);
    }
    m_graphWindows.clear();
    m_bRemoving = false;
}

void CStatisticGUIManager::OnWindowDestroyed(const std::string& key) {
    if (m_bRemoving)
        return;
    auto it = m_graphWindows.find(key);
    if (it == m_graphWindows.end())
        return;
    CStatisticGrafWindow* window = it->second;
    m_graphWindows.erase(it);
    --m_nWindowCounter;
    // Called from inside the window's own going: free it once that is over.
    window->deleteLater();
}

void CStatisticGUIManager::OnListDataRequest(const StatisticsParam& param) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!m_context.isPlaying || !m_context.isPlaying()) {
        if (m_context.prompt)
            ShowClientMessage(*m_context.prompt, IDS_GRAPH_IN_STOP_MODE, IDS_CAPTION_ERROR,
                              MB_OK | MB_ICONERROR);
        return;
    }
    const std::string key = GraphWindowKey(param);
    CStatisticGrafWindow* window = FindGraphWindow(key);
    if (!window) {
        // Only a new window counts against the limit: an open one is still raised.
        if (m_nWindowCounter >= kMaxStatWindowCounter) {
            CLIENT_TRACE(CSTrace::eWarning, " > _MAX_STAT_WINDOW_COUNTER_", kClass);
            return;
        }
        auto made = std::make_unique<CStatisticGrafWindow>();
        made->SetStatisticsManager(m_pStatManager);
        made->SetKey(key);
        if (!made->Create())
            return;
        window = made.release();
        m_graphWindows.emplace(key, window);
        ++m_nWindowCounter;
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
    window->SetListener(&m_graphFace);
    window->StartTimer();
}

void CStatisticGUIManager::OnClearAllDataRequest() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_pStatManager)
        m_pStatManager->ClearStatisticsBuffer();
}

void CStatisticGUIManager::OnClearStatisticsBuffer() {
    ClearStatistics();
}

CStatisticGrafWindow* CStatisticGUIManager::FindGraphWindow(const std::string& key) const {
    auto it = m_graphWindows.find(key);
    return it == m_graphWindows.end() ? nullptr : it->second;
}
