// The client's managers on the real daemon: the daemon binds a TAP for the station over
// the wire's network end, the driver manager plays through the control library from the
// station namespace, traffic crosses the TAP, and the statistics manager reports the
// connections it carried.
#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/DriverMngr.h"
#include "AltirenClientTest/ScriptedPrompt.h"

#include "DaemonLab.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace netnslab;

namespace {

class ClientOnDaemon : public e2e::DaemonLab {
protected:
    void TearDown() override {
        if (driver && driver->IsPlaying()) {
            NetnsGuard in(lab().station());
            driver->Stop();
        }
        driver.reset();
        e2e::DaemonLab::TearDown();
    }

    std::unique_ptr<CDriverMngr> driver = std::make_unique<CDriverMngr>();
};

const ConnectionStatistics* FindConnection(const StatisticsMap& map, const std::string& protocol,
                                           uint16_t port) {
    for (const auto& [key, record] : map)
        if (record.protocol == protocol &&
            (record.destinationPort == port || record.sourcePort == port) &&
            record.sourceAddress == kStationV4 && record.destinationAddress == kNetworkV4)
            return &record;
    return nullptr;
}

TEST_F(ClientOnDaemon, PlayCarryTrafficAndCountItsConnections) {
    int argc = 1;
    char name[] = "client";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    // The client runs where the station's interface is, as it would on the station.
    NetnsGuard station(lab().station());

    CScriptedPrompt prompt;
    driver->SetPrompt(&prompt);
    ASSERT_TRUE(driver->StartupCheck());
    EXPECT_TRUE(prompt.Boxes().empty()); // an idle daemon asks nothing
    EXPECT_EQ(driver->GetAdapterCount(), 1);

    CPlayParams record;
    driver->ClearAndDefaultPlayParams(&record);
    driver->SetActiveAdapterAddress(kStationV4);
    ASSERT_EQ(driver->Play(record.get()), 1) << driver->GetLastErrorText() << "\n" << log_text();
    ASSERT_TRUE(driver->IsPlaying());

    CAltirenStatisticsManager statistics;
    ASSERT_EQ(statistics.StartPoll(), 1);

    UdpFlow udp;
    udp.from = lab().station();
    udp.to = lab().network();
    udp.dest = kNetworkV4;
    udp.count = 200;
    udp.size = 100;
    udp.rate = 1000;
    UdpResult sent = run_udp(udp);
    const uint64_t udpSent = sent.send.count("sent");
    ASSERT_GT(sent.recv.count("received"), 0u);

    TcpFlow tcp;
    tcp.from = lab().station();
    tcp.to = lab().network();
    tcp.dest = kNetworkV4;
    tcp.bytes = 200000;
    TcpResult stream = run_tcp(tcp);
    ASSERT_GT(stream.recv.count("bytes"), 0u);

    // Let the ticks take in what was captured: up to ten seconds.
    StatisticsMap map;
    const ConnectionStatistics* udpSeen = nullptr;
    const ConnectionStatistics* tcpSeen = nullptr;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        std::string time;
        ASSERT_EQ(statistics.GetLastSecondStatistics(map, time), 1);
        udpSeen = FindConnection(map, "UDP", static_cast<uint16_t>(udp.port));
        tcpSeen = FindConnection(map, "TCP", static_cast<uint16_t>(tcp.port));
        if (udpSeen && tcpSeen && udpSeen->totalFrames >= udpSent)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(udpSeen, nullptr) << map.size() << " connections";
    ASSERT_NE(tcpSeen, nullptr) << map.size() << " connections";

    // UDP: every frame is 28 bytes of headers and the payload.
    EXPECT_GT(udpSeen->totalFrames, 0u);
    EXPECT_LE(udpSeen->totalFrames, udpSent);
    EXPECT_EQ(udpSeen->totalBytes, udpSeen->totalFrames * (udp.size + 28));
    EXPECT_EQ(udpSeen->protocolNumber, 17u);
    // TCP toward the receiver: the stream plus at most 80 bytes of headers a frame.
    EXPECT_EQ(tcpSeen->destinationPort, tcp.port);
    EXPECT_EQ(tcpSeen->protocolNumber, 6u);
    EXPECT_GT(tcpSeen->totalBytes, 0u);
    EXPECT_LE(tcpSeen->totalBytes, tcp.bytes + 80ull * tcpSeen->totalFrames);

    std::vector<HistoryPoint> history;
    StatisticsParam param;
    param.sourceAddress = udpSeen->sourceAddress;
    param.sourcePort = udpSeen->sourcePort;
    param.destinationAddress = udpSeen->destinationAddress;
    param.destinationPort = udpSeen->destinationPort;
    param.protocol = "UDP";
    EXPECT_EQ(statistics.GetHistoryStatistics(param, history), 1);
    EXPECT_FALSE(history.empty());

    EXPECT_EQ(statistics.StopPoll(), 1);
    driver->Stop();
    EXPECT_FALSE(driver->IsPlaying()) << driver->GetLastErrorText();
}

} // namespace
