// The Basic page with its widgets, offscreen, on the presets of the management-server
// stand-in: sliders moved by keys and drags, the Play button, a server that fails and
// comes back.
#include "AltirenUi/AltirenPagePreset.h"

#include "PagesFixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QSlider>

using namespace pagestest;

namespace {

class PresetPage : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        server->EditStore([](mgmt::AccountStore& s) {
            s.Presets() = {{"LATENCY", {"11", "22", "33", "44", "55"}},
                           {"PACKETLOSS", {"0.5", "1", "2", "4", "8"}},
                           {"BANDWIDTH", {"10000", "5000", "1000", "500", "125"}}};
        });
    }

    QSlider* Slider(CAltirenPagePreset& page, UINT id) { return guitest::Find<QSlider>(&page, id); }
    QString Label(CAltirenPagePreset& page, UINT id) {
        QLabel* label = guitest::Find<QLabel>(&page, id);
        return label ? label->text() : QString("<none>");
    }
    // A drag that lets go at position.
    static void DragTo(QSlider* slider, int position) {
        slider->setSliderDown(true);
        slider->setSliderPosition(position);
        slider->setSliderDown(false);
    }

    // The presets are asked for off the GUI thread: the page takes them when they come.
    static void WaitForPresets(CAltirenPagePreset& page) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !page.IsAskingForPresets(); }, 10000));
    }

    RecordingSink sink;
};

TEST_F(PresetPage, SlidersPickTheServersPresetsAndShowTheirLabels) {
    CAltirenPagePreset page(nullptr, &sink);
    ASSERT_TRUE(guitest::ShowAndWait(&page));
    WaitForPresets(page);
    EXPECT_EQ(sink.Last(), true);
    QSlider* latency = Slider(page, IDC_PRESET_LATENCY);
    QSlider* loss = Slider(page, IDC_PRESET_LOSS);
    QSlider* bandwidth = Slider(page, IDC_PRESET_BANDWIDTH);
    ASSERT_TRUE(latency && loss && bandwidth);
    EXPECT_TRUE(latency->isEnabled());
    EXPECT_EQ(latency->maximum(), 100);
    EXPECT_EQ(latency->tickInterval(), 20);
    EXPECT_EQ(Label(page, IDC_PRESET_LOSS_VALUE), "0 %");
    EXPECT_EQ(Label(page, IDC_PRESET_LATENCY_VALUE), "0 ms");
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "Unrestricted");
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_TICK + 1), "T1");
    EXPECT_EQ(Label(page, IDC_PRESET_LOSS_TICK + 5), "Highest");

    DragTo(latency, 47);
    EXPECT_EQ(latency->value(), 40);
    EXPECT_EQ(page.GetLatency(), 22.0);
    EXPECT_EQ(Label(page, IDC_PRESET_LATENCY_VALUE), "22 ms");
    DragTo(latency, 50);
    EXPECT_EQ(latency->value(), 60);
    EXPECT_EQ(page.GetLatency(), 33.0);

    // A key moves one whole position.
    loss->setFocus();
    QTest::keyClick(loss, Qt::Key_Right);
    EXPECT_EQ(loss->value(), 20);
    EXPECT_EQ(page.GetPacketLoss(), 0.5);
    EXPECT_EQ(Label(page, IDC_PRESET_LOSS_VALUE), "0.5 %");
    QTest::keyClick(loss, Qt::Key_End);
    EXPECT_EQ(page.GetPacketLoss(), 8.0);
    EXPECT_EQ(Label(page, IDC_PRESET_LOSS_VALUE), "8 %");

    DragTo(bandwidth, 95);
    EXPECT_EQ(bandwidth->value(), 100);
    EXPECT_EQ(page.GetBandwidth(), 125.0);
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "12.5 Kbps");

    // Reset: every slider back to "No effect".
    page.Reset();
    EXPECT_EQ(latency->value(), 0);
    EXPECT_EQ(page.GetLatency(), 0.0);
    EXPECT_EQ(page.GetBandwidth(), CAltirenPagePresetModel::kUnrestricted);
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "Unrestricted");
}

// The tick labels under a slider stand apart as words do, "Modem" and "Slow Modem" too.
TEST_F(PresetPage, NeighbouringTickLabelsStandApart) {
    CAltirenPagePreset page(nullptr, &sink);
    ASSERT_TRUE(guitest::ShowAndWait(&page));
    for (UINT first : {IDC_PRESET_LOSS_TICK, IDC_PRESET_LATENCY_TICK, IDC_PRESET_BANDWIDTH_TICK})
        for (UINT i = 0; i + 1 < 6; ++i) {
            QLabel* left = guitest::Find<QLabel>(&page, first + i);
            QLabel* right = guitest::Find<QLabel>(&page, first + i + 1);
            ASSERT_TRUE(left && right);
            const int textEnd =
                left->x() +
                (left->width() + left->fontMetrics().horizontalAdvance(left->text())) / 2;
            const int textStart =
                right->x() +
                (right->width() - right->fontMetrics().horizontalAdvance(right->text())) / 2;
            EXPECT_GE(textStart - textEnd, left->fontMetrics().horizontalAdvance(QLatin1Char('M')))
                << left->text().toStdString() << " / " << right->text().toStdString();
        }
}

TEST_F(PresetPage, WhileTheProxyFailsTheSlidersAndPlayStayOffUntilTheServerAnswers) {
    mgmt::Behaviour failing;
    failing.wrongNonce = true; // every reply fails the proxy's check
    server->SetBehaviour(failing);
    CAltirenPagePreset page(nullptr, &sink);
    ASSERT_TRUE(guitest::ShowAndWait(&page));
    WaitForPresets(page);
    EXPECT_EQ(sink.Last(), false);
    for (UINT id : {IDC_PRESET_LOSS, IDC_PRESET_LATENCY, IDC_PRESET_BANDWIDTH})
        EXPECT_FALSE(Slider(page, id)->isEnabled()) << id;
    // Unlocked after a play elsewhere: still nothing to pick from.
    page.Lock(true);
    page.Lock(false);
    EXPECT_FALSE(Slider(page, IDC_PRESET_LATENCY)->isEnabled());

    server->SetBehaviour(mgmt::Behaviour());
    page.Reset();
    WaitForPresets(page);
    EXPECT_EQ(sink.Last(), true);
    for (UINT id : {IDC_PRESET_LOSS, IDC_PRESET_LATENCY, IDC_PRESET_BANDWIDTH})
        EXPECT_TRUE(Slider(page, id)->isEnabled()) << id;
    DragTo(Slider(page, IDC_PRESET_LATENCY), 100);
    EXPECT_EQ(page.GetLatency(), 55.0);

    page.Lock(true);
    EXPECT_FALSE(Slider(page, IDC_PRESET_BANDWIDTH)->isEnabled());
    page.Reset(); // a new user while playing keeps the lock
    EXPECT_FALSE(Slider(page, IDC_PRESET_BANDWIDTH)->isEnabled());
    page.Lock(false);
    EXPECT_TRUE(Slider(page, IDC_PRESET_BANDWIDTH)->isEnabled());
}

// The server refuses the account (PERMISSION='NOK'), or hands out fewer than five values of
// a kind: no presets, so the sliders and Play stay off, and each reset asks again.
TEST_F(PresetPage, ARefusalOrAShortReplyIsNoPresetsAndTheNextResetAsksAgain) {
    server->EditStore([](mgmt::AccountStore& s) { s.SetPassword(kUser, "Changed1"); });
    CAltirenPagePreset page(nullptr, &sink);
    ASSERT_TRUE(guitest::ShowAndWait(&page));
    WaitForPresets(page);
    EXPECT_EQ(sink.Last(), false);
    for (UINT id : {IDC_PRESET_LOSS, IDC_PRESET_LATENCY, IDC_PRESET_BANDWIDTH})
        EXPECT_FALSE(Slider(page, id)->isEnabled()) << id;
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "Unrestricted");
    EXPECT_EQ(page.GetBandwidth(), CAltirenPagePresetModel::kUnrestricted);
    const size_t asked = server->RequestCount();

    // The password right again, but one latency value short.
    server->EditStore([](mgmt::AccountStore& s) {
        s.SetPassword(kUser, kPassword);
        s.Presets()[0].values.pop_back();
    });
    page.Reset();
    WaitForPresets(page);
    EXPECT_EQ(server->RequestCount(), asked + 1);
    EXPECT_EQ(sink.Last(), false);
    EXPECT_FALSE(Slider(page, IDC_PRESET_BANDWIDTH)->isEnabled());

    server->EditStore([](mgmt::AccountStore& s) { s.Presets()[0].values.push_back("55"); });
    page.Reset();
    WaitForPresets(page);
    EXPECT_EQ(server->RequestCount(), asked + 2);
    EXPECT_EQ(sink.Last(), true);
    for (UINT id : {IDC_PRESET_LOSS, IDC_PRESET_LATENCY, IDC_PRESET_BANDWIDTH})
        EXPECT_TRUE(Slider(page, id)->isEnabled()) << id;
    DragTo(Slider(page, IDC_PRESET_BANDWIDTH), 20);
    EXPECT_EQ(page.GetBandwidth(), 10000.0);
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "1000 Kbps");
    page.Reset(); // presets held: nothing asked
    EXPECT_EQ(server->RequestCount(), asked + 2);
}

TEST_F(PresetPage, ASilentServerNeitherHoldsThePageNorGivesItPresets) {
    mgmt::Behaviour silent;
    silent.silent = true;
    server->SetBehaviour(silent);
    ASSERT_TRUE(registry.SetDword("CommunicationTimeout", 600));
    QElapsedTimer clock;
    clock.start();
    CAltirenPagePreset page(nullptr, &sink);
    ASSERT_TRUE(guitest::ShowAndWait(&page));
    // Made and shown while the request waits, with nothing to pick from yet.
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(page.IsAskingForPresets());
    EXPECT_FALSE(Slider(page, IDC_PRESET_LATENCY)->isEnabled());
    EXPECT_EQ(sink.Last(), false);
    // The request gives up: the offline table is the proxy's answer to a late server.
    WaitForPresets(page);
    server->ReleaseHeld();
}

TEST_F(PresetPage, OfflineTheBuiltInPresetsServeAndAHiddenPageLeavesPlayAlone) {
    ClientState::SetServerOnline(false);
    CAltirenPagePreset page(nullptr, &sink);
    EXPECT_TRUE(Slider(page, IDC_PRESET_BANDWIDTH)->isEnabled());
    Slider(page, IDC_PRESET_BANDWIDTH)->setValue(80);
    EXPECT_EQ(page.GetBandwidth(), 336.0);
    EXPECT_EQ(Label(page, IDC_PRESET_BANDWIDTH_VALUE), "33.6 Kbps");
    EXPECT_EQ(server->RequestCount(), 0u);
    // Not shown: its resets are not the Play button's business.
    page.Reset();
    EXPECT_TRUE(sink.calls.empty());
}

} // namespace
