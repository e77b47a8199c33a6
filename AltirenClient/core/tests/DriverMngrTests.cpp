#include "AltirenClient/DriverMngr.h"
#include "AltirenClient/StringTable.h"
#include "AltirenClientTest/ScriptedPrompt.h"
#include "FakeNuvexControl.h"

#include <TestSupport/TempDir.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

class DriverMngrTest : public ::testing::Test {
protected:
    void SetUp() override {
        mngr.SetPrompt(&prompt);
        mngr.SetQuitHandler([this](int code) { quitCodes.push_back(code); });
        mngr.SetActiveAdapterAddress("198.18.0.1");
        NuvexSetDefaultPlayParams(&params);
    }

    testsupport::TempDir dir{"drivermngr"};
    FakeNuvexControl control;
    CScriptedPrompt prompt;
    CDriverMngr mngr{control, Registry(dir.str())};
    std::vector<int> quitCodes;
    PlayParameters params{};
};

// Code to text.

struct CodeText {
    int code;
    const char* text;
};

const char* const kUnknown = "Unknown";
const char* const kComm = "Failed to communicate with driver";

const CodeText kCodeTexts[] = {
    CodeText{INT_MIN, kUnknown},
    CodeText{-2, kUnknown},
    CodeText{-1, kComm},
    CodeText{0, kUnknown},
    CodeText{1, kUnknown},
    CodeText{2, kUnknown},
    CodeText{3, "Invalid Latency settings"},
    CodeText{9, "Invalid Latency settings"},
    CodeText{10, "Invalid Packet Loss settings"},
    CodeText{20, "Invalid Packet Loss settings"},
    CodeText{21, "Invalid Bandwidth settings"},
    CodeText{22, "Invalid Bandwidth settings"},
    CodeText{23, "Invalid Bucket Limitation settings"},
    CodeText{25, "Invalid Bucket Limitation settings"},
    CodeText{26, "Invalid Packet Overhead settings"},
    CodeText{27, "Invalid Packet Overhead settings"},
    CodeText{28, "Invalid Random Early Detection (RED) settings"},
    CodeText{30, "Invalid Random Early Detection (RED) settings"},
    CodeText{31, kUnknown},
    CodeText{32, kUnknown},
    CodeText{33, kUnknown},
    CodeText{34, "Invalid Out Of Order settings"},
    CodeText{37, "Invalid Out Of Order settings"},
    CodeText{38, "Invalid Duplication settings"},
    CodeText{41, "Invalid Duplication settings"},
    CodeText{42, "Invalid Fragmentation settings"},
    CodeText{44, "Invalid Fragmentation settings"},
    CodeText{45, "Invalid Bit Error settings"},
    CodeText{48, "Invalid Bit Error settings"},
    CodeText{49, "Invalid Disconnect settings"},
    CodeText{52, "Invalid Disconnect settings"},
    CodeText{53, "Invalid Congestion settings"},
    CodeText{60, "Invalid Congestion settings"},
    CodeText{61, "Invalid Include/Exclude settings"},
    CodeText{64, "Invalid Include/Exclude settings"},
    CodeText{65, kUnknown},
    CodeText{66, "Invalid Imported Parameters settings"},
    CodeText{70, "Invalid Imported Parameters settings"},
    CodeText{71, "Invalid Active Adapter settings"},
    CodeText{73, "Invalid Active Adapter settings"},
    CodeText{74, "Could not provide statistics as Pramitone is not playing"},
    CodeText{75, "Cannot change parameters in play mode"},
    CodeText{76, "Invalid Packet List settings"},
    CodeText{78, "Invalid Packet List settings"},
    CodeText{79, kUnknown},
    CodeText{83, kUnknown},
    CodeText{84, "Driver version and application version do not match"},
    CodeText{85, "Driver version and application version do not match"},
    CodeText{86, "Pramitone is already in Play mode"},
    CodeText{87, kComm},
    CodeText{88, kUnknown},
    CodeText{INT_MAX, kUnknown}};

TEST(CodeToTextTest, EveryRangeBoundaryGivesItsText) {
    for (const CodeText& row : kCodeTexts)
        EXPECT_STREQ(CDriverMngr::GetErrorText(row.code), row.text) << "code " << row.code;
}

// Start-up check.

TEST_F(DriverMngrTest, IdleOrUnreachableDriverAsksNothing) {
    EXPECT_TRUE(mngr.StartupCheck());
    control.statusResult = -1;
    control.statusState = 1; // a failed query's state is not looked at
    EXPECT_TRUE(mngr.StartupCheck());
    control.statusResult = 1;
    EXPECT_TRUE(mngr.StartupCheck());
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_EQ(control.resetCalls, 0);
    EXPECT_TRUE(quitCodes.empty());
}

TEST_F(DriverMngrTest, EmulatingAndCancelRequestsQuitAndLeavesTheDriver) {
    control.statusState = 1;
    prompt.Answer(IDCANCEL);
    EXPECT_TRUE(mngr.StartupCheck());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_PREVIOUS_EMULATION_PLAYING));
    EXPECT_EQ(prompt.Boxes()[0].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
    EXPECT_EQ(control.resetCalls, 0);
}

TEST_F(DriverMngrTest, EmulatingAndOkResetsTheDriver) {
    control.statusState = 1;
    prompt.Answer(IDOK);
    EXPECT_TRUE(mngr.StartupCheck());
    EXPECT_EQ(control.resetCalls, 1);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_TRUE(quitCodes.empty());
}

TEST_F(DriverMngrTest, EmulatingOkAndFailedResetShowsTheSecondTextAndFails) {
    control.statusState = 1;
    control.resetResult = -1;
    prompt.Answer(IDOK);
    prompt.Answer(IDOK);
    EXPECT_FALSE(mngr.StartupCheck());
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text,
              "Error stopping the previous emulation. Please restart your computer.");
    EXPECT_EQ(prompt.Boxes()[1].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[1].flags, MB_OK | MB_ICONERROR);
    EXPECT_TRUE(quitCodes.empty());
}

// Play and stop.

TEST_F(DriverMngrTest, PlaySetsTheAdapterAddressAndThePlayingFlag) {
    EXPECT_EQ(mngr.Play(&params), 1);
    EXPECT_EQ(control.playedAdapterAddress, inet_addr("198.18.0.1"));
    EXPECT_TRUE(mngr.IsPlaying());
}

TEST_F(DriverMngrTest, PlayWhilePlayingNeverCallsTheLibraryAndSaysWhy) {
    ASSERT_EQ(mngr.Play(&params), 1);
    control.playResult = 22; // would change the text if it were called
    EXPECT_EQ(mngr.Play(&params), 0);
    EXPECT_EQ(control.playCalls, 1);
    EXPECT_TRUE(mngr.IsPlaying());
    EXPECT_EQ(mngr.GetLastErrorText(), "Pramitone is already in Play mode");
}

TEST_F(DriverMngrTest, PlayWithoutAdapterNeverCallsTheLibraryAndSaysWhy) {
    control.adapterCount = 0;
    EXPECT_EQ(mngr.Play(&params), 0);
    EXPECT_EQ(mngr.GetLastErrorText(), "Invalid Active Adapter settings");
    control.adapterCount = 1;
    control.osCode = 0; // an operating system the manager does not know has no adapters
    EXPECT_FALSE(mngr.IsAdapterPresent());
    EXPECT_EQ(mngr.Play(&params), 0);
    EXPECT_EQ(control.playCalls, 0);
    EXPECT_EQ(mngr.Play(nullptr), 0);
    EXPECT_EQ(control.playCalls, 0);
}

TEST_F(DriverMngrTest, UnreachableDeviceCountsAsAdapterPresent) {
    control.adapterCount = 65535;
    EXPECT_EQ(mngr.GetAdapterCount(), 65535);
    EXPECT_TRUE(mngr.IsAdapterPresent());
}

TEST_F(DriverMngrTest, FailedPlayKeepsTheCodeAsText) {
    control.playResult = 31;
    EXPECT_EQ(mngr.Play(&params), 0);
    EXPECT_EQ(mngr.GetLastErrorText(), "Unknown");
    control.playResult = 22;
    EXPECT_EQ(mngr.Play(&params), 0);
    EXPECT_EQ(mngr.GetLastErrorText(), "Invalid Bandwidth settings");
    EXPECT_FALSE(mngr.IsPlaying());
}

TEST_F(DriverMngrTest, FailedStopKeepsThePlayingFlagAndSetsTheText) {
    ASSERT_EQ(mngr.Play(&params), 1);
    control.stopResult = -1;
    control.statusState = 1; // the driver still emulates
    EXPECT_EQ(mngr.Stop(), -1);
    EXPECT_TRUE(mngr.IsPlaying());
    EXPECT_EQ(mngr.GetLastErrorText(), "Failed to communicate with driver");
    control.statusResult = 1; // nor is it known that it stopped
    control.statusState = 0;
    EXPECT_EQ(mngr.Stop(), -1);
    EXPECT_TRUE(mngr.IsPlaying());
    control.stopResult = 0;
    EXPECT_EQ(mngr.Stop(), 0);
    EXPECT_FALSE(mngr.IsPlaying());
    EXPECT_EQ(control.stopCalls, 3);
}

// No live session: the driver is gone or idle, so a failed stop still ends playing.
TEST_F(DriverMngrTest, FailedStopWithNothingPlayingEndsThePlayingState) {
    for (int status : {-1, 0}) {
        ASSERT_EQ(mngr.Play(&params), 1) << mngr.GetLastErrorText();
        control.stopResult = -1;
        control.statusResult = status;
        control.statusState = 0;
        EXPECT_EQ(mngr.Stop(), -1) << status;
        EXPECT_FALSE(mngr.IsPlaying()) << status;
        EXPECT_EQ(mngr.GetLastErrorText(), "Failed to communicate with driver");
    }
    EXPECT_EQ(control.playCalls, 2);
}

TEST_F(DriverMngrTest, ClearFreesTheSamplesAndDefaultsFollow) {
    CPlayParams record;
    record->delaySamples = new uint32_t[10]{};
    record->lossSamples = new uint32_t[10]{};
    record->sampleCount = 10;
    record->eastOutBandwidth = 100.0;
    mngr.ClearNuvexPlayParams(&record);
    EXPECT_EQ(record->delaySamples, nullptr);
    EXPECT_EQ(record->lossSamples, nullptr);
    EXPECT_EQ(record->sampleCount, 0);
    EXPECT_EQ(record->eastOutBandwidth, 0.0);

    record->delaySamples = new uint32_t[3]{};
    mngr.ClearAndDefaultPlayParams(&record);
    EXPECT_EQ(control.defaultCalls, 1);
    EXPECT_EQ(record->delaySamples, nullptr);
    EXPECT_EQ(record->eastOutBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(record->outOfOrderChance, 65535);
    mngr.ClearNuvexPlayParams(nullptr);
    mngr.ClearAndDefaultPlayParams(nullptr);
    EXPECT_EQ(control.defaultCalls, 1);

    // One array given as both series is freed once, here and when the record goes.
    uint32_t* shared = new uint32_t[4]{};
    record->delaySamples = shared;
    record->lossSamples = shared;
    mngr.ClearNuvexPlayParams(&record);
    EXPECT_EQ(record->lossSamples, nullptr);
    CPlayParams other;
    other->delaySamples = other->lossSamples = new uint32_t[2]{};
}

// The NT 4 adapter table.

TEST_F(DriverMngrTest, Nt4CountsCardsThatAreNotTheDriversOwn) {
    control.osCode = 4;
    Registry reg(dir.str());
    const std::string cards = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
    EXPECT_EQ(mngr.GetAdapterCount(), -1); // no table
    const struct {
        const char* card;
        const char* service;
    } table[] = {{"1", "E100B"}, {"2", "QL_E100B"}, {"3", "NdisWanQL_"}, {"4", nullptr}};
    for (const auto& row : table) {
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, cards + "\\" + row.card), 0);
        if (row.service) {
            ASSERT_EQ(reg.setValue(Hive::LocalMachine, cards + "\\" + row.card, "ServiceName",
                                   Value::Sz(row.service)),
                      0);
        }
    }
    EXPECT_EQ(mngr.GetAdapterCount(), 2);
}

// The real device path: nothing listens, so the answer stays 0xFFFF.
TEST(NuvexControlTest, AdapterCountOfAnUnreachableDeviceIs65535) {
    testsupport::TempDir dir{"nodevice"};
    ::setenv("QL_DEVICE", (dir.str() + "/QL").c_str(), 1);
    CNuvexControl control;
    EXPECT_EQ(control.DriverAdapterCount(), 65535);
    EXPECT_EQ(control.OperatingSystemCode(), 2000);
}

// String table.

TEST(StringTableTest, TextsAndMissingIds) {
    EXPECT_EQ(LoadClientString(IDS_CAPTION_ERROR), "Pramitone");
    EXPECT_EQ(LoadClientString(IDS_EXIT_WHILE_PLAYING),
              "Pramitone is currently in Play mode.\nClick OK to stop the emulation and quit, or "
              "click Cancel to continue playing the emulation.");
    EXPECT_EQ(LoadClientString(ID_VIEW_BASIC), "Show Basic Panel");
    EXPECT_EQ(GetClientString(61205), nullptr);
    EXPECT_EQ(LoadClientString(0), "");
    // No text of the table is empty.
    for (UINT id = 61200; id < 61300; ++id) {
        if (const char* text = GetClientString(id)) {
            EXPECT_GT(std::strlen(text), 0u) << id;
        }
    }
}

} // namespace
