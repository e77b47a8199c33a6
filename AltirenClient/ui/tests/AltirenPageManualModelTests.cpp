// The Advanced page's checks without a widget: the bandwidth list and its typed text, the
// latency and loss limits with their messages, the empty-text rules.
#include "AltirenUi/AltirenPageManualModel.h"

#include "AltirenClientTest/ScriptedPrompt.h"

#include <gtest/gtest.h>

namespace {

class PageManualModel : public ::testing::Test {
protected:
    CScriptedPrompt prompt;
    CAltirenPageManualModel model{prompt};
};

TEST_F(PageManualModel, StartsUnrestrictedWithTheSixteenEntriesAndTheRangeTexts) {
    EXPECT_EQ(model.GetLatency(), 0.0);
    EXPECT_EQ(model.GetPacketLoss(), 0.0);
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
    const auto& list = CAltirenPageManualModel::kBandwidths;
    EXPECT_STREQ(list[0].text, "14.4");
    EXPECT_EQ(list[0].value, 144);
    EXPECT_STREQ(list[9].text, "1544.0");
    EXPECT_EQ(list[9].value, 15440);
    EXPECT_STREQ(list[14].text, "10240.0");
    EXPECT_EQ(list[14].value, 102400);
    EXPECT_STREQ(list[15].text, "Unrestricted");
    EXPECT_EQ(list[15].value, 4294967295.0);
    for (const auto& entry : list) { // every text but the last is its value in Kbps
        if (entry.value != 4294967295.0) {
            EXPECT_DOUBLE_EQ(std::stod(entry.text) * 10, entry.value) << entry.text;
        }
    }
    EXPECT_EQ(CAltirenPageManualModel::LossRangeText(), "(0 - 90)");
    EXPECT_EQ(CAltirenPageManualModel::LatencyRangeText(), "(0 - 8000)");
    EXPECT_EQ(CAltirenPageManualModel::BandwidthRangeText(), "(2.4 - 10240.0)");
}

TEST_F(PageManualModel, APickedEntryGivesItsValue) {
    model.OnBandwidthSelected(9);
    EXPECT_EQ(model.GetBandwidth(), 15440);
    model.OnBandwidthSelected(15);
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
    model.OnBandwidthSelected(16); // no such entry
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
}

TEST_F(PageManualModel, ATypedBandwidthIsTenTimesItsKbpsUpTo10240) {
    EXPECT_EQ(model.OnBandwidthEdited("1544"), std::nullopt);
    EXPECT_EQ(model.GetBandwidth(), 15440);
    EXPECT_EQ(model.OnBandwidthEdited("10240."), std::nullopt);
    EXPECT_EQ(model.GetBandwidth(), 102400);
    EXPECT_EQ(model.OnBandwidthEdited("1.5"), std::nullopt);
    EXPECT_EQ(model.GetBandwidth(), 15);
    EXPECT_TRUE(prompt.Boxes().empty());

    EXPECT_EQ(model.OnBandwidthEdited("10240.5"), 15);
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text,
              "Invalid Bandwidth Limitation parameter.\nValid range: 2.4 - 10240.0");
    EXPECT_EQ(prompt.Boxes()[0].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONWARNING);

    // Refused at the second point, and at the first letter.
    EXPECT_EQ(model.OnBandwidthEdited("1.2"), std::nullopt);
    EXPECT_EQ(model.OnBandwidthEdited("1.2."), 15);
    EXPECT_EQ(model.OnBandwidthEdited("6"), std::nullopt);
    EXPECT_EQ(model.OnBandwidthEdited("6k"), 15);
    EXPECT_EQ(model.OnBandwidthEdited("-1"), 15);
    EXPECT_EQ(prompt.Boxes().size(), 4u);
}

TEST_F(PageManualModel, AnEmptyBandwidthLeftBehindSelects14Point4) {
    EXPECT_EQ(model.OnBandwidthFocusLost("28.8"), std::nullopt);
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
    EXPECT_EQ(model.OnBandwidthFocusLost(""), 0);
    EXPECT_EQ(model.GetBandwidth(), 144);
}

TEST_F(PageManualModel, LatencyAndLossBeyondTheirLimitsAreWarnedAndCut) {
    EXPECT_EQ(model.OnLatencyChanged(8000), std::nullopt);
    EXPECT_EQ(model.GetLatency(), 8000);
    EXPECT_EQ(model.OnLatencyChanged(8001), 8000.0);
    EXPECT_EQ(model.GetLatency(), 8000);
    EXPECT_EQ(model.OnLossChanged(90), std::nullopt);
    EXPECT_EQ(model.OnLossChanged(90.5), 90.0);
    EXPECT_EQ(model.GetPacketLoss(), 90);
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Invalid Latency parameter.\nValid range: 0 - 8000");
    EXPECT_EQ(prompt.Boxes()[1].text, "Invalid Packet Loss parameter.\nValid range: 0 - 90");
    EXPECT_EQ(prompt.Boxes()[1].flags, MB_OK | MB_ICONWARNING);
    // A sign typed: the field shows the 0 that plays, with the field's message.
    EXPECT_EQ(model.OnLatencyChanged(-5), 0.0);
    EXPECT_EQ(model.GetLatency(), 0);
    EXPECT_EQ(model.OnLatencyChanged(-0.0), 0.0);
    EXPECT_EQ(model.OnLossChanged(-0.5), 0.0);
    EXPECT_EQ(model.GetPacketLoss(), 0);
    ASSERT_EQ(prompt.Boxes().size(), 5u);
    EXPECT_EQ(prompt.Boxes()[3].text, "Invalid Latency parameter.\nValid range: 0 - 8000");
    EXPECT_EQ(prompt.Boxes()[4].text, "Invalid Packet Loss parameter.\nValid range: 0 - 90");
    EXPECT_EQ(model.OnLatencyChanged(0.0), std::nullopt);
    EXPECT_EQ(prompt.Boxes().size(), 5u);

    EXPECT_EQ(model.OnLatencyFocusLost("12"), std::nullopt);
    EXPECT_EQ(model.OnLatencyFocusLost(""), 0.0);
    EXPECT_EQ(model.GetLatency(), 0);

    model.OnBandwidthSelected(3);
    model.Reset();
    EXPECT_EQ(model.GetLatency(), 0);
    EXPECT_EQ(model.GetPacketLoss(), 0);
    EXPECT_EQ(model.GetBandwidth(), 4294967295.0);
}

} // namespace
