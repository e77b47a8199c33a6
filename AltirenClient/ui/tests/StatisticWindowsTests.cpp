// The statistics windows through their manager, on the offscreen platform: ticks driven
// by hand, boxes answered by a script, clicks and scrolls as a user makes them.
#include "AltirenUi/StatisticGUIManager.h"
#include "AltirenUi/StatisticGrafWindow.h"
#include "AltirenUi/StatisticListDlg.h"

#include "AltirenClient/StringTable.h"
#include "StatisticsFeed.h"

#include <TestSupport/TempDir.h>

#include <QAction>
#include <QCategoryAxis>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineSeries>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <memory>

namespace {

using guitest::ParamOf;
using guitest::TcpPacket;

// Which way the sort arrow that a person sees in the header points: the header drawn with
// and without its indicator, the pixels that differ are the arrow; a downward arrow is
// wider in its upper rows. +1 up, -1 down, 0 none seen.
int ArrowDirection(QHeaderView* header) {
    const QImage with = header->grab().toImage();
    header->setSortIndicatorShown(false);
    const QImage without = header->grab().toImage();
    header->setSortIndicatorShown(true);
    std::vector<int> rows(static_cast<size_t>(with.height()), 0);
    for (int y = 0; y < with.height() && y < without.height(); ++y)
        for (int x = 0; x < with.width() && x < without.width(); ++x)
            rows[static_cast<size_t>(y)] += with.pixel(x, y) != without.pixel(x, y);
    int top = 0;
    while (top < static_cast<int>(rows.size()) && rows[static_cast<size_t>(top)] == 0)
        ++top;
    int bottom = static_cast<int>(rows.size()) - 1;
    while (bottom > top && rows[static_cast<size_t>(bottom)] == 0)
        --bottom;
    if (top >= bottom)
        return 0;
    const int middle = (top + bottom + 1) / 2;
    int upper = 0, lower = 0;
    for (int y = top; y <= bottom; ++y)
        (y < middle ? upper : lower) += rows[static_cast<size_t>(y)];
    return upper == lower ? 0 : (upper < lower ? 1 : -1);
}

class StatisticWindows : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        StatisticGUIContext context;
        context.statistics = &feed.manager;
        context.prompt = &prompt;
        context.isPlaying = [this] { return playing; };
        context.activeAdapterAddress = [] { return std::string("198.18.0.1"); };
        gui = std::make_unique<CStatisticGUIManager>(context);
    }
    void TearDown() override {
        gui.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Play(bool showList) {
        playing = true;
        gui->OnEmulationPlayed(showList);
    }
    CStatisticListDlg& List() { return *gui->GetListDialog(); }
    CStatisticGrafWindow* Graph(const PacketSpec& spec) {
        return gui->FindGraphWindow(GraphWindowKey(ParamOf(spec)));
    }
    CStatisticGrafWindow* OpenGraph(const PacketSpec& spec) {
        gui->OnListDataRequest(ParamOf(spec));
        return Graph(spec);
    }
    // A double click on a row of the list, as the user makes it.
    void DoubleClickRow(int row) {
        QTableView* view = List().ListView();
        const QRect cell = view->visualRect(view->model()->index(row, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    static void ProcessDeferredDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    guitest::TestRegistry registry;
    guitest::StatisticsFeed feed{registry};
    guitest::CActingPrompt prompt;
    bool playing = false;
    std::unique_ptr<CStatisticGUIManager> gui;
};

TEST_F(StatisticWindows, DoubleClickWhileStoppedSaysSoAndOpensNothing) {
    Play(true);
    ASSERT_TRUE(gui->IsListVisible());
    EXPECT_TRUE(List().IsTimerRunning());
    EXPECT_EQ(List().windowTitle(), QStringLiteral("Pramitone - Top Talkers"));
    feed.Tick({TcpPacket(40000)});
    List().OnTimerEvent();
    ASSERT_EQ(List().Model().RowCount(), 1);

    playing = false;
    gui->OnEmulationStopped();
    DoubleClickRow(0);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_GRAPH_IN_STOP_MODE));
    EXPECT_EQ(prompt.Boxes()[0].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[0].flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_FALSE(gui->HasGraphWindowsOpen());

    // While playing the same double click opens the row's graph.
    playing = true;
    DoubleClickRow(0);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    CStatisticGrafWindow* graph = Graph(TcpPacket(40000));
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->GetKey(), "198.18.1.2_80_198.18.0.1_40000_TCP");
    EXPECT_TRUE(graph->isVisible());
    EXPECT_TRUE(graph->IsTimerRunning());
    EXPECT_EQ(graph->windowTitle(),
              QStringLiteral("Pramitone - From: 198.18.0.1 To: 198.18.1.2 Protocol: TCP"));
    EXPECT_TRUE(gui->HasGraphWindowsOpen());
}

// Sixty connections with MaxPairs at its 50: the list keeps 50 rows whose totals grow
// tick to tick, and a graph keeps its history.
TEST_F(StatisticWindows, SixtyConnectionsAtFiftyPairsKeepFiftyRowsThatGrow) {
    Play(true);
    std::vector<PacketSpec> sixty;
    for (uint16_t i = 0; i < 60; ++i)
        sixty.push_back(TcpPacket(static_cast<uint16_t>(30000 + i)));
    CStatisticGrafWindow* graph = nullptr;
    for (uint32_t tick = 1; tick <= 3; ++tick) {
        feed.Tick(sixty);
        List().OnTimerEvent();
        if (!graph)
            graph = OpenGraph(sixty[0]);
        ASSERT_NE(graph, nullptr);
        graph->OnTimerEvent();
        const CStatisticListModel& rows = List().Model();
        ASSERT_EQ(rows.RowCount(), 50) << "tick " << tick;
        for (int row = 0; row < rows.RowCount(); ++row)
            EXPECT_EQ(rows.GetRow(row).record.totalFrames, tick) << "row " << row;
    }
    EXPECT_EQ(feed.Connections(), 50u);
    EXPECT_EQ(graph->Model().GetPointCount(), 3u);
}

TEST_F(StatisticWindows, AHundredGraphWindowsAtMostAndAnOpenOneIsRaised) {
    Play(false);
    for (uint16_t i = 0; i < 100; ++i)
        ASSERT_NE(OpenGraph(TcpPacket(static_cast<uint16_t>(20000 + i))), nullptr) << i;
    EXPECT_EQ(gui->GetGraphWindowCount(), 100);
    EXPECT_EQ(OpenGraph(TcpPacket(20100)), nullptr);
    EXPECT_EQ(gui->GetGraphWindowCount(), 100);
    EXPECT_TRUE(prompt.Boxes().empty()); // the user is told nothing

    CStatisticGrafWindow* fifth = Graph(TcpPacket(20005));
    fifth->showMinimized();
    ASSERT_TRUE(fifth->isMinimized());
    EXPECT_EQ(OpenGraph(TcpPacket(20005)), fifth);
    EXPECT_FALSE(fifth->isMinimized());
    EXPECT_TRUE(fifth->isVisible());
    EXPECT_EQ(gui->GetGraphWindowCount(), 100);
}

TEST_F(StatisticWindows, ClosingAGraphFreesItsSlotLaterAndReopeningMakesANewWindow) {
    Play(false);
    const PacketSpec tcp = TcpPacket(40000);
    feed.Tick({tcp});
    QPointer<CStatisticGrafWindow> first = OpenGraph(tcp);
    ASSERT_TRUE(first);
    first->OnTimerEvent();
    EXPECT_TRUE(first->IsHistoryLoaded());

    // The window tells the manager as it goes; its object is freed once that is over.
    first->close();
    EXPECT_EQ(Graph(tcp), nullptr);
    EXPECT_EQ(gui->GetGraphWindowCount(), 0);
    EXPECT_FALSE(gui->HasGraphWindowsOpen());
    EXPECT_TRUE(first); // not from inside its own close
    EXPECT_FALSE(first->IsWindowCreated());
    ProcessDeferredDeletes();
    EXPECT_FALSE(first);

    CStatisticGrafWindow* second = OpenGraph(tcp);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->IsHistoryLoaded());
    EXPECT_EQ(gui->GetGraphWindowCount(), 1);
}

TEST_F(StatisticWindows, ClearAllEmptiesTheListAndTheGraphsAndDropsTheStatistics) {
    Play(true);
    const PacketSpec a = TcpPacket(40000);
    const PacketSpec b = TcpPacket(40001, 500);
    feed.Tick({a, b});
    feed.Tick({a, b});
    List().OnTimerEvent();
    ASSERT_EQ(List().Model().RowCount(), 2);
    CStatisticGrafWindow* graph = OpenGraph(a);
    ASSERT_NE(graph, nullptr);
    graph->OnTimerEvent();
    ASSERT_EQ(graph->Model().GetPointCount(), 2u);

    QPushButton* clear = guitest::Find<QPushButton>(&List(), IDC_STATISTIC_CLEAR_ALL);
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->text(), QStringLiteral("&Clear All"));
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(List().Model().RowCount(), 0);
    EXPECT_EQ(graph->Model().GetPointCount(), 0u);
    EXPECT_EQ(graph->ThroughputSeries()->count(), 0);
    EXPECT_EQ(feed.Connections(), 0u);
    EXPECT_EQ(feed.manager.GetHistorySize(), 0u);
    EXPECT_EQ(gui->GetGraphWindowCount(), 1); // the windows stay open

    // The graph goes on one second at a time.
    feed.Tick({a});
    graph->OnTimerEvent();
    EXPECT_EQ(graph->Model().GetPointCount(), 1u);
}

TEST_F(StatisticWindows, StopStopsTheTimersAndKeepsWhatTheWindowsShow) {
    Play(true);
    const PacketSpec tcp = TcpPacket(40000);
    feed.Tick({tcp});
    List().OnTimerEvent();
    CStatisticGrafWindow* graph = OpenGraph(tcp);
    ASSERT_NE(graph, nullptr);
    graph->OnTimerEvent();
    ASSERT_TRUE(List().IsTimerRunning());
    ASSERT_TRUE(graph->IsTimerRunning());

    playing = false;
    gui->OnEmulationStopped();
    EXPECT_FALSE(feed.manager.IsPolling());
    EXPECT_FALSE(List().IsTimerRunning());
    EXPECT_FALSE(graph->IsTimerRunning());
    EXPECT_EQ(List().Model().RowCount(), 1);
    EXPECT_EQ(graph->Model().GetPointCount(), 1u);
    EXPECT_TRUE(List().isVisible());
    EXPECT_TRUE(graph->isVisible());
    EXPECT_TRUE(gui->HasGraphWindowsOpen());

    // The next play starts afresh: every graph window goes and the list is emptied.
    QPointer<CStatisticGrafWindow> held = graph;
    Play(false);
    EXPECT_FALSE(held);
    EXPECT_FALSE(gui->HasGraphWindowsOpen());
    EXPECT_EQ(List().Model().RowCount(), 0);
    EXPECT_TRUE(feed.manager.IsPolling());
}

TEST_F(StatisticWindows, AHistoryOfSixHundredSecondsOpensWithSixHundredPoints) {
    Play(false);
    const PacketSpec early = TcpPacket(39999);
    const PacketSpec tcp = TcpPacket(40000, 1000);
    for (int second = 0; second < 605; ++second) {
        if (second < 5)
            feed.Tick({early});
        else
            feed.Tick({early, tcp, tcp});
    }
    CStatisticGrafWindow* graph = OpenGraph(tcp);
    ASSERT_NE(graph, nullptr);
    graph->OnTimerEvent();
    ASSERT_EQ(graph->Model().GetPointCount(), 600u);
    // The connection first appeared in the sixth second, 00:00:55.
    const std::vector<GraphPoint> points = graph->Model().Snapshot();
    EXPECT_EQ(points.front().timeText, "00:00:55");
    EXPECT_EQ(points.front().throughputKbps, 2000u >> 7);
    EXPECT_EQ(points.back().frames, 2u);
    EXPECT_EQ(graph->Model().GetLastTimeText(), "00:10:54");
    EXPECT_EQ(graph->FramesAxis()->max(), 2);
    EXPECT_EQ(graph->ThroughputAxis()->max(), 100);
    // Following the newest point: the chart holds the sixty seconds in view, labelled.
    EXPECT_EQ(graph->FirstVisiblePoint(), 540);
    EXPECT_EQ(graph->TimeAxis()->min(), 540);
    ASSERT_EQ(graph->ThroughputSeries()->count(), 60);
    ASSERT_EQ(graph->FramesSeries()->count(), 60);
    EXPECT_EQ(graph->ThroughputSeries()->at(0).x(), 540);
    EXPECT_EQ(graph->ThroughputSeries()->at(0).y(), 2000 >> 7);
    EXPECT_EQ(graph->FramesSeries()->at(59).y(), 2);
    EXPECT_TRUE(graph->TimeAxis()->categoriesLabels().contains(QStringLiteral("00:09:55")));

    // Later ticks add the current second only.
    feed.Tick({early, tcp});
    graph->OnTimerEvent();
    EXPECT_EQ(graph->Model().GetPointCount(), 601u);
    EXPECT_EQ(graph->FirstVisiblePoint(), 541);
    ASSERT_EQ(graph->FramesSeries()->count(), 60);
    EXPECT_EQ(graph->FramesSeries()->at(59).x(), 600);
    EXPECT_EQ(graph->FramesSeries()->at(59).y(), 1);
}

TEST_F(StatisticWindows, AUserScrollClearsAutoScrollAndTickingTheBoxJumpsToTheNewest) {
    Play(false);
    const PacketSpec tcp = TcpPacket(40000);
    for (int second = 0; second < 200; ++second)
        feed.Tick({tcp});
    CStatisticGrafWindow* graph = OpenGraph(tcp);
    graph->OnTimerEvent();
    ASSERT_EQ(graph->FirstVisiblePoint(), 140);
    QCheckBox* box = guitest::Find<QCheckBox>(graph, IDC_STATISTIC_AUTOSCROLL);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());

    graph->ScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(graph->FirstVisiblePoint(), 80);
    EXPECT_EQ(graph->ThroughputSeries()->at(0).x(), 80); // the chart shows where it went
    EXPECT_FALSE(graph->IsAutoScroll());
    EXPECT_FALSE(box->isChecked());
    feed.Tick({tcp});
    graph->OnTimerEvent();
    EXPECT_EQ(graph->FirstVisiblePoint(), 80); // stays where the user put it

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(graph->IsAutoScroll());
    EXPECT_EQ(graph->FirstVisiblePoint(), 141);
    // The window's own scrolling leaves the box ticked.
    feed.Tick({tcp});
    graph->OnTimerEvent();
    EXPECT_EQ(graph->FirstVisiblePoint(), 142);
    EXPECT_TRUE(box->isChecked());
}

TEST_F(StatisticWindows, ThroughputAxisGrowsWithTheTrafficAndNeverShrinks) {
    Play(false);
    const PacketSpec tcp = TcpPacket(40000, 1500);
    std::vector<PacketSpec> burst(13, tcp); // 19,500 bytes: 152 Kbps
    feed.Tick(burst);
    CStatisticGrafWindow* graph = OpenGraph(tcp);
    graph->OnTimerEvent();
    EXPECT_EQ(graph->ThroughputAxis()->max(), 152);
    EXPECT_EQ(graph->FramesAxis()->max(), 13);
    feed.Tick({tcp});
    graph->OnTimerEvent();
    EXPECT_EQ(graph->ThroughputAxis()->max(), 152);
    graph->ClearWindow();
    EXPECT_EQ(graph->ThroughputAxis()->max(), 152);
    EXPECT_EQ(graph->FramesAxis()->max(), 13);
}

TEST_F(StatisticWindows, ClosedListCountsAsNoGraphsAndComesBackEmpty) {
    gui->ShowStatistics(false);
    ASSERT_TRUE(gui->IsListVisible());
    Play(false);
    feed.Tick({TcpPacket(40000)});
    List().OnTimerEvent();
    ASSERT_EQ(List().Model().RowCount(), 1);

    List().close();
    EXPECT_FALSE(gui->IsListVisible());
    EXPECT_FALSE(List().IsWindowCreated());
    EXPECT_FALSE(List().IsTimerRunning());
    EXPECT_FALSE(gui->HasGraphWindowsOpen());
    EXPECT_EQ(List().Model().RowCount(), 0);

    gui->ShowStatistics(false);
    EXPECT_TRUE(gui->IsListVisible());
    EXPECT_TRUE(List().IsTimerRunning());
    List().OnTimerEvent();
    EXPECT_EQ(List().Model().RowCount(), 1);
}

TEST_F(StatisticWindows, HeaderClickSortsByTheListsOwnRule) {
    Play(true);
    feed.Tick({TcpPacket(40000, 100), TcpPacket(40001, 900, "198.18.0.9")});
    List().OnTimerEvent();
    QHeaderView* header = List().ListView()->horizontalHeader();
    ASSERT_TRUE(guitest::ShowAndWait(&List()));
    // Highest first: the arrow points down.
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    EXPECT_EQ(ArrowDirection(header), -1);
    EXPECT_EQ(List().Model().GetRow(0).record.sourceAddress, "198.18.0.9");

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(List().Model().GetSortColumn(), 0);
    EXPECT_EQ(List().Model().GetSortDirection(), 1);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(ArrowDirection(header), 1);
    EXPECT_EQ(List().Model().GetRow(0).record.sourceAddress, "198.18.0.1");
    EXPECT_EQ(List().ListView()->model()->data(List().ListView()->model()->index(0, 0)),
              QStringLiteral("198.18.0.1:40000"));

    // Another column: descending by the list's rule, where the header alone would ascend.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
    EXPECT_EQ(List().Model().GetSortColumn(), 3);
    EXPECT_EQ(List().Model().GetSortDirection(), -1);
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    EXPECT_EQ(ArrowDirection(header), -1);
    EXPECT_EQ(List().Model().GetRow(0).record.sourceAddress, "198.18.0.9");
}

// Rows enough for the vertical scroll bar: the columns share what is left of the width,
// so that the last one is not cut off (there is no horizontal scroll bar).
TEST_F(StatisticWindows, TheColumnsFitBesideTheScrollBarOnceTheRowsNeedIt) {
    Play(true);
    QTableView* view = List().ListView();
    const auto columnsWidth = [view] {
        int sum = 0;
        for (int column = 0; column < view->model()->columnCount(); ++column)
            sum += view->horizontalHeader()->sectionSize(column);
        return sum;
    };
    EXPECT_LE(columnsWidth(), view->viewport()->width());
    std::vector<PacketSpec> packets;
    for (uint16_t flow = 0; flow < 40; ++flow)
        packets.push_back(TcpPacket(static_cast<uint16_t>(41000 + flow), 600));
    feed.Tick(packets);
    List().OnTimerEvent();
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->verticalScrollBar()->isVisible());
    EXPECT_LE(columnsWidth(), view->viewport()->width());
    EXPECT_GT(columnsWidth(), view->viewport()->width() - 7); // shared out, not left over
}

TEST_F(StatisticWindows, TheChartsMenuOffersTheExport) {
    Play(false);
    const PacketSpec tcp = TcpPacket(40000);
    feed.Tick({tcp});
    CStatisticGrafWindow* graph = OpenGraph(tcp);
    graph->OnTimerEvent();
    int asked = 0;
    graph->SetFileChooser([&](QWidget*) {
        ++asked;
        return std::string(); // cancelled
    });
    emit graph->ChartView()->customContextMenuRequested(QPoint(40, 40));
    EXPECT_TRUE(graph->ContextMenu()->isVisible());
    QAction* action = ControlId::FindAction(graph, ID_STATISTIC_EXPORT_CSV);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Export to CSV"));
    graph->ContextMenu()->hide();
    action->trigger();
    EXPECT_EQ(asked, 1);
    QTest::mouseClick(guitest::Find<QPushButton>(graph, IDC_STATISTIC_EXPORT), Qt::LeftButton);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(graph->IsExportRunning());
    EXPECT_TRUE(graph->GetExportFileName().empty());
}

TEST_F(StatisticWindows, TheSaveDialogAsksForACsvFile) {
    testsupport::TempDir dir{"save-dialog"};
    QString title, filter, suffix;
    bool saving = false;
    // The dialog is modal: a timer of its loop reads it and types a name.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        filter = dialog->nameFilters().join(QStringLiteral("|"));
        suffix = dialog->defaultSuffix();
        saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->selectFile(QString::fromStdString((dir / "report").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(5000);
    const std::string chosen = CStatisticGrafWindow::ChooseSaveFile(nullptr);
    EXPECT_EQ(title, QStringLiteral("Save to file..."));
    EXPECT_EQ(filter, QStringLiteral("CSV files (*.csv)"));
    EXPECT_EQ(suffix, QStringLiteral("csv"));
    EXPECT_TRUE(saving);
    // The dialog adds its default extension; the export's own rule then keeps the name.
    EXPECT_EQ(chosen, (dir / "report.csv").string());
    EXPECT_EQ(CStatisticGrafModel::CsvFileName(chosen), chosen);
}

TEST_F(StatisticWindows, TheManagerLeavesNoConsumerBehind) {
    Play(true);
    gui.reset();
    // Dropping the statistics once the windows are gone tells nobody.
    EXPECT_EQ(feed.manager.ClearStatisticsBuffer(), 1);
}

TEST_F(StatisticWindows, StatisticsThatCannotBeCollectedAreReported) {
    StatisticGUIContext context;
    context.prompt = &prompt;
    CStatisticGUIManager without(context);
    without.OnEmulationPlayed(true);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_STATISTICS_FAILED));
    EXPECT_EQ(prompt.Boxes()[0].flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_FALSE(without.IsListVisible());
}

} // namespace
