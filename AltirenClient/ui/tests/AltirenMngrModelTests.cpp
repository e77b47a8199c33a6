// The emulation manager's decisions without a widget: the gate, the questions and
// messages of play and stop, the play record from the pages and the filter, the
// management server's exclusion, the lock, exit. The reports go to the management-server
// stand-in on the loopback; the driver is a fake control library.
#include "AltirenUi/AltirenMngrModel.h"

#include "AltirenClient/ServerRequest.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"
#include "FakeNuvexControl.h"
#include "ManagerFakes.h"
#include "ProxyTestFixture.h"

#include <arpa/inet.h>

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

class FakeView : public IManagerView {
public:
    bool exists = true;
    bool visible = true;
    const IManagerPage* shown = nullptr;
    int beeps = 0;
    int buttonUpdates = 0;
    std::vector<bool> buttonLocks;

    bool WindowExists() const override { return exists; }
    bool IsWindowVisible() const override { return visible; }
    bool IsPageShown(const IManagerPage& page) const override { return &page == shown; }
    void LockPageButtons(bool lock) override { buttonLocks.push_back(lock); }
    void UpdatePlayButton() override { ++buttonUpdates; }
    void Beep() override { ++beeps; }
};

constexpr const char* kAdapter = "198.18.0.1";

class MngrModel : public ProxyTest {
protected:
    void SetUp() override {
        ProxyTest::SetUp();
        if (HasFatalFailure())
            return;
        driver = std::make_unique<CDriverMngr>(control);
        driver->SetActiveAdapterAddress(kAdapter);
        context.driver = driver.get();
        context.application = &application;
        context.prompt = &prompt;
        context.control = &control;
        context.seams.statisticGUIManager = [this](const StatisticGUIContext& gui) {
            guiContext = gui;
            auto made = std::make_unique<FakeStatisticGUI>();
            statistics = made.get();
            return made;
        };
        Make();
    }

    void Make() {
        model.reset();
        model = std::make_unique<CAltirenMngrModel>(context, view);
        model->SetPages(&preset, &manual, &import);
        view.shown = &manual;
        model->OnWindowInitialised();
    }

    void TearDown() override {
        model.reset();
        // The reports parse their replies with the XML library that the stand-in's stop
        // ends: they finish first.
        EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(10)));
        ProxyTest::TearDown();
    }

    // The EVENT_TYPE of every request the stand-in has seen, in order.
    // The reports go off the GUI thread: they are counted once sent.
    std::vector<std::string> Events() const {
        EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(10)));
        std::vector<std::string> events;
        for (const mgmt::RecordedRequest& request : server->Requests())
            events.push_back(mgmt::Attribute(request.attributes, "EVENT_TYPE"));
        return events;
    }
    size_t Stops() const {
        size_t n = 0;
        for (const std::string& event : Events())
            n += event == "CLIENT_STOP";
        return n;
    }
    const PlayParameters& Record() { return *model->GetPlayParameters(); }
    static uint32_t Net(const char* dotted) { return inet_addr(dotted); }

    // One tick of the session check, waited for until it is answered: true when the
    // playing state ended.
    bool Check() {
        guitest::App(); // the answer comes through the event loop
        const bool before = model->IsStopped();
        model->CheckPlaySession();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !model->IsSessionCheckRunning(); }, 5000));
        return !before && model->IsStopped();
    }

    void Play() {
        model->OnPlayCommand();
        ASSERT_FALSE(model->IsStopped()) << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text);
    }

    FakeNuvexControl control;
    std::unique_ptr<CDriverMngr> driver;
    FakeApplication application;
    guitest::CActingPrompt prompt;
    FakeView view;
    FakeEffectsPage preset, manual;
    FakeImportPage import;
    FakeStatisticGUI* statistics = nullptr;
    StatisticGUIContext guiContext;
    ManagerContext context;
    std::unique_ptr<CAltirenMngrModel> model;
};

TEST_F(MngrModel, ASecondPressWhileTheFirstShowsAQuestionOnlyBeeps) {
    statistics->graphsOpen = true;
    int pressesDuringQuestion = 0;
    prompt.onShow = [&](const CScriptedPrompt::Shown&) {
        EXPECT_TRUE(CAltirenMngrModel::IsQuestionOnScreen());
        EXPECT_FALSE(CAltirenMngrModel::IsGateOpen());
        model->OnPlayCommand(); // the second press
        ++pressesDuringQuestion;
    };
    prompt.Answer(IDCANCEL);
    model->OnPlayCommand();
    EXPECT_EQ(pressesDuringQuestion, 1);
    EXPECT_EQ(view.beeps, 1);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_CLOSE_GRAPHS));
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OKCANCEL | MB_ICONWARNING);
    // Cancel: nothing played, nothing reported, the button as it was.
    EXPECT_EQ(control.playCalls, 0);
    EXPECT_TRUE(model->IsStopped());
    EXPECT_EQ(view.buttonUpdates, 1); // only the window's initialisation
    EXPECT_TRUE(statistics->played.empty());
    EXPECT_EQ(server->RequestCount(), 0u);
    EXPECT_TRUE(CAltirenMngrModel::IsGateOpen());
    EXPECT_FALSE(CAltirenMngrModel::IsQuestionOnScreen());

    // The gate is also closed while a failed play shows its message.
    statistics->graphsOpen = false;
    control.playResult = 21;
    prompt.onShow = [&](const CScriptedPrompt::Shown&) { model->OnPlayCommand(); };
    model->OnPlayCommand();
    EXPECT_EQ(view.beeps, 2);
    EXPECT_EQ(control.playCalls, 1);
}

TEST_F(MngrModel, GraphWindowsOpenAndOkPlaysAndTellsTheStatisticsWindows) {
    statistics->graphsOpen = true;
    statistics->listVisible = true;
    prompt.Answer(IDOK);
    Play();
    EXPECT_EQ(statistics->played, std::vector<bool>{true});
    EXPECT_TRUE(guiContext.isPlaying());
    EXPECT_EQ(guiContext.statistics, &model->GetStatisticsManager());
    // The list never filters out the active adapter's own address: it asks the driver's.
    ASSERT_TRUE(guiContext.activeAdapterAddress);
    EXPECT_EQ(guiContext.activeAdapterAddress(), kAdapter);

    // With statistics switched off nothing is asked and the windows are not told.
    model->OnPlayCommand();
    ASSERT_TRUE(model->IsStopped());
    EXPECT_EQ(statistics->stopped, 1);
    platform::registry::Registry().setValue(platform::registry::Hive::LocalMachine,
                                            CClientSettings::kSettingsKey, "EnableStatistics",
                                            platform::registry::Value::Dword(0));
    Play();
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(statistics->played.size(), 1u);
}

TEST_F(MngrModel, APlayLocksTheControlsAndAStopUnlocksThemAndReportsIt) {
    manual.latency = 50;
    manual.bandwidth = 10000;
    Play();
    EXPECT_EQ(control.playCalls, 1);
    EXPECT_EQ(control.playedAdapterAddress, Net(kAdapter));
    EXPECT_TRUE(application.lastInteractive);
    EXPECT_EQ(application.trayStarts, 1);
    EXPECT_TRUE(preset.locked && manual.locked && import.locked);
    EXPECT_EQ(view.buttonLocks, std::vector<bool>{true});
    EXPECT_EQ(view.buttonUpdates, 2);
    EXPECT_EQ(server->RequestCount(), 0u); // a good play is not reported
    EXPECT_EQ(Record().minDelay, 50);
    EXPECT_EQ(Record().eastOutBandwidth, 1000.0);

    model->OnPlayCommand();
    EXPECT_TRUE(model->IsStopped());
    EXPECT_EQ(control.stopCalls, 1);
    EXPECT_FALSE(manual.locked);
    EXPECT_EQ(view.buttonLocks, (std::vector<bool>{true, false}));
    EXPECT_EQ(application.trayStops, 1);
    EXPECT_EQ(Events(), std::vector<std::string>{"CLIENT_STOP"});
    EXPECT_EQ(statistics->stopped, 1);
}

TEST_F(MngrModel, AnExcludeFilterHoldingTheAdaptersOwnAddressIsRefusedAndReportedOnce) {
    model->GetFilter().addresses = {"10.1.1.1", kAdapter};
    model->OnPlayCommand();
    EXPECT_TRUE(model->IsStopped());
    EXPECT_EQ(control.playCalls, 0);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text,
              "The active adapter IP address '198.18.0.1' cannot be in the filter IP list.");
    EXPECT_EQ(prompt.Boxes()[0].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(Stops(), 1u);
    EXPECT_FALSE(manual.locked);

    // Included, the same address is no fault.
    model->GetFilter().mode = 1;
    Play();
}

TEST_F(MngrModel, TheServerIsTheOnlyExcludeEntryWithoutAFilterAndNeverAddedToAnInclude) {
    const uint32_t server = Net("127.0.0.1");
    Play();
    EXPECT_EQ(Record().filterMode, 0u);
    ASSERT_EQ(Record().filterCount, 1u);
    EXPECT_EQ(Record().filterAddresses[0], server);
    model->OnPlayCommand();

    model->GetFilter().mode = 1;
    model->GetFilter().addresses = {"10.0.0.7"};
    Play();
    EXPECT_EQ(Record().filterMode, 1u);
    ASSERT_EQ(Record().filterCount, 1u);
    EXPECT_EQ(Record().filterAddresses[0], Net("10.0.0.7"));
    model->OnPlayCommand();

    // Eleven entries fill the record: the server is left out and the play goes on.
    model->GetFilter().mode = 0;
    model->GetFilter().addresses.clear();
    for (int i = 1; i <= 11; ++i)
        model->GetFilter().addresses.push_back("10.0.0." + std::to_string(i));
    Play();
    EXPECT_EQ(Record().filterCount, 11u);
    for (uint32_t i = 0; i < 11; ++i)
        EXPECT_NE(Record().filterAddresses[i], server);
    model->OnPlayCommand();

    // More than eleven never run past the record's slots.
    model->GetFilter().addresses.push_back("10.0.0.12");
    Play();
    EXPECT_EQ(Record().filterCount, 11u);
    EXPECT_EQ(Record().filterAddresses[10], Net("10.0.0.11"));
    model->OnPlayCommand();

    // With ExcludeServerIP off the server is not added.
    model->GetFilter().addresses.clear();
    platform::registry::Registry().setValue(platform::registry::Hive::LocalMachine,
                                            CClientSettings::kSettingsKey, "ExcludeServerIP",
                                            platform::registry::Value::Dword(0));
    Play();
    EXPECT_EQ(Record().filterCount, 0u);
}

TEST_F(MngrModel, AServerAddressThatDoesNotResolveOrIsTheAdapterIsNotExcluded) {
    SetString("AltirenServerIP", "no-such-host.invalid");
    EXPECT_TRUE(model->AddServerToExcludeList());
    Play();
    EXPECT_EQ(Record().filterCount, 0u); // not 255.255.255.255
    model->OnPlayCommand();

    // A server on the adapter's own address: excluding it would refuse every play.
    SetString("AltirenServerIP", kAdapter);
    Play();
    EXPECT_EQ(Record().filterCount, 0u);
    EXPECT_EQ(control.playCalls, 2);
}

TEST_F(MngrModel, BandwidthLossAndLatencyGoIntoTheRecord) {
    model->SetUserEmuEffects(0, 0, 4294967295.0);
    EXPECT_EQ(Record().eastOutBandwidth, 4294967295.0);
    EXPECT_EQ(Record().eastInBandwidth, 4294967295.0);
    EXPECT_EQ(Record().lossType, 0);

    model->SetUserEmuEffects(50, 0.5, 1000);
    EXPECT_EQ(Record().eastOutBandwidth, 100.0);
    EXPECT_EQ(Record().eastInBandwidth, 100.0);
    // The West gateway keeps its defaults: the limit is the station's uplink and downlink.
    EXPECT_EQ(Record().westOutBandwidth, 4294967295.0);
    EXPECT_EQ(Record().westInBandwidth, 4294967295.0);
    EXPECT_EQ(Record().lossType, 2);
    EXPECT_EQ(Record().randomLoss, 0.5);
    EXPECT_EQ(Record().latencyType, 0);
    EXPECT_EQ(Record().minDelay, 50);
    EXPECT_EQ(Record().maxDelay, 50);

    model->SetUserEmuEffects(-5, 0, 144);
    EXPECT_EQ(Record().minDelay, 0);
    EXPECT_DOUBLE_EQ(Record().eastOutBandwidth, 14.4);
    model->SetUserEmuEffects(70000, 0, 144);
    EXPECT_EQ(Record().maxDelay, 65535);

    // Played from the page: 1544 Kbps typed is 15440 tenths, 1544.0 both ways.
    manual.bandwidth = 15440;
    Play();
    EXPECT_EQ(Record().eastOutBandwidth, 1544.0);
    EXPECT_EQ(Record().eastInBandwidth, 1544.0);
}

TEST_F(MngrModel, AFailedStopKeepsStopAndTheLock) {
    Play();
    control.stopResult = -1;
    control.statusState = 1; // the driver still emulates
    model->OnPlayCommand();
    EXPECT_FALSE(model->IsStopped());
    EXPECT_TRUE(driver->IsPlaying());
    EXPECT_TRUE(manual.locked);
    EXPECT_EQ(view.buttonLocks, std::vector<bool>{true});
    EXPECT_EQ(view.buttonUpdates, 2);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Failed to communicate with driver");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(server->RequestCount(), 0u);
    EXPECT_EQ(statistics->stopped, 0);
    EXPECT_EQ(application.trayStops, 0);

    control.stopResult = 0;
    model->OnPlayCommand();
    EXPECT_TRUE(model->IsStopped());
}

TEST_F(MngrModel, AStopAfterTheDriverWentAwayIsShownAndEndsThePlay) {
    Play();
    control.stopResult = -1;
    control.statusResult = -1; // nothing answers at the control device
    model->OnPlayCommand();
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Failed to communicate with driver");
    EXPECT_TRUE(model->IsStopped());
    EXPECT_FALSE(driver->IsPlaying());
    EXPECT_FALSE(manual.locked);
    EXPECT_EQ(Stops(), 1u);

    // The daemon is back: the user plays again.
    control.stopResult = 0;
    control.statusResult = 0;
    control.statusState = 0;
    Play();
    EXPECT_FALSE(model->IsStopped());
    EXPECT_TRUE(driver->IsPlaying());
}

// The daemon goes under a play: the session check ends the playing state as a stop that
// found nothing left does, tells the user once, and Play works once the daemon is back.
TEST_F(MngrModel, APlayLostWithTheDaemonEndsThePlayingStateAndIsToldOnce) {
    control.statusState = 1;
    Play();
    EXPECT_FALSE(Check()); // still playing: nothing happens
    EXPECT_EQ(control.statusCalls, 1);
    EXPECT_TRUE(prompt.Boxes().empty());

    control.statusResult = NUVEX_RC_NO_DRIVER; // the control device no longer answers
    EXPECT_TRUE(Check());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text,
              FormatClientString(IDS_EMULATION_LOST, CDriverMngr::ControlDevicePath().c_str()));
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_TRUE(model->IsStopped());
    EXPECT_FALSE(driver->IsPlaying());
    EXPECT_FALSE(manual.locked);
    EXPECT_EQ(application.trayStops, 1);
    EXPECT_EQ(statistics->stopped, 1);
    EXPECT_EQ(Stops(), 1u);
    EXPECT_EQ(control.stopCalls, 1); // the library's session let go
    // Once: later checks find nothing playing.
    EXPECT_FALSE(Check());
    EXPECT_EQ(prompt.Boxes().size(), 1u);

    // The daemon is back: Play plays.
    control.statusResult = 0;
    Play();
    EXPECT_TRUE(driver->IsPlaying());
    // A daemon restarted under the play holds none: the same end.
    control.statusState = 0;
    EXPECT_TRUE(Check());
    EXPECT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_TRUE(model->IsStopped());
    // A daemon that hangs with its socket open: the status request times out (1).
    control.statusState = 1;
    Play();
    control.statusResult = 1;
    EXPECT_TRUE(Check());
    EXPECT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_FALSE(driver->IsPlaying());
    control.statusResult = 0;

    // A play the driver manager ended behind the window ends the window's quietly.
    Play();
    driver->Stop();
    model->CheckPlaySession();
    EXPECT_TRUE(model->IsStopped());
    EXPECT_FALSE(model->IsSessionCheckRunning());
    EXPECT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_FALSE(manual.locked);
    EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(10)));
    EXPECT_EQ(control.stopCalls, 4);
}

// A daemon that holds the status request: the check waits off the GUI thread, one at a
// time, and its answer for a play that ended meanwhile changes nothing.
TEST_F(MngrModel, TheSessionCheckWaitsOffTheGuiThreadAndALateAnswerIsDropped) {
    guitest::App();
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false, release = false;
    control.onStatus = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    };
    auto waitHeld = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return held; });
    };
    control.statusState = 1;
    Play();
    model->CheckPlaySession(); // returns while the daemon holds the request
    ASSERT_TRUE(waitHeld());
    EXPECT_TRUE(model->IsSessionCheckRunning());
    model->CheckPlaySession(); // the next tick waits for it
    model->CheckPlaySession();

    // The user stops and plays again while the check waits; then the daemon answers that
    // the play is gone: that was the first play, not this one.
    model->OnPlayCommand();
    ASSERT_TRUE(model->IsStopped());
    Play();
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(control.statusCalls, 1);
        control.statusResult = NUVEX_RC_NO_DRIVER;
        release = true;
        changed.notify_all();
    }
    ASSERT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(5)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(model->IsStopped());
    EXPECT_TRUE(driver->IsPlaying());
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_EQ(control.stopCalls, 1); // the user's stop only

    // The play of now is asked about afresh.
    EXPECT_TRUE(Check());
    EXPECT_EQ(control.statusCalls, 2);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
}

// Letting a lost session go stops the library's session, which a hung daemon holds for
// the library's call timeouts: it runs off the GUI thread, and a Play waits for it so
// that it never stops the new play.
TEST_F(MngrModel, ALostSessionIsLetGoOffTheGuiThreadBeforeTheNextPlay) {
    std::atomic<bool> released{false};
    control.onStop = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        released = true;
    };
    control.statusState = 1;
    Play();
    control.statusResult = NUVEX_RC_NO_DRIVER;
    EXPECT_TRUE(Check());
    EXPECT_FALSE(released); // the window was not held by the stop
    control.statusResult = 0;
    Play();
    EXPECT_TRUE(released); // the play waited for it
    EXPECT_TRUE(driver->IsPlaying());
    control.onStop = nullptr;
    ASSERT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(5)));
    EXPECT_EQ(control.stopCalls, 1);
    EXPECT_EQ(control.playCalls, 2);
}

TEST_F(MngrModel, FailedPlaysAreShownReportedAndLeaveTheStateAsItWas) {
    // The page refuses its data: 61209, and the record is not left half filled.
    manual.exchangeWorks = false;
    manual.latency = 99;
    model->OnPlayCommand();
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text,
              "Cannot play the emulation due to internal parameters settings.");
    EXPECT_EQ(Stops(), 1u);
    manual.exchangeWorks = true;

    // No valid adapter: reported; the check runs interactively, so that it tells the user
    // why (the daemon unreachable, no adapter, a choice of nothing usable) and the window
    // adds no second box.
    application.adapterValid = false;
    application.lastInteractive = false;
    model->OnPlayCommand();
    EXPECT_TRUE(application.lastInteractive);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(Stops(), 2u);
    application.adapterValid = true;

    // The driver refuses: its text.
    control.playResult = 12;
    model->OnPlayCommand();
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, "Invalid Packet Loss settings");
    EXPECT_EQ(Stops(), 3u);
    EXPECT_TRUE(model->IsStopped());
    EXPECT_FALSE(manual.locked);
    EXPECT_EQ(application.trayStarts, 0);

    // A scenario that does not convert: 61209; a later play while the window is hidden
    // plays the defaults, not what the conversion left.
    control.playResult = 0;
    view.shown = &import;
    import.sourceKind = 7;
    model->OnPlayCommand();
    EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_CANNOT_PLAY_PARAMETERS));
    view.visible = false;
    Play();
    PlayParameters defaults{};
    NuvexSetDefaultPlayParams(&defaults);
    EXPECT_EQ(Record().latencyType, defaults.latencyType);
    EXPECT_EQ(Record().minDelay, defaults.minDelay);
    EXPECT_EQ(Record().lossType, defaults.lossType);
    EXPECT_EQ(Record().filterCount, 1u); // the server, as the window keeps from the start
}

TEST_F(MngrModel, PlayingWhileTheWindowIsHiddenTakesTheRecordAsItStands) {
    manual.latency = 80;
    Play();
    model->OnPlayCommand();
    manual.latency = 20;
    view.visible = false;
    Play();
    EXPECT_EQ(Record().minDelay, 80);
}

TEST_F(MngrModel, ExitWhilePlayingStopsAndReportsStopThenShutdown) {
    Play();
    model->OnAppExit();
    EXPECT_EQ(control.stopCalls, 1);
    EXPECT_FALSE(driver->IsPlaying());
    EXPECT_EQ(Events(), (std::vector<std::string>{"CLIENT_STOP", "CLIENT_SHUTDOWN"}));

    // Not playing: nothing to stop, the same two reports.
    model->OnAppExit();
    EXPECT_EQ(control.stopCalls, 1);
    EXPECT_EQ(Events().size(), 4u);
}

TEST_F(MngrModel, AWindowMadeWhileAnEmulationPlaysOffersStop) {
    Play();
    model->OnAppExit(); // the window goes; the application keeps its driver manager
    control.stopResult = 0;
    driver->Play(model->GetPlayParameters().get());
    ASSERT_TRUE(driver->IsPlaying());
    Make();
    EXPECT_FALSE(model->IsStopped());
    EXPECT_TRUE(manual.locked);
    model->OnPlayCommand();
    EXPECT_TRUE(model->IsStopped());
    EXPECT_FALSE(driver->IsPlaying());
}

TEST_F(MngrModel, TheLockReachesAnOpenFilterDialogAndOptionsSheet) {
    FakeFilterDialog filter;
    FakeOptionsSheet options;
    model->SetOpenFilterDialog(&filter);
    model->SetOpenOptionsSheet(&options);
    Play();
    model->OnPlayCommand();
    EXPECT_EQ(filter.locks, (std::vector<bool>{true, false}));
    EXPECT_EQ(options.okStates, (std::vector<bool>{false, true}));
}

TEST_F(MngrModel, ResetClearsTheFilterAndResetsEveryPage) {
    model->GetFilter() = CEmulationFilter{true, 1, {"10.0.0.1"}};
    model->ResetUserSettings();
    EXPECT_FALSE(model->GetFilter().overrideImported);
    EXPECT_EQ(model->GetFilter().mode, 0);
    EXPECT_TRUE(model->GetFilter().addresses.empty());
    EXPECT_EQ(preset.resets, 1);
    EXPECT_EQ(manual.resets, 1);
    EXPECT_EQ(import.resets, 1);
}

} // namespace
