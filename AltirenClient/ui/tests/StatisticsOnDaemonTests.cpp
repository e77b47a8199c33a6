// The statistics windows on the real daemon: the manager window plays from the station
// namespace at 1,000 kbit/s, UDP and TCP flows cross the daemon between the namespaces
// while the statistics manager polls on its own timer, and the Top Talkers list and the
// TCP flow's graph window show what the flows carried. The windows' refreshes are driven
// by hand.
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/StatisticGUIManager.h"
#include "AltirenUi/StatisticGrafWindow.h"
#include "AltirenUi/StatisticListDlg.h"

#include "ManagerDaemonLab.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>

using namespace netnslab;

namespace {

class StatisticsOnDaemon : public ManagerDaemonLab {
protected:
    void SetUp() override {
        ManagerDaemonLab::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        gui = dynamic_cast<CStatisticGUIManager*>(window->Model().GetStatisticGUIManager());
        ASSERT_NE(gui, nullptr);
    }

    void Configure(platform::registry::Registry& registry, const char* key) override {
        // The statistics manager polls every second on its own; the windows never refresh
        // by themselves: the test does it.
        registry.setValue(platform::registry::Hive::LocalMachine, key, "StatGuiRefresh",
                          platform::registry::Value::Dword(3600000));
    }
    void AddSeams(ManagerSeams& seams) override {
        seams.statisticGUIManager = CStatisticGUIManager::Factory();
    }

    // Runs a flow on a thread of its own while this thread serves the statistics
    // manager's timer, then goes on serving it for `after` so that the last seconds are
    // taken in.
    void WhileTheTimerRuns(const std::function<void()>& flow, int afterMs) {
        std::atomic<bool> done{false};
        std::string failure;
        std::thread runner([&] {
            try {
                flow();
            } catch (const std::exception& e) {
                failure = e.what();
            }
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        runner.join();
        ASSERT_TRUE(failure.empty()) << failure;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < afterMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    int RowOf(const std::string& protocol, uint16_t destinationPort) {
        CStatisticListModel& model = gui->GetListDialog()->Model();
        for (int row = 0; row < model.RowCount(); ++row) {
            const ConnectionStatistics& record = model.GetRow(row).record;
            if (record.protocol == protocol && record.destinationPort == destinationPort &&
                record.sourceAddress == kStationV4 && record.destinationAddress == kNetworkV4)
                return row;
        }
        return -1;
    }

    CStatisticGUIManager* gui = nullptr;
};

TEST_F(StatisticsOnDaemon, TopTalkersAndTheGraphShowWhatTheFlowsCarried) {
    auto* bandwidth = guitest::Find<QComboBox>(window.get(), IDC_MANUAL_BANDWIDTH);
    auto* play = guitest::Find<QPushButton>(window.get(), IDC_PLAY_STOP);
    auto* statistics = guitest::Find<QToolButton>(window.get(), ID_VIEW_STATISTICS);
    ASSERT_TRUE(bandwidth && play && statistics);
    bandwidth->lineEdit()->setFocus();
    QTest::keyClick(bandwidth->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(bandwidth->lineEdit(), "1000");

    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    ASSERT_TRUE(gui->GetListDialog());
    EXPECT_FALSE(gui->IsListVisible());
    QTest::mouseClick(statistics, Qt::LeftButton);
    ASSERT_TRUE(gui->IsListVisible());
    CStatisticListDlg& list = *gui->GetListDialog();

    UdpFlow udpFlow = udp(200, 400, 100);
    udpFlow.port = 47200;
    UdpResult udpResult;
    WhileTheTimerRuns([&] { udpResult = run_udp(udpFlow); }, 0);
    TcpFlow tcpFlow;
    tcpFlow.from = lab().station();
    tcpFlow.to = lab().network();
    tcpFlow.dest = kNetworkV4;
    tcpFlow.port = 47201;
    tcpFlow.bytes = 1000000;
    TcpResult tcpResult;
    WhileTheTimerRuns([&] { tcpResult = run_tcp(tcpFlow); }, 2500);
    const uint64_t udpSent = udpResult.send.count("sent");
    ASSERT_EQ(tcpResult.recv.count("bytes"), tcpFlow.bytes);
    const double receiverBps = tcpResult.recv.num("throughput_bps");

    list.OnTimerEvent();
    const int udpRow = RowOf("UDP", 47200);
    const int tcpRow = RowOf("TCP", 47201);
    ASSERT_GE(udpRow, 0) << list.Model().RowCount() << " rows";
    ASSERT_GE(tcpRow, 0) << list.Model().RowCount() << " rows";
    const CStatisticListModel::Row& udpSeen = list.Model().GetRow(udpRow);
    const CStatisticListModel::Row& tcpSeen = list.Model().GetRow(tcpRow);
    std::printf("UDP: %u of %llu frames, %u bytes; TCP: %u frames, %u bytes of %llu sent\n",
                udpSeen.record.totalFrames, static_cast<unsigned long long>(udpSent),
                udpSeen.record.totalBytes, tcpSeen.record.totalFrames, tcpSeen.record.totalBytes,
                static_cast<unsigned long long>(tcpFlow.bytes));
    // Addresses and ports as the user reads them.
    EXPECT_EQ(udpSeen.cells[1], std::string(kNetworkV4) + ":47200");
    EXPECT_EQ(udpSeen.cells[0].rfind(std::string(kStationV4) + ":", 0), 0u);
    EXPECT_EQ(udpSeen.cells[2], "UDP");
    EXPECT_EQ(tcpSeen.cells[1], std::string(kNetworkV4) + ":47201");
    EXPECT_EQ(tcpSeen.cells[2], "TCP");
    // UDP: every frame 28 bytes of headers and the payload, no more frames than sent.
    EXPECT_GT(udpSeen.record.totalFrames, udpSent * 9 / 10);
    EXPECT_LE(udpSeen.record.totalFrames, udpSent);
    EXPECT_EQ(udpSeen.record.totalBytes, udpSeen.record.totalFrames * (100 + 28));
    // TCP toward the receiver: the stream and at most 80 bytes of headers a frame.
    EXPECT_GE(tcpSeen.record.totalBytes, tcpFlow.bytes * 9 / 10);
    EXPECT_LE(tcpSeen.record.totalBytes, tcpFlow.bytes + 80ull * tcpSeen.record.totalFrames);

    // The user double-clicks the TCP row: its graph loads the connection's seconds.
    QTableView* view = list.ListView();
    const QRect cell = view->visualRect(view->model()->index(tcpRow, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    CStatisticGrafWindow* graph =
        gui->FindGraphWindow(GraphWindowKey(list.Model().GetItemParam(tcpRow)));
    ASSERT_NE(graph, nullptr);
    graph->OnTimerEvent();
    const std::vector<GraphPoint> points = graph->Model().Snapshot();
    // Every byte the list counted is in the graph's points (each point keeps its second's
    // bytes / 128, so up to 127 bytes a point fall away).
    uint64_t graphBytes = 0;
    for (const GraphPoint& p : points)
        graphBytes += uint64_t{p.throughputKbps} * 128;
    EXPECT_LE(graphBytes, tcpSeen.record.totalBytes);
    EXPECT_GE(graphBytes + 128 * points.size(), tcpSeen.record.totalBytes);
    // The seconds the stream ran wholly: all but its first and last. Their mean, not their
    // median: a tick that comes late on a loaded machine puts part of one second's bytes
    // into the next, which the mean takes back in and a median of a few points does not.
    std::vector<uint32_t> running;
    size_t first = points.size(), last = 0;
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].throughputKbps > 0) {
            first = std::min(first, i);
            last = i;
        }
    for (size_t i = first + 1; i < last; ++i)
        running.push_back(points[i].throughputKbps);
    ASSERT_GE(running.size(), 3u) << points.size() << " points";
    const double graphBps =
        std::accumulate(running.begin(), running.end(), 0.0) / running.size() * 1024.0;
    std::printf("graph: %zu points, mean %.0f bit/s; receiver %.0f bit/s (ratio %.3f)\n",
                points.size(), graphBps, receiverBps, graphBps / receiverBps);
    EXPECT_NEAR(graphBps / receiverBps, 1.0, 0.10);

    // Stop keeps what the windows show.
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(window->IsStopped());
    EXPECT_FALSE(list.IsTimerRunning());
    EXPECT_FALSE(graph->IsTimerRunning());
    EXPECT_GE(list.Model().RowCount(), 2);
    EXPECT_EQ(graph->Model().GetPointCount(), points.size());
}

} // namespace
