#include "AltirenUi/StatisticListDlg.h"

#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/StatisticWindowListener.h"
#include "AltirenUi/UiResources.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr const char* kClass = "CStatisticListDlg";
// What a header section needs beside its text: margins and the sort indicator.
constexpr int kHeaderPadding = 16;
// The share of the screen that the list takes at most when it first opens.
constexpr double kMostOfTheScreen = 0.92;

// The list width at which the shared-out columns show every header text whole.
int WidthForWholeHeaders(const QFontMetrics& metrics) {
    double sum = 0;
    double factor = 1;
    for (int column = 0; column < CStatisticListModel::kColumnCount; ++column) {
        const int text =
            metrics.horizontalAdvance(QString::fromLatin1(CStatisticListModel::HeaderText(column)));
        const double weighted = text * CStatisticListModel::ColumnWeight(column);
        sum += weighted;
        if (weighted > 0)
            factor = std::max(factor, (text + kHeaderPadding) / weighted);
    }
    return static_cast<int>(std::ceil(sum * factor));
}

} // namespace

CStatisticListDlg::CStatisticListDlg(QWidget* parent)
    : CStatisticWindowBase(IDD_STATISTIC_LIST, parent) {
    setWindowTitle(QStringLiteral("Pramitone - Top Talkers"));

    m_pList = new QTableView(this);
    ControlId::Set(m_pList, IDC_STATISTIC_LIST);
    m_pList->setModel(&m_model);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(false);
    m_pList->setWordWrap(false);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 6);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* header = m_pList->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    // The list sorts itself by its own rule; the header only shows it.
    m_pList->setSortingEnabled(false);
    header->setSortIndicatorShown(true);

    m_pClearAll = new QPushButton(QStringLiteral("&Clear All"), this);
    ControlId::Set(m_pClearAll, IDC_STATISTIC_CLEAR_ALL);
    m_pClearAll->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_pClearAll);
    layout->addLayout(buttons);

    const QMargins margins = layout->contentsMargins();
    int width = WidthForWholeHeaders(QFontMetrics(header->font())) + margins.left() +
                margins.right() + 2 * m_pList->frameWidth() +
                m_pList->verticalScrollBar()->sizeHint().width();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width,
                         static_cast<int>(screen->availableGeometry().width() * kMostOfTheScreen));
    resize(width, 320);

    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        CLIENT_TRACE_ENTERED(kClass);
        m_model.OnColumnClick(column);
        ShowSortIndicator();
    });
    connect(m_pList, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { OnDblclkStatisticList(); });
    connect(m_pClearAll, &QPushButton::clicked, this, [this] { OnClearAll(); });
    m_pList->viewport()->installEventFilter(this);
    HelpHook::Install(this);
    hide();
}

CStatisticListDlg::~CStatisticListDlg() = default;

void CStatisticListDlg::SetListListener(IStatisticListListener* listener) {
    m_pListListener = listener;
    SetListener(listener);
}

bool CStatisticListDlg::OnInitDialog() {
    CLIENT_TRACE_ENTERED(kClass);
    m_model.Clear();
    ShowSortIndicator();
    UpdateHeaderWidth();
    setWindowIcon(UiResources::Icon(IDI_STATISTIC_LIST));
    m_model.SetRowLimit(CClientSettings().GetMaxPairs());
    m_model.SetActiveAdapterAddress(m_activeAdapter ? m_activeAdapter() : std::string());
    m_model.SetFilter(m_pFilter);
    CLIENT_TRACE_EXITED(kClass);
    return true;
}

void CStatisticListDlg::OnDestroyWindow() {
    // The rows go with the window; the next window starts empty.
    m_model.Clear();
}

void CStatisticListDlg::OnTimerEvent() {
    UpdateList();
}

void CStatisticListDlg::ClearWindow() {
    CLIENT_TRACE_ENTERED(kClass);
    m_model.Clear();
}

bool CStatisticListDlg::UpdateList() {
    if (!m_pStatManager)
        return false;
    StatisticsMap map;
    std::string time;
    if (!m_pStatManager->GetLastSecondStatistics(map, time)) {
        CLIENT_TRACE(CSTrace::eError, "Fail to get LastSecondStatistics", kClass);
        return false;
    }
    if (map.empty())
        return true;
    // The connections shown before, to trace each one the list starts showing as its
    // first three columns read (the list sorts new rows in among the others).
    auto shown = [](const CStatisticListModel::Row& row) {
        return row.cells[0] + " -> " + row.cells[1] + " " + row.cells[2];
    };
    std::set<std::string> known;
    for (int row = 0; row < m_model.RowCount(); ++row)
        known.insert(shown(m_model.GetRow(row)));
    m_pList->setUpdatesEnabled(false);
    m_model.UpdateList(map);
    m_pList->setUpdatesEnabled(true);
    if (m_model.RowCount() > static_cast<int>(known.size()))
        for (int row = 0; row < m_model.RowCount(); ++row)
            if (const std::string text = shown(m_model.GetRow(row)); !known.count(text)) {
                const std::string line = "Top Talkers shows " + text;
                CLIENT_TRACE(CSTrace::eInformation, line.c_str(), kClass);
            }
    CAltirenStatisticsManager::ClearLastSecondStatistics(map);
    return true;
}

void CStatisticListDlg::OnDblclkStatisticList() {
    CLIENT_TRACE_ENTERED(kClass);
    const QModelIndexList rows = m_pList->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        CLIENT_TRACE(CSTrace::eError, "Fail get selected rows", kClass);
        return;
    }
    if (m_pListListener)
        m_pListListener->OnListDataRequest(m_model.GetItemParam(rows.first().row()));
}

void CStatisticListDlg::OnClearAll() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_pListListener)
        m_pListListener->OnClearAllDataRequest();
}

void CStatisticListDlg::ShowSortIndicator() {
    // The header draws its arrow pointing up for Qt's descending order; a list sorted
    // highest first shows an arrow pointing down, one sorted lowest first an arrow up.
    m_pList->horizontalHeader()->setSortIndicator(
        m_model.GetSortColumn(),
        m_model.GetSortDirection() == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CStatisticListDlg::UpdateHeaderWidth() {
    QHeaderView* header = m_pList->horizontalHeader();
    const QFontMetrics metrics(header->font());
    std::vector<int> textWidths;
    for (int column = 0; column < CStatisticListModel::kColumnCount; ++column)
        textWidths.push_back(metrics.horizontalAdvance(
            QString::fromLatin1(CStatisticListModel::HeaderText(column))));
    const std::vector<int> widths =
        CStatisticListModel::ColumnWidths(textWidths, m_pList->viewport()->width());
    for (size_t column = 0; column < widths.size(); ++column)
        header->resizeSection(static_cast<int>(column), widths[column]);
}

void CStatisticListDlg::resizeEvent(QResizeEvent* event) {
    CStatisticWindowBase::resizeEvent(event);
    UpdateHeaderWidth();
}

void CStatisticListDlg::showEvent(QShowEvent* event) {
    CStatisticWindowBase::showEvent(event);
    UpdateHeaderWidth();
}

bool CStatisticListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pList->viewport() && event->type() == QEvent::Resize)
        UpdateHeaderWidth();
    return CStatisticWindowBase::eventFilter(watched, event);
}
