// The statistics windows with data under a real X server (Xvfb), saved as PNG files in
// <build>/screenshots for a person to look at; nothing compares pixels.
#include "AltirenUi/StatisticGUIManager.h"
#include "AltirenUi/StatisticGrafWindow.h"
#include "AltirenUi/StatisticListDlg.h"

#include "AltirenUiTest/Xvfb.h"
#include "StatisticsFeed.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using guitest::ParamOf;
using guitest::TcpPacket;

using StatisticScreenshots = guitest::XvfbTest;

TEST_F(StatisticScreenshots, TopTalkersAndAConnectionGraph) {
    guitest::TestRegistry registry;
    guitest::StatisticsFeed feed{registry};
    CScriptedPrompt prompt;
    StatisticGUIContext context;
    context.statistics = &feed.manager;
    context.prompt = &prompt;
    context.isPlaying = [] { return true; };
    CStatisticGUIManager gui(context);
    gui.OnEmulationPlayed(true);

    // A web download, a few small flows, a ping and a name lookup.
    PacketSpec ping;
    ping.protocol = 1;
    ping.destination = "198.18.1.9";
    ping.totalLength = 84;
    PacketSpec dns;
    dns.destination = "198.18.1.53";
    dns.sourcePort = 53124;
    dns.destinationPort = 53;
    dns.totalLength = 74;
    const PacketSpec download = TcpPacket(40000, 1500);
    const PacketSpec small = TcpPacket(40000, 120); // the same connection's short frames
    for (int second = 0; second < 150; ++second) {
        std::vector<PacketSpec> packets;
        const int full = 40 + static_cast<int>(30 * std::sin(second / 9.0)) + second % 7;
        const int shorter = 30 + static_cast<int>(25 * std::cos(second / 5.0));
        packets.insert(packets.end(), static_cast<size_t>(full), download);
        packets.insert(packets.end(), static_cast<size_t>(shorter), small);
        for (uint16_t flow = 0; flow < 5; ++flow)
            packets.insert(packets.end(), static_cast<size_t>(flow + (second % 3)),
                           TcpPacket(static_cast<uint16_t>(41000 + flow), 600));
        packets.push_back(ping);
        if (second % 10 == 0)
            packets.push_back(dns);
        feed.Tick(packets);
    }
    CStatisticListDlg& list = *gui.GetListDialog();
    list.move(10, 10);
    list.OnTimerEvent();
    ASSERT_TRUE(guitest::ShowAndWait(&list));
    QTest::qWait(300);
    guitest::ExpectScreenshot(guitest::SaveScreenshot("statistic-list"));

    gui.OnListDataRequest(ParamOf(download));
    CStatisticGrafWindow* graph = gui.FindGraphWindow(GraphWindowKey(ParamOf(download)));
    ASSERT_NE(graph, nullptr);
    graph->OnTimerEvent();
    graph->move(300, 300);
    ASSERT_TRUE(guitest::ShowAndWait(graph));
    QTest::qWait(300);
    guitest::ExpectScreenshot(guitest::SaveScreenshot("statistic-graph"));
    gui.OnEmulationStopped();
}

} // namespace
