// A report list of addresses over its rows (CIpListModel): one column per title, each a
// share of the list's width, full-row selection; a header click sorts the rows by their
// address, ascending first and then alternating.
#pragma once

#include "AltirenUi/IpListModel.h"

#include <QTreeWidget>

#include <string>
#include <vector>

class CIpListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CIpListCtrl(CIpListModel& rows, QWidget* parent = nullptr);

    void SetColumns(const std::vector<std::string>& titles);
    // Shows the rows and the selection of the model again.
    void Refresh();
    CIpListModel& Rows() { return m_rows; }

signals:
    void rowSelected(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitColumns();

    CIpListModel& m_rows;
    bool m_bRefreshing = false;
};
