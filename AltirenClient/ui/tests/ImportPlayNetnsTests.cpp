// From the management server to the wire: the manager window, with its real pages, runs
// in the station namespace beside the management-server stand-in; a scenario document is
// imported through the download dialog with a click on its link, played on the real daemon
// with the Play button, and its latency measured on real UDP traffic from the station to
// the network, before, during and after the play.
#include "AltirenClient/DriverMngr.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "DaemonLab.h"
#include "ManagerFakes.h"
#include "PageDriving.h"
#include "PagesFixture.h"

#include "AltirenClient/ServerRequest.h"

#include <QPushButton>

#include <cstdio>

using namespace netnslab;
using namespace pagestest;

namespace {

constexpr int kScenarioLatencyMs = 60;

class ImportPlayOnDaemon : public e2e::DaemonLab {
protected:
    void SetUp() override {
        e2e::DaemonLab::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        guitest::App();
        ASSERT_TRUE(XMLInitModule());
        // The client runs where the station's interface is, as it would on the station,
        // and so does its management server: the stand-in listens on the station's
        // loopback.
        station = std::make_unique<NetnsGuard>(lab().station());
        mgmt::ServerOptions options;
        std::filesystem::create_directories(dir / "files");
        options.filesDir = (dir / "files").string();
        server = std::make_unique<mgmt::MgmtServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& s) {
            s.AddUser({kUser, kPassword, "ACC-7", ""});
        });
        testsupport::write_file(
            dir / "files" / "Branch office.tvl",
            ScenarioDocument(Ranges("INCLUDE_IPS", {kNetworkV4}), kScenarioLatencyMs));

        // The client's settings beside the daemon's keys in the lab's registry.
        platform::registry::Registry registry;
        using platform::registry::Hive;
        using platform::registry::Value;
        ASSERT_EQ(registry.createKey(Hive::LocalMachine, CClientSettings::kSettingsKey), 0);
        ASSERT_EQ(registry.createKey(Hive::LocalMachine, CClientSettings::kInstallKey), 0);
        for (const auto& [name, value] :
             {std::pair<const char*, std::string>{"AltirenServerIP", server->HostPort()},
              {"AltirenBrowser", "browse.php"},
              {"AccountID", "ACC-7"}})
            ASSERT_EQ(registry.setValue(Hive::LocalMachine, CClientSettings::kSettingsKey, name,
                                        Value::Sz(value)),
                      0);
        ASSERT_EQ(registry.setValue(Hive::LocalMachine, CClientSettings::kInstallKey,
                                    "InstallFolder", Value::Sz(FENDREL_DTD_DIR)),
                  0);
        ASSERT_TRUE(CClientSettings().bSetUserDetails(kUser, kPassword, true));
        ClientState::SetServerOnline(true);

        driver.SetPrompt(&prompt);
        ASSERT_TRUE(driver.StartupCheck());
        driver.SetActiveAdapterAddress(kStationV4);
        context.driver = &driver;
        context.application = &application;
        context.prompt = &prompt;
        context.seams.presetPage = CAltirenPagePreset::Factory();
        context.seams.importPage = CAltirenPageImport::Factory();
        manager = std::make_unique<CAltirenMngr>(context);
    }

    void TearDown() override {
        if (manager && !manager->IsStopped())
            manager->OnCommand(ID_FILE_PLAY);
        manager.reset();
        // The stop's report parses its reply with the XML library, which ends with the
        // program: it is waited for, as the client does at its exit.
        EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(15)));
        if (server)
            server->Stop();
        station.reset();
        e2e::DaemonLab::TearDown();
    }

    // The one-way delay of UDP probes from the station to the network, median in ms.
    double MedianDelayMs() {
        const UdpResult r = run_udp(udp(100, 200));
        return r.recv.num("delay_us_median") / 1000.0;
    }

    std::unique_ptr<NetnsGuard> station;
    std::unique_ptr<mgmt::MgmtServer> server;
    guitest::CActingPrompt prompt;
    CDriverMngr driver;
    FakeApplication application;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> manager;
};

TEST_F(ImportPlayOnDaemon, AnImportedDocumentPlaysItsLatencyOnRealTraffic) {
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    const double before = MedianDelayMs();

    pagedriving::WhileBrowserRuns([](CAltirenPageBrowser* dialog) {
        if (!pagedriving::ClickLink(dialog->View(), "Branch office.tvl")) {
            ADD_FAILURE() << "no link to the scenario";
            dialog->reject();
        }
    });
    manager->OnCommand(ID_FILE_SELECT_NETWORK);
    ASSERT_EQ(manager->CurrentPage(), 2);
    ASSERT_TRUE(manager->IsPlayButtonEnabled());

    auto* play = guitest::Find<QPushButton>(manager.get(), IDC_PLAY_STOP);
    ASSERT_NE(play, nullptr);
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_FALSE(manager->IsStopped()) << driver.GetLastErrorText() << "\n" << log_text();
    EXPECT_TRUE(prompt.Boxes().empty()) << prompt.Boxes().front().text;
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    const double during = MedianDelayMs();

    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(manager->IsStopped()) << driver.GetLastErrorText();
    const double after = MedianDelayMs();

    std::printf("one-way UDP delay median: before %.2f ms, playing %.2f ms (scenario %d ms), "
                "after %.2f ms\n",
                before, during, kScenarioLatencyMs, after);
    EXPECT_LT(before, 20.0);
    // The scenario's latency, one way and once: never less, and late by no more than a
    // loaded machine's scheduling adds (2.7 ms was seen beside a parallel build). How
    // closely the delay is held is the benchmark's figure (bench/netns).
    EXPECT_GE(during, kScenarioLatencyMs - 1.0);
    EXPECT_LE(during, kScenarioLatencyMs + 20.0);
    EXPECT_LT(after, 20.0);
}

} // namespace
