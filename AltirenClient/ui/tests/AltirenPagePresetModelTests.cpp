// The Basic page's model: the preset reply, the snapping of a released slider and the
// value labels, without a widget or a server.
#include "AltirenUi/AltirenPagePresetModel.h"

#include "AltirenClient/AltirenProxy.h"

#include <Fendrel/FendrelUtils.h>

#include <gtest/gtest.h>

namespace {

using Model = CAltirenPagePresetModel;

class PresetModel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(XMLInitModule()); }

    // A model whose fetches answer with reply (or fail), counting them.
    Model With(std::string reply, bool succeed = true) {
        return Model([this, reply, succeed](std::string& out) {
            ++fetches;
            out = reply;
            return succeed;
        });
    }

    int fetches = 0;
};

// A reply in the server's form: a PRESET_VALUES element per kind with its values.
std::string
Reply(const std::string& latency = "<PV VALUE='20'/><PV VALUE='50'/>"
                                   "<PV VALUE='100'/><PV VALUE='200'/><PV VALUE='400'/>",
      const std::string& loss = "<PV VALUE='0.2'/><PV VALUE='1'/><PV VALUE='2'/>"
                                "<PV VALUE='5'/><PV VALUE='15'/>",
      const std::string& bandwidth = "<PV VALUE='15440'/><PV VALUE='2560'/>"
                                     "<PV VALUE='640'/><PV VALUE='336'/>"
                                     "<PV VALUE='144'/>",
      const std::string& more = "") {
    return "<ALTIREN_REPLY><PRESET_VALUES TYPE='LATENCY'>" + latency +
           "</PRESET_VALUES><PRESET_VALUES TYPE='PACKETLOSS'>" + loss +
           "</PRESET_VALUES><PRESET_VALUES TYPE='BANDWIDTH'>" + bandwidth + "</PRESET_VALUES>" +
           more + "</ALTIREN_REPLY>";
}

TEST_F(PresetModel, BuiltInReplyFillsTheFiveSlotsOfEachKindBehindNoEffect) {
    Model model = With(CAltirenProxy::kBuiltInPresets);
    ASSERT_TRUE(model.ArePresetsAvailable());
    const double latency[] = {0, 20, 50, 100, 200, 400};
    const double loss[] = {0, 0.2, 1, 2, 5, 15};
    const double bandwidth[] = {Model::kUnrestricted, 15440, 2560, 640, 336, 144};
    for (int slot = 0; slot < Model::kSlots; ++slot) {
        EXPECT_EQ(model.Preset(Model::kLatency, slot), latency[slot]) << slot;
        EXPECT_DOUBLE_EQ(model.Preset(Model::kLoss, slot), loss[slot]) << slot;
        EXPECT_EQ(model.Preset(Model::kBandwidth, slot), bandwidth[slot]) << slot;
    }
    // Nothing chosen yet: no effect at all.
    EXPECT_EQ(model.GetLatency(), 0.0);
    EXPECT_EQ(model.GetLoss(), 0.0);
    EXPECT_EQ(model.GetBandwidth(), Model::kUnrestricted);
}

TEST_F(PresetModel, ServerFormInAnyOrderWithDoubleQuotesAndBlanks) {
    const std::string five = "<PV VALUE=\"1\"/><PV VALUE=\"2\"/><PV VALUE=\"3\"/><PV VALUE=\"4\"/>";
    Model model = With("<ALTIREN_REPLY>\n <PRESET_VALUES TYPE=\"BANDWIDTH\"><PV VALUE=\"100\"/>"
                       "<PV VALUE=\"55\"/><PV VALUE=\"3\"/><PV VALUE=\"2\"/><PV VALUE=\"1\"/>"
                       "</PRESET_VALUES>\n <PRESET_VALUES TYPE=\"PACKETLOSS\">" +
                       five + "<PV VALUE=\"5\"/></PRESET_VALUES>" +
                       " <PRESET_VALUES TYPE=\"LATENCY\"><PV VALUE=\" 7.5\"/>" + five +
                       "</PRESET_VALUES></ALTIREN_REPLY>");
    ASSERT_TRUE(model.ArePresetsAvailable());
    EXPECT_EQ(model.Preset(Model::kBandwidth, 0), Model::kUnrestricted);
    EXPECT_EQ(model.Preset(Model::kBandwidth, 1), 100.0);
    EXPECT_EQ(model.Preset(Model::kBandwidth, 2), 55.0);
    EXPECT_EQ(model.Preset(Model::kLatency, 1), 7.5);
    EXPECT_EQ(model.Preset(Model::kLatency, 2), 1.0);
    EXPECT_EQ(model.Preset(Model::kLoss, 5), 5.0);
}

TEST_F(PresetModel, SurplusValuesAndUnknownTypesTouchNoSlot) {
    Model model = With(Reply("<PV VALUE='1'/><PV VALUE='2'/><PV VALUE='3'/><PV VALUE='4'/>"
                             "<PV VALUE='5'/><PV VALUE='6'/><PV VALUE='7'/>",
                             "<PV VALUE='9'/><PV VALUE='9'/><PV VALUE='9'/><PV VALUE='9'/>"
                             "<PV VALUE='9'/>",
                             "<PV VALUE='8'/><PV VALUE='8'/><PV VALUE='8'/><PV VALUE='8'/>"
                             "<PV VALUE='8'/>",
                             "<PRESET_VALUES TYPE='JITTER'><PV VALUE='99'/></PRESET_VALUES>"
                             "<PRESET_VALUES TYPE='latency'><PV VALUE='98'/></PRESET_VALUES>"
                             "<PRESET_VALUES><PV VALUE='97'/></PRESET_VALUES>"));
    ASSERT_TRUE(model.ArePresetsAvailable());
    for (int slot = 1; slot < Model::kSlots; ++slot) {
        EXPECT_EQ(model.Preset(Model::kLatency, slot), slot) << slot;
        EXPECT_EQ(model.Preset(Model::kLoss, slot), 9.0) << slot;
        EXPECT_EQ(model.Preset(Model::kBandwidth, slot), 8.0) << slot;
    }
    EXPECT_EQ(model.Preset(Model::kLatency, 0), 0.0);
    EXPECT_EQ(model.Preset(Model::kLoss, 0), 0.0);
    EXPECT_EQ(model.Preset(Model::kBandwidth, 0), Model::kUnrestricted);
}

TEST_F(PresetModel, ANumberThatIsNoFiniteValueCountsZero) {
    Model model = With(Reply("<PV VALUE='20'/><PV VALUE='50'/><PV VALUE='100'/><PV VALUE='200'/>"
                             "<PV VALUE='400'/>",
                             "<PV VALUE='nan'/><PV VALUE='inf'/><PV VALUE='x'/>"
                             "<PV VALUE='1e999'/><PV VALUE='3'/>"));
    ASSERT_TRUE(model.ArePresetsAvailable());
    for (int slot = 1; slot <= 4; ++slot)
        EXPECT_EQ(model.Preset(Model::kLoss, slot), 0.0) << slot;
    EXPECT_EQ(model.Preset(Model::kLoss, 5), 3.0);
}

TEST_F(PresetModel, FailedEmptyOrUnparsableRepliesLeaveNoPresetsAndResetAsksAgain) {
    for (const auto& [reply, succeed] :
         {std::pair<std::string, bool>{CAltirenProxy::kBuiltInPresets, false},
          {"", true},
          {"not xml at all", true},
          {"<R><PRESET_VALUES TYPE='LATENCY'><PV VALUE='20'/>", true},
          // A refusal parses but holds no presets.
          {"<ALTIREN_REPLY USER='ann' PASSWORD='x' PERMISSION='NOK'/>", true},
          // A kind missing, or short of its fifth value.
          {"<R><PRESET_VALUES TYPE='LATENCY'><PV VALUE='20'/></PRESET_VALUES></R>", true},
          {Reply().substr(0, Reply().find("<PRESET_VALUES TYPE='BANDWIDTH'>")) + "</ALTIREN_REPLY>",
           true},
          {Reply("<PV VALUE='20'/><PV VALUE='50'/><PV VALUE='100'/><PV VALUE='200'/>"), true}}) {
        fetches = 0;
        Model model = With(reply, succeed);
        EXPECT_FALSE(model.ArePresetsAvailable()) << reply;
        EXPECT_EQ(model.Preset(Model::kLatency, 1), 0.0);
        EXPECT_EQ(model.Preset(Model::kBandwidth, 0), Model::kUnrestricted);
        model.Reset();
        EXPECT_EQ(fetches, 2) << reply;
    }
    // With presets held, a reset asks nothing.
    fetches = 0;
    Model held = With(CAltirenProxy::kBuiltInPresets);
    held.OnSliderReleased(Model::kLatency, 100);
    held.Reset();
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(held.GetLatency(), 0.0);
}

TEST_F(PresetModel, AReplyThatLaterParsesFillsTheSlots) {
    std::string reply = "garbage";
    Model model([&reply](std::string& out) {
        out = reply;
        return true;
    });
    EXPECT_FALSE(model.ArePresetsAvailable());
    reply = CAltirenProxy::kBuiltInPresets;
    model.Reset();
    EXPECT_TRUE(model.ArePresetsAvailable());
    EXPECT_EQ(model.Preset(Model::kLatency, 5), 400.0);
}

TEST_F(PresetModel, ReleasedSlidersSnapToTheNearestPositionAndTakeItsSlot) {
    EXPECT_EQ(Model::Snap(47), 40);
    EXPECT_EQ(Model::Snap(50), 60);
    EXPECT_EQ(Model::Snap(95), 100);
    EXPECT_EQ(Model::Snap(9), 0);
    EXPECT_EQ(Model::Snap(10), 20);
    EXPECT_EQ(Model::Snap(100), 100);
    EXPECT_EQ(Model::Snap(-5), 0);
    EXPECT_EQ(Model::Snap(130), 100);

    Model model = With(CAltirenProxy::kBuiltInPresets);
    EXPECT_EQ(model.OnSliderReleased(Model::kLatency, 47), 40);
    EXPECT_EQ(model.GetLatency(), 50.0); // slot 2, the server's second value
    EXPECT_EQ(model.OnSliderReleased(Model::kLatency, 50), 60);
    EXPECT_EQ(model.GetLatency(), 100.0);
    EXPECT_EQ(model.OnSliderReleased(Model::kLoss, 95), 100);
    EXPECT_EQ(model.GetLoss(), 15.0);
    EXPECT_EQ(model.OnSliderReleased(Model::kBandwidth, 20), 20);
    EXPECT_EQ(model.GetBandwidth(), 15440.0);
    EXPECT_EQ(model.ValueLabel(Model::kBandwidth), "1544 Kbps");
}

TEST_F(PresetModel, LabelsShowDecimalsOnlyWhereTheValueHasThem) {
    EXPECT_EQ(Model::LossLabel(0.2), "0.2 %");
    EXPECT_EQ(Model::LossLabel(2), "2 %");
    EXPECT_EQ(Model::LossLabel(0), "0 %");
    EXPECT_EQ(Model::LossLabel(15), "15 %");
    EXPECT_EQ(Model::LatencyLabel(400), "400 ms");
    EXPECT_EQ(Model::LatencyLabel(7.9), "7 ms");
    EXPECT_EQ(Model::LatencyLabel(1e12), "2147483647 ms");
    EXPECT_EQ(Model::BandwidthLabel(15440), "1544 Kbps");
    EXPECT_EQ(Model::BandwidthLabel(336), "33.6 Kbps");
    EXPECT_EQ(Model::BandwidthLabel(144), "14.4 Kbps");
    EXPECT_EQ(Model::BandwidthLabel(Model::kUnrestricted), "Unrestricted");
    // A server's value of any size is cut without overflowing.
    const std::string huge = Model::BandwidthLabel(1e30);
    EXPECT_EQ(huge.substr(huge.size() - 5), " Kbps");
    EXPECT_EQ(Model::LatencyLabel(-1e30), "-2147483648 ms");
}

} // namespace
