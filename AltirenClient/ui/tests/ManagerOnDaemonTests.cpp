// The manager window on the real daemon: the daemon binds the station's TAP in the test
// lab, the window runs in the station namespace with the management-server stand-in on
// the station's loopback, the manual page is set by key clicks, Play and Stop are
// clicked, and real traffic between the namespaces shows the emulation and its end.
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/IpFilterDlg.h"
#include "AltirenUi/NumericEdit.h"

#include "ManagerDaemonLab.h"
#include "ResponsivenessProbe.h"

#include "AltirenClient/ServerRequest.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace netnslab;

namespace {

class ManagerOnDaemon : public ManagerDaemonLab {
protected:
    static void TypeInto(QWidget* field, const char* text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }

    bool StoppedWithin(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            uint32_t on = 1;
            if (NuvexGetStatus(&on) == 0 && !on)
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // One-way delay of a slow UDP flow (median, ms) and the throughput of a TCP stream.
    double MedianDelayMs(int port, const char* dest = kNetworkV4) {
        UdpFlow flow = udp(100, 100, 100);
        flow.port = port;
        flow.dest = dest;
        const UdpResult r = run_udp(flow);
        EXPECT_EQ(r.recv.count("received"), 100u);
        return r.recv.num("delay_us_median") / 1000.0;
    }
    double TcpBitsPerSecond(int port, uint64_t bytes) {
        TcpFlow tcp;
        tcp.from = lab().station();
        tcp.to = lab().network();
        tcp.dest = kNetworkV4;
        tcp.port = port;
        tcp.bytes = bytes;
        const TcpResult r = run_tcp(tcp);
        EXPECT_EQ(r.recv.count("bytes"), bytes);
        return r.recv.num("throughput_bps");
    }
};

TEST_F(ManagerOnDaemon, KeyClicksSetFiftyMillisecondsAndOneMegabitThatRealTrafficFeels) {
    EXPECT_TRUE(ClientState::IsServerOnline());
    auto* latency = guitest::Find<CNumericEdit>(window.get(), IDC_MANUAL_LATENCY);
    auto* bandwidth = guitest::Find<QComboBox>(window.get(), IDC_MANUAL_BANDWIDTH);
    auto* play = guitest::Find<QPushButton>(window.get(), IDC_PLAY_STOP);
    ASSERT_TRUE(latency && bandwidth && play);
    TypeInto(latency, "50");
    TypeInto(bandwidth->lineEdit(), "1000");
    ASSERT_EQ(latency->text(), "50");

    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    EXPECT_EQ(play->text(), "Sto&p");
    const PlayParameters& played = *window->Model().GetPlayParameters();
    EXPECT_EQ(played.minDelay, 50);
    EXPECT_EQ(played.eastOutBandwidth, 1000.0);
    EXPECT_EQ(played.eastInBandwidth, 1000.0);
    ASSERT_EQ(played.filterCount, 1u); // the stand-in's address, kept out
    EXPECT_EQ(played.filterAddresses[0], e2e::ipv4_of("127.0.0.1"));

    const double delayMs = MedianDelayMs(47100);
    const double limitedBps = TcpBitsPerSecond(47101, 300000);
    std::printf("emulating: one-way delay median %.2f ms, TCP %.0f bit/s\n", delayMs, limitedBps);
    // The lower bound proves the delay; the upper one leaves room for a loaded machine.
    EXPECT_GE(delayMs, 48.0);
    EXPECT_LE(delayMs, 65.0);
    EXPECT_LT(limitedBps, 1.0e6);
    EXPECT_GT(limitedBps, 0.3e6);

    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(window->IsStopped()) << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text);
    ASSERT_TRUE(StoppedWithin(std::chrono::seconds(10)));
    EXPECT_EQ(play->text(), "&Play");
    const double normalDelayMs = MedianDelayMs(47102);
    const double normalBps = TcpBitsPerSecond(47103, 2000000);
    std::printf("stopped: one-way delay median %.2f ms, TCP %.0f bit/s\n", normalDelayMs,
                normalBps);
    EXPECT_LT(normalDelayMs, 20.0);
    EXPECT_GT(normalBps, 3.0e6);

    EXPECT_TRUE(prompt.Boxes().empty());
    ASSERT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(10))); // the report
    EXPECT_EQ(Events("CLIENT_STOP"), 1u);
    EXPECT_EQ(server->RequestCount(), 1u);
}

// The daemon stops under a play: within three seconds the window shows Play again and
// tells the user once; once the daemon is back, Play plays.
TEST_F(ManagerOnDaemon, ADaemonThatStopsUnderAPlayIsShownAndPlayWorksOnceItIsBack) {
    window->OnCommand(ID_VIEW_ADVANCED);
    auto* latency = guitest::Find<CNumericEdit>(window.get(), IDC_MANUAL_LATENCY);
    auto* play = guitest::Find<QPushButton>(window.get(), IDC_PLAY_STOP);
    ASSERT_TRUE(latency && play);
    TypeInto(latency, "30");
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    QTest::qWait(1500); // a few checks that find the play held
    EXPECT_FALSE(window->IsStopped());
    EXPECT_TRUE(prompt.Boxes().empty());

    // The daemon's log lines carry its process id: "quellin[PID]: ...".
    const std::string text = log_text();
    const auto at = text.find("quellin[");
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_EQ(::kill(static_cast<pid_t>(std::stol(text.substr(at + 8))), SIGTERM), 0);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->IsStopped(); }, 3000))
        << "still playing after " << clock.elapsed() << " ms";
    std::printf("the window showed the lost play after %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    EXPECT_EQ(play->text(), "&Play");
    EXPECT_FALSE(driver->IsPlaying());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_NE(prompt.Boxes()[0].text.find(device), std::string::npos) << prompt.Boxes()[0].text;
    QTest::qWait(1500); // told once
    EXPECT_EQ(prompt.Boxes().size(), 1u);

    // The daemon is back: Play plays.
    lab_options().start_wire(lab());
    ASSERT_TRUE(QTest::qWaitFor([&] { return can_connect(); }, 10000)) << log_text();
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().size() < 2 ? "" : prompt.Boxes()[1].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    EXPECT_EQ(play->text(), "Sto&p");
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(window->IsStopped());
    EXPECT_TRUE(StoppedWithin(std::chrono::seconds(10)));
}

// A daemon held by SIGSTOP under a play keeps its control socket open and answers
// nothing. The window keeps answering input while its play check waits on the control
// device; once the check's call times out the window shows the lost play and tells the
// user once; once the daemon runs again the session has been let go and Play plays.
TEST_F(ManagerOnDaemon, ADaemonThatHangsUnderAPlayHoldsNoInputAndIsShownAsLost) {
    window->OnCommand(ID_VIEW_ADVANCED);
    auto* latency = guitest::Find<CNumericEdit>(window.get(), IDC_MANUAL_LATENCY);
    auto* play = guitest::Find<QPushButton>(window.get(), IDC_PLAY_STOP);
    ASSERT_TRUE(latency && play);
    TypeInto(latency, "30");
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();

    const std::string text = log_text();
    const auto at = text.find("quellin[");
    ASSERT_NE(at, std::string::npos) << text;
    const pid_t daemon = static_cast<pid_t>(std::stol(text.substr(at + 8)));
    // Whatever fails below, the daemon runs again for the lab to stop it.
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{daemon};
    ASSERT_EQ(::kill(daemon, SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    {
        guitest::ResponsivenessProbe probe(window.get());
        // The library's call timeout (10 s), then the next tick of the check.
        const bool shown = QTest::qWaitFor([&] { return window->IsStopped(); }, 25000);
        probe.Stop();
        std::printf("a hung daemon under a play: %lld ms until the window showed it lost; input "
                    "waited %lld ms (95th percentile), %lld ms at most\n",
                    static_cast<long long>(clock.elapsed()), probe.PercentileMs(0.95),
                    probe.LongestMs());
        EXPECT_GT(probe.Samples(), 100u);
        EXPECT_LT(probe.PercentileMs(0.95), 100) << "longest " << probe.LongestMs() << " ms";
        ASSERT_TRUE(shown) << "still playing after " << clock.elapsed() << " ms";
    }
    EXPECT_EQ(play->text(), "&Play");
    EXPECT_FALSE(driver->IsPlaying());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_NE(prompt.Boxes()[0].text.find(device), std::string::npos) << prompt.Boxes()[0].text;
    QTest::qWait(1500); // told once
    EXPECT_EQ(prompt.Boxes().size(), 1u);

    // The daemon runs again: the library's session goes, and Play plays.
    ASSERT_EQ(::kill(daemon, SIGCONT), 0);
    ASSERT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(30)));
    ASSERT_TRUE(StoppedWithin(std::chrono::seconds(10))) << log_text();
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().size() < 2 ? "" : prompt.Boxes()[1].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(window->IsStopped());
    EXPECT_TRUE(StoppedWithin(std::chrono::seconds(10)));
    EXPECT_EQ(prompt.Boxes().size(), 1u);
}

// The manager window with the filter dialog as its Edit > Filter Definition... seam; the
// dialog's Add is given the addresses of filterAnswers.
class FilterOnDaemon : public ManagerOnDaemon {
protected:
    void AddSeams(ManagerSeams& seams) override {
        filterDialog = std::make_unique<CIpFilterDlg>(&prompt);
        filterDialog->SetAddressAsker([this](const std::string&) {
            return filterAnswers.empty() ? std::optional<std::string>()
                                         : std::optional<std::string>(filterAnswers.front());
        });
        seams.filterDialog = [this]() -> IFilterDialog* { return filterDialog.get(); };
    }

    std::unique_ptr<CIpFilterDlg> filterDialog;
    std::vector<std::string> filterAnswers;
};

// Edit > Filter Definition...: one address excluded by mouse clicks in the dialog; the
// play record carries it beside the management server, and the daemon delays the other
// address's traffic but not its.
TEST_F(FilterOnDaemon, AnAddressExcludedInTheFilterDialogIsNotDelayedWhileAnotherIs) {
    constexpr const char* kExcluded = "198.18.0.3";
    lab().add_address(lab().network(), kNetworkIf, std::string(kExcluded) + "/24");
    filterAnswers = {kExcluded};
    QTimer::singleShot(0, filterDialog.get(), [this] {
        QTest::mouseClick(guitest::Find<QPushButton>(filterDialog.get(), IDC_FILTER_ADD),
                          Qt::LeftButton);
        EXPECT_TRUE(
            guitest::Find<QRadioButton>(filterDialog.get(), IDC_FILTER_EXCLUDE)->isChecked());
        QTest::mouseClick(guitest::Find<QPushButton>(filterDialog.get(), IDOK), Qt::LeftButton);
        if (filterDialog->isVisible())
            filterDialog->reject();
    });
    window->OnCommand(ID_EDIT_FILTER);
    ASSERT_EQ(window->Model().GetFilter().addresses, std::vector<std::string>{kExcluded});
    EXPECT_EQ(window->Model().GetFilter().mode, 0);

    auto* latency = guitest::Find<CNumericEdit>(window.get(), IDC_MANUAL_LATENCY);
    auto* play = guitest::Find<QPushButton>(window.get(), IDC_PLAY_STOP);
    ASSERT_TRUE(latency && play);
    TypeInto(latency, "50");
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped())
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text) << log_text();
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    const PlayParameters& played = *window->Model().GetPlayParameters();
    EXPECT_EQ(played.filterMode, 0u);
    ASSERT_EQ(played.filterCount, 2u); // the dialog's address, then the stand-in's
    EXPECT_EQ(played.filterAddresses[0], e2e::ipv4_of(kExcluded));
    EXPECT_EQ(played.filterAddresses[1], e2e::ipv4_of("127.0.0.1"));

    const double excludedMs = MedianDelayMs(47110, kExcluded);
    const double delayedMs = MedianDelayMs(47111);
    std::printf("excluded %s: one-way delay median %.2f ms; %s: %.2f ms\n", kExcluded, excludedMs,
                kNetworkV4, delayedMs);
    EXPECT_LT(excludedMs, 20.0);
    EXPECT_GE(delayedMs, 48.0);
    EXPECT_LE(delayedMs, 65.0);

    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(window->IsStopped());
    EXPECT_TRUE(prompt.Boxes().empty()) << prompt.Boxes()[0].text;
}

} // namespace
