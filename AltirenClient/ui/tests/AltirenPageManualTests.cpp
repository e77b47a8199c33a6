// The Advanced page driven by key clicks inside the manager window: typed values and what
// they play, the messages and corrections of values beyond their limits, the empty
// bandwidth on focus loss, the lock and the reset.
#include "ManagerWindowFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QSlider>

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

// Keys typed as a person types them: into the field as it stands, no selection made
// first; the focus comes by a page switch, by Tab or by a click.
class FieldsAsTheyStand : public ManagerWindow {
protected:
    void SetUp() override {
        ManagerWindow::SetUp();
        WithAllSeams();
        Open();
    }
    static void Type(const char* text) {
        for (const char* c = text; *c; ++c)
            QTest::keyClick(QApplication::focusWidget(), *c);
    }
    const PlayParameters& Record() { return *window->Model().GetPlayParameters(); }
};

TEST_F(FieldsAsTheyStand, AFreshlyShownPageAndTabSelectTheWholeValue) {
    // The Basic page has the focus; the Advanced page's button takes the click.
    auto* slider = new QSlider(Qt::Horizontal, preset->GetWidget());
    slider->show();
    slider->setFocus();
    ASSERT_TRUE(slider->hasFocus());
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    ASSERT_TRUE(window->ManualPage()->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), Edit(IDC_MANUAL_LOSS));
    Type("5");
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "5.00");
    EXPECT_EQ(window->ManualPage()->GetPacketLoss(), 5.0);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Edit(IDC_MANUAL_LATENCY));
    Type("120");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "120");
    // Back by Shift+Tab: the loss is replaced, not added to.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    Type("7");
    EXPECT_EQ(Edit(IDC_MANUAL_LOSS)->text(), "7.00");
    EXPECT_TRUE(prompt.Boxes().empty());

    QTest::mouseClick(PlayButton(), Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped());
    EXPECT_EQ(Record().randomLoss, 7.0);
    EXPECT_EQ(Record().minDelay, 120);
}

TEST_F(FieldsAsTheyStand, ADigitPastTheFractionIsRefusedWithTheFieldsMessage) {
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    CNumericEdit* loss = Edit(IDC_MANUAL_LOSS);
    // A click to the right of "0.00": the caret after the fraction.
    QTest::mouseClick(loss, Qt::LeftButton, {}, QPoint(loss->width() - 4, loss->height() / 2));
    ASSERT_TRUE(loss->hasFocus());
    ASSERT_EQ(loss->cursorPosition(), 4);
    Type("5");
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Invalid Packet Loss parameter.\nValid range: 0 - 90");
    EXPECT_EQ(loss->selectedText(), "0.00");
    Type("5");
    EXPECT_EQ(loss->text(), "5.00");
    EXPECT_EQ(window->ManualPage()->GetPacketLoss(), 5.0);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
}

TEST_F(FieldsAsTheyStand, AfterACutOrARefusalTheNextKeysStartANewValue) {
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    CNumericEdit* latency = Edit(IDC_MANUAL_LATENCY);
    QTest::mouseClick(latency, Qt::LeftButton, {},
                      QPoint(latency->width() - 4, latency->height() / 2));
    ASSERT_TRUE(latency->hasFocus());
    Type("8001");
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "8,000");
    Type("250");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "250");
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    // A sign: the latency cannot be negative; the field shows the 0 that plays.
    Type("-");
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, "Invalid Latency parameter.\nValid range: 0 - 8000");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "0");
    EXPECT_EQ(window->ManualPage()->GetLatency(), 0.0);
    Type("40");
    EXPECT_EQ(Edit(IDC_MANUAL_LATENCY)->text(), "40");

    // The bandwidth list's text, refused: the fallback entry is selected, and the next
    // keys replace it with one message in all.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(Bandwidth()->hasFocus());
    Type("20000");
    ASSERT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_EQ(prompt.Boxes()[2].text,
              "Invalid Bandwidth Limitation parameter.\nValid range: 2.4 - 10240.0");
    EXPECT_EQ(Bandwidth()->currentText(), "Unrestricted");
    EXPECT_EQ(Bandwidth()->lineEdit()->selectedText(), "Unrestricted");
    Type("512");
    EXPECT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_EQ(window->ManualPage()->GetBandwidth(), 5120.0);

    QTest::mouseClick(PlayButton(), Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped());
    EXPECT_EQ(Record().minDelay, 40);
    EXPECT_EQ(Record().eastOutBandwidth, 512.0);
}

} // namespace
