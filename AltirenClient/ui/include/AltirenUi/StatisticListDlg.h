// The "Top Talkers" window: the connections that the statistics manager has seen since
// its last clear, one row each, refreshed on every tick, sorted by a header click, a
// double click asking for the row's graph window and "&Clear All" dropping everything.
#pragma once

#include "AltirenUi/StatisticListModel.h"
#include "AltirenUi/StatisticWindowBase.h"

#include <functional>
#include <string>

class IStatisticListListener;
class QPushButton;
class QTableView;

class CStatisticListDlg : public CStatisticWindowBase {
    Q_OBJECT
public:
    explicit CStatisticListDlg(QWidget* parent = nullptr);
    ~CStatisticListDlg() override;

    // The manager: the listener of the window and of the list's requests.
    void SetListListener(IStatisticListListener* listener);
    // What the list reads when its window is made: the statistics address filter (not
    // owned) and the active adapter's address.
    void SetFilter(const CIpRuleSet* filter) { m_pFilter = filter; }
    void SetActiveAdapterSource(std::function<std::string()> source) {
        m_activeAdapter = std::move(source);
    }

    void OnTimerEvent() override;
    void ClearWindow() override;

    // One refresh; false when the statistics could not be read.
    bool UpdateList();
    // The double click's work on the selected row.
    void OnDblclkStatisticList();
    void OnClearAll();

    CStatisticListModel& Model() { return m_model; }
    QTableView* ListView() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnDestroyWindow() override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The list's viewport narrows when its vertical scroll bar comes: the columns follow.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateHeaderWidth();
    void ShowSortIndicator();

    CStatisticListModel m_model;
    QTableView* m_pList = nullptr;
    QPushButton* m_pClearAll = nullptr;
    IStatisticListListener* m_pListListener = nullptr;
    const CIpRuleSet* m_pFilter = nullptr;
    std::function<std::string()> m_activeAdapter;
};
