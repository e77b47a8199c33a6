#include "AltirenUi/IpListCtrl.h"

#include <QHeaderView>
#include <QResizeEvent>

CIpListCtrl::CIpListCtrl(CIpListModel& rows, QWidget* parent) : QTreeWidget(parent), m_rows(rows) {
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setUniformRowHeights(true);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int) {
        m_rows.SortByHeaderClick();
        Refresh();
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (m_bRefreshing)
            return;
        m_rows.Select(item ? indexOfTopLevelItem(item) : -1);
        emit rowSelected(m_rows.Selected());
    });
}

void CIpListCtrl::SetColumns(const std::vector<std::string>& titles) {
    QStringList labels;
    for (const std::string& title : titles)
        labels << QString::fromStdString(title);
    setColumnCount(static_cast<int>(labels.size()));
    setHeaderLabels(labels);
    FitColumns();
}

void CIpListCtrl::FitColumns() {
    const int columns = columnCount();
    if (columns <= 0)
        return;
    const int width = viewport()->width() / columns;
    for (int i = 0; i < columns; ++i)
        setColumnWidth(i, width);
}

void CIpListCtrl::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    FitColumns();
}

void CIpListCtrl::Refresh() {
    m_bRefreshing = true;
    clear();
    for (const CIpListModel::Row& row : m_rows.Rows()) {
        auto* item = new QTreeWidgetItem(this);
        for (size_t i = 0; i < row.cells.size(); ++i)
            item->setText(static_cast<int>(i), QString::fromStdString(row.cells[i]));
        item->setData(0, Qt::UserRole, QVariant::fromValue(row.data));
    }
    const int selected = m_rows.Selected();
    if (QTreeWidgetItem* item = selected >= 0 ? topLevelItem(selected) : nullptr) {
        setCurrentItem(item);
        item->setSelected(true);
        scrollToItem(item);
    }
    m_bRefreshing = false;
}
