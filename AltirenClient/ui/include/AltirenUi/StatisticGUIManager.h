// The statistics windows of the client: the one Top Talkers list and up to 100 graph
// windows, one per connection, keyed by GraphWindowKey. It starts and stops the
// statistics manager with the emulation, clears every window when the statistics are
// dropped, opens or raises a graph window when the list asks for one, and forgets a
// window when it goes.
#pragma once

#include "AltirenUi/StatisticGUIManagerSeam.h"
#include "AltirenUi/StatisticWindowListener.h"

#include <map>
#include <memory>
#include <string>

class CStatisticGrafWindow;
class CStatisticListDlg;

class CStatisticGUIManager : public IStatisticGUIManager,
                             public IStatisticListListener,
                             public IStatisticsConsumer {
public:
    static constexpr int kMaxStatWindowCounter = 100;

    explicit CStatisticGUIManager(const StatisticGUIContext& context);
    ~CStatisticGUIManager() override;
    CStatisticGUIManager(const CStatisticGUIManager&) = delete;
    CStatisticGUIManager& operator=(const CStatisticGUIManager&) = delete;

    // The maker the manager window is given.
    static StatisticGUIManagerFactory Factory();

    void OnEmulationPlayed(bool show) override;
    void OnEmulationStopped() override;
    void ShowStatistics(bool clear) override;
    bool IsListVisible() const override;
    bool HasGraphWindowsOpen() const override;

    // Empties the list and every graph window.
    void ClearStatistics();
    // Destroys every graph window.
    void RemoveAllStatWindows();

    void OnWindowDestroyed(const std::string& key) override;
    void OnListDataRequest(const StatisticsParam& param) override;
    void OnClearAllDataRequest() override;
    void OnClearStatisticsBuffer() override;

    CStatisticListDlg* GetListDialog() const { return m_pListDlg.get(); }
    // The graph window under a key; null when none is open.
    CStatisticGrafWindow* FindGraphWindow(const std::string& key) const;
    int GetGraphWindowCount() const { return m_nWindowCounter; }

private:
    // The listener face handed to the graph windows.
    class CGraphWindowFace : public IStatisticWindowListener {
    public:
        explicit CGraphWindowFace(CStatisticGUIManager& owner) : m_owner(owner) {}
        void OnWindowDestroyed(const std::string& key) override { m_owner.OnWindowDestroyed(key); }

    private:
        CStatisticGUIManager& m_owner;
    };

    int m_nWindowCounter = 0;
    std::map<std::string, CStatisticGrafWindow*> m_graphWindows; // owned
    CAltirenStatisticsManager* m_pStatManager;
    StatisticGUIContext m_context;
    CGraphWindowFace m_graphFace{*this};
    std::unique_ptr<CStatisticListDlg> m_pListDlg;
    bool m_bRemoving = false;
};
