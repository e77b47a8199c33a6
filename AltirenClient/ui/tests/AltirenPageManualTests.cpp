// The Advanced page driven by key clicks inside the manager window: typed values and what
// they play, the messages and corrections of values beyond their limits, the empty
// bandwidth on focus loss, the lock and the reset.
#include "ManagerWindowFixture.h"

#include <QGroupBox>
#include <QLabel>

namespace {

class ManualPage : public ManagerWindow {
protected:
    void SetUp() override {
        ManagerWindow::SetUp();
        Open();
        ASSERT_TRUE(window->ManualPage()->isVisible());
    }
    const PlayParameters& Record() { return *window->Model().GetPlayParameters(); }
};

TEST_F(ManualPage, StartsWithItsControlsAndRangeLabels) {
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "0.00");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "0");
    EXPECT_EQ(Bandwidth()->count(), 16);
    EXPECT_EQ(Bandwidth()->itemText(0), "14.4");
    EXPECT_EQ(Bandwidth()->itemData(0).toDouble(), 144.0);
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
    EXPECT_EQ(Bandwidth()->currentIndex(), 15);
    EXPECT_EQ(Control<QLabel>(IDC_MANUAL_LOSS_RANGE)->text(), "(0 - 90)");
    EXPECT_EQ(Control<QLabel>(IDC_MANUAL_LATENCY_RANGE)->text(), "(0 - 8000)");
    EXPECT_EQ(Control<QLabel>(IDC_MANUAL_BANDWIDTH_RANGE)->text(), "(2.4 - 10240.0)");
    std::vector<QString> groups;
    for (QGroupBox* group : window->ManualPage()->findChildren<QGroupBox*>())
        groups.push_back(group->title());
    EXPECT_EQ(groups,
              (std::vector<QString>{" P&acket Loss ", " &Latency ", " &Bandwidth Limitation "}));
}

TEST_F(ManualPage, TypedValuesArePlayed) {
    TypeInto(Edit(IDC_MANUAL_LATENCY), "150");
    TypeInto(Edit(IDC_MANUAL_LOSS), "2.5");
    TypeInto(Bandwidth()->lineEdit(), "1544");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "150");
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "2.50");
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 15440.0);
    QTest::mouseClick(PlayButton(), Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped());
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_EQ(Record().eastOutBandwidth, 1544.0);
    EXPECT_EQ(Record().eastInBandwidth, 1544.0);
    EXPECT_EQ(Record().minDelay, 150);
    EXPECT_EQ(Record().maxDelay, 150);
    EXPECT_EQ(Record().lossType, 2);
    EXPECT_EQ(Record().randomLoss, 2.5);
}

TEST_F(ManualPage, ABandwidthAbove10240IsRefusedAndFallsBackToUnrestricted) {
    TypeInto(Bandwidth()->lineEdit(), "10240.5");
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text,
              "Invalid Bandwidth Limitation parameter.\nValid range: 2.4 - 10240.0");
    EXPECT_EQ(prompt.Boxes()[0].caption, "Pramitone");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 4294967295.0);

    // Letters are refused at the first one.
    TypeInto(Bandwidth()->lineEdit(), "5k");
    EXPECT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
}

TEST_F(ManualPage, LatencyAndLossBeyondTheirLimitsAreCutWithAMessage) {
    TypeInto(Edit(IDC_MANUAL_LATENCY), "8001");
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Invalid Latency parameter.\nValid range: 0 - 8000");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "8,000");
    EXPECT_EQ(window->ManualPage()->GetLatency(), 8000.0);

    TypeInto(Edit(IDC_MANUAL_LOSS), "90.5");
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, "Invalid Packet Loss parameter.\nValid range: 0 - 90");
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "90.00");
    EXPECT_EQ(window->ManualPage()->GetPacketLoss(), 90.0);

    // A grouped value is read as the number it shows, not as its text up to the comma.
    TypeInto(Edit(IDC_MANUAL_LATENCY), "1234");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "1,234");
    EXPECT_EQ(window->ManualPage()->GetLatency(), 1234.0);
    EXPECT_EQ(prompt.Boxes().size(), 2u);
}

TEST_F(ManualPage, AnEmptyBandwidthLeftBySelects14Point4) {
    QLineEdit* text = Bandwidth()->lineEdit();
    TypeInto(text, "56");
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Backspace);
    ASSERT_TRUE(Bandwidth()->currentText().isEmpty());
    QTest::keyClick(text, Qt::Key_Tab); // the focus moves on
    EXPECT_EQ(Bandwidth()->currentText(), "14.4");
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 144.0);
    EXPECT_TRUE(prompt.Boxes().empty());
}

TEST_F(ManualPage, PickingAnEntryAndResetting) {
    Bandwidth()->setFocus();
    QTest::keyClick(Bandwidth(), Qt::Key_Up); // from "Unrestricted" to the entry above
    EXPECT_EQ(Bandwidth()->currentText(), "10240.0");
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 102400.0);
    QTest::keyClick(Bandwidth(), Qt::Key_Up);
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 81920.0);
    QTest::keyClick(Bandwidth(), Qt::Key_Down);
    QTest::keyClick(Bandwidth(), Qt::Key_Down);
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 4294967295.0);

    TypeInto(Edit(IDC_MANUAL_LATENCY), "40");
    window->ResetUserSettings();
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "0");
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "0.00");
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
    EXPECT_EQ(window->ManualPage()->GetLatency(), 0.0);
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 4294967295.0);
}

} // namespace
