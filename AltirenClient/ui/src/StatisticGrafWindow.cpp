#include "AltirenUi/StatisticGrafWindow.h"

#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/UiResources.h"

#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <exception>

namespace {

constexpr const char* kClass = "CStatisticGrafWindow";
constexpr int kMaxFileName = 260;
const QColor kThroughputColour(0x1f, 0x5f, 0xa8);
const QColor kFramesColour(0xc0, 0x5a, 0x1c);

// A tick interval of 1, 2 or 5 times a power of ten that puts at most six steps up to max.
double TickInterval(double max) {
    double step = 1;
    while (max / step > 6) {
        for (double factor : {2.0, 2.5, 2.0}) {
            step *= factor;
            if (max / step <= 6)
                break;
        }
    }
    return step;
}

void SetAxisMax(QValueAxis* axis, uint32_t max) {
    if (axis->max() == max)
        return;
    axis->setMax(max);
    axis->setTickInterval(TickInterval(max));
}

} // namespace

CStatisticGrafWindow::CStatisticGrafWindow(QWidget* parent)
    : CStatisticWindowBase(IDD_STATISTIC_GRAF, parent) {
    setWindowTitle(QStringLiteral("Pramitone Statistics Graf"));
    resize(640, 420);

    m_pChart = new QChart();
    m_pChartView = new QChartView(m_pChart, this);
    ControlId::Set(m_pChartView, IDC_STATISTIC_CHART);
    m_pChartView->setRenderHint(QPainter::Antialiasing);
    m_pChartView->setContextMenuPolicy(Qt::CustomContextMenu);

    m_pScrollBar = new QScrollBar(Qt::Horizontal, this);
    m_pAutoScroll = new QCheckBox(QStringLiteral("AutoScroll"), this);
    ControlId::Set(m_pAutoScroll, IDC_STATISTIC_AUTOSCROLL);
    m_pAutoScroll->setChecked(m_bAutoScroll);
    m_pExport = new QPushButton(QStringLiteral("Export"), this);
    ControlId::Set(m_pExport, IDC_STATISTIC_EXPORT);
    m_pExport->setAutoDefault(false);

    m_pMenu = new QMenu(this);
    ControlId::Set(m_pMenu, IDR_STATISTIC_GRAF_MENU);
    QAction* exportCsv = m_pMenu->addAction(QStringLiteral("Export to CSV"));
    ControlId::Set(exportCsv, ID_STATISTIC_EXPORT_CSV);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pChartView, 1);
    layout->addWidget(m_pScrollBar);
    auto* controls = new QHBoxLayout();
    controls->addWidget(m_pAutoScroll);
    controls->addStretch(1);
    controls->addWidget(m_pExport);
    layout->addLayout(controls);

    connect(m_pScrollBar, &QScrollBar::valueChanged, this,
            [this](int first) { OnChartScrolled(first); });
    connect(m_pAutoScroll, &QCheckBox::clicked, this, [this] { OnCheckAutoScroll(); });
    connect(m_pExport, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(exportCsv, &QAction::triggered, this, [this] { OnExport(); });
    connect(m_pChartView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { OnRButtonDownChartControl(position); });
    HelpHook::Install(this);
    hide();
}

CStatisticGrafWindow::~CStatisticGrafWindow() {
    CloseAllResources();
}

bool CStatisticGrafWindow::OnInitDialog() {
    CLIENT_TRACE_ENTERED(kClass);
    InitGrafInstance();
    const StatisticsParam param = StringIdToStatisticsParam(GetKey());
    setWindowTitle(QStringLiteral("Pramitone - From: %1 To: %2 Protocol: %3")
                       .arg(QString::fromStdString(param.sourceAddress),
                            QString::fromStdString(param.destinationAddress),
                            QString::fromStdString(param.protocol)));
    setWindowIcon(UiResources::Icon(IDI_STATISTIC_GRAF));
    CLIENT_TRACE_EXITED(kClass);
    return true;
}

void CStatisticGrafWindow::InitGrafInstance() {
    m_pChart->setAnimationOptions(QChart::NoAnimation);
    m_pChart->legend()->setAlignment(Qt::AlignBottom);

    m_pThroughput = new QLineSeries();
    m_pThroughput->setName(QStringLiteral("Throughput Kbps"));
    m_pThroughput->setPen(QPen(kThroughputColour, 2));
    m_pFrames = new QLineSeries();
    m_pFrames->setName(QStringLiteral("Frames Per Second"));
    m_pFrames->setPen(QPen(kFramesColour, 2));
    m_pChart->addSeries(m_pThroughput);
    m_pChart->addSeries(m_pFrames);

    m_pTimeAxis = new QCategoryAxis();
    m_pTimeAxis->setTitleText(QStringLiteral("Time"));
    m_pTimeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_pThroughputAxis = new QValueAxis();
    m_pThroughputAxis->setLabelsColor(kThroughputColour);
    m_pFramesAxis = new QValueAxis();
    m_pFramesAxis->setLabelsColor(kFramesColour);
    for (QValueAxis* axis : {m_pThroughputAxis, m_pFramesAxis}) {
        axis->setLabelFormat(QStringLiteral("%.0f"));
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setMin(0);
    }
    SetAxisMax(m_pThroughputAxis, m_model.GetThroughputMax());
    SetAxisMax(m_pFramesAxis, m_model.GetFramesMax());
    m_pChart->addAxis(m_pTimeAxis, Qt::AlignBottom);
    m_pChart->addAxis(m_pThroughputAxis, Qt::AlignLeft);
    m_pChart->addAxis(m_pFramesAxis, Qt::AlignRight);
    m_pThroughput->attachAxis(m_pTimeAxis);
    m_pThroughput->attachAxis(m_pThroughputAxis);
    m_pFrames->attachAxis(m_pTimeAxis);
    m_pFrames->attachAxis(m_pFramesAxis);
    UpdateScrollRange();
    ShowRange(0);
}

void CStatisticGrafWindow::OnDestroyWindow() {
    CloseAllResources();
}

void CStatisticGrafWindow::CloseAllResources() {
    m_export.Stop();
}

void CStatisticGrafWindow::OnTimerEvent() {
    if (!m_pStatManager)
        return;
    const StatisticsParam param = StringIdToStatisticsParam(GetKey());
    std::vector<HistoryPoint> points;
    if (m_bHistoryLoaded) {
        HistoryPoint point;
        if (m_pStatManager->GetLastSecondStatistics(param, point))
            points.push_back(std::move(point));
    } else {
        m_pStatManager->GetHistoryStatistics(param, points);
        m_bHistoryLoaded = true;
    }
    AddDataPoints(points);
    CAltirenStatisticsManager::ClearHistoryStatistics(points);
}

void CStatisticGrafWindow::AddDataPoints(const std::vector<HistoryPoint>& points) {
    if (points.empty())
        return;
    try {
        const int first = static_cast<int>(m_model.GetPointCount());
        m_model.AddPoints(points);
        SetAxisMax(m_pThroughputAxis, m_model.GetThroughputMax());
        SetAxisMax(m_pFramesAxis, m_model.GetFramesMax());
        UpdateScrollRange();
        if (m_bAutoScroll)
            ScrollToNewest();
        else if (FirstVisiblePoint() + kVisiblePoints > first)
            ShowRange(FirstVisiblePoint()); // the new points are in view
    } catch (const std::exception&) {
        CLIENT_TRACE(CSTrace::eError, "Exception", kClass);
    }
}

void CStatisticGrafWindow::ClearWindow() {
    CLIENT_TRACE_ENTERED(kClass);
    // The history stays loaded: the window goes on with one point a second.
    m_model.Clear();
    UpdateScrollRange();
    ShowRange(0);
}

void CStatisticGrafWindow::OnCheckAutoScroll() {
    const bool wasOn = m_bAutoScroll;
    m_bAutoScroll = m_pAutoScroll->isChecked();
    if (m_bAutoScroll && !wasOn)
        ScrollToNewest();
}

int CStatisticGrafWindow::FirstVisiblePoint() const {
    return m_pScrollBar->value();
}

void CStatisticGrafWindow::UpdateScrollRange() {
    const int count = static_cast<int>(m_model.GetPointCount());
    const bool wasProgram = m_bProgramScroll;
    m_bProgramScroll = true;
    m_pScrollBar->setRange(0, std::max(0, count - kVisiblePoints));
    m_pScrollBar->setPageStep(kVisiblePoints);
    m_pScrollBar->setSingleStep(1);
    m_pScrollBar->setEnabled(count > kVisiblePoints);
    m_bProgramScroll = wasProgram;
}

void CStatisticGrafWindow::ScrollToNewest() {
    m_bProgramScroll = true;
    if (m_pScrollBar->value() != m_pScrollBar->maximum())
        m_pScrollBar->setValue(m_pScrollBar->maximum()); // shows the range as it scrolls
    else
        ShowRange(m_pScrollBar->value());
    m_bProgramScroll = false;
}

void CStatisticGrafWindow::OnChartScrolled(int first) {
    ShowRange(first);
    if (m_bProgramScroll)
        return;
    m_bAutoScroll = false;
    m_pAutoScroll->setChecked(false);
}

void CStatisticGrafWindow::ShowRange(int first) {
    const int last = first + kVisiblePoints - 1;
    // The series hold the seconds in view only, whatever the length of the history.
    const std::vector<GraphPoint> shown =
        m_model.Range(static_cast<size_t>(first), static_cast<size_t>(kVisiblePoints));
    QList<QPointF> throughput;
    QList<QPointF> frames;
    throughput.reserve(static_cast<qsizetype>(shown.size()));
    frames.reserve(static_cast<qsizetype>(shown.size()));
    for (size_t i = 0; i < shown.size(); ++i) {
        const double x = first + static_cast<double>(i);
        throughput.append(QPointF(x, shown[i].throughputKbps));
        frames.append(QPointF(x, shown[i].frames));
    }
    m_pThroughput->replace(throughput);
    m_pFrames->replace(frames);

    for (const QString& label : m_pTimeAxis->categoriesLabels())
        m_pTimeAxis->remove(label);
    m_pTimeAxis->setRange(first, last);
    m_pTimeAxis->setStartValue(first - 1);
    const int firstLabel = (first + kLabelStep - 1) / kLabelStep * kLabelStep;
    for (int i = firstLabel; i <= last && i - first < static_cast<int>(shown.size());
         i += kLabelStep) {
        QString label = QString::fromStdString(shown[static_cast<size_t>(i - first)].timeText);
        // The axis keeps each label once; repeated times get invisible marks.
        while (m_pTimeAxis->categoriesLabels().contains(label))
            label += QChar(0x200B);
        m_pTimeAxis->append(label, i);
    }
}

void CStatisticGrafWindow::OnRButtonDownChartControl(const QPoint& position) {
    m_pMenu->popup(m_pChartView->mapToGlobal(position) - QPoint(0, 10));
}

void CStatisticGrafWindow::OnExport() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_export.IsRunning()) {
        CLIENT_TRACE(CSTrace::eWarning, "Export Proccess occupated.", kClass);
        return;
    }
    const std::string chosen = m_chooser ? m_chooser(this) : ChooseSaveFile(this);
    if (chosen.empty())
        return;
    m_strExportFile = CStatisticGrafModel::CsvFileName(chosen);
    m_export.Start(m_model, StringIdToStatisticsParam(GetKey()), m_strExportFile);
}

std::string CStatisticGrafWindow::ChooseSaveFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Save to file..."));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("CSV files (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::string();
    const QString name = dialog.selectedFiles().first();
    if (name.size() > kMaxFileName)
        return std::string();
    return name.toStdString();
}
