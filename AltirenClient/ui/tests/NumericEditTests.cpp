// The numeric edit as a widget: keys typed into it, keys it refuses, the mouse's right
// button, and what it announces.
#include "AltirenUi/NumericEdit.h"

#include "AltirenUiTest/GuiTest.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class NumericEdit : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        edit = std::make_unique<CNumericEdit>();
        ASSERT_TRUE(guitest::ShowAndWait(edit.get()));
        edit->setFocus();
    }
    std::unique_ptr<CNumericEdit> edit;
};

TEST_F(NumericEdit, TypedKeysRebuildTheTextAndAnnounceIt) {
    QSignalSpy changed(edit.get(), &QLineEdit::textChanged);
    edit->SetValue(5);
    EXPECT_EQ(edit->cursorPosition(), 0);
    QTest::keyClick(edit.get(), Qt::Key_End);
    QTest::keyClicks(edit.get(), "x");
    EXPECT_EQ(edit->text(), "5");
    QTest::keyClicks(edit.get(), "-");
    EXPECT_EQ(edit->text(), "-5");
    EXPECT_EQ(edit->GetValue(), -5);
    QTest::keyClicks(edit.get(), "-");
    EXPECT_EQ(edit->text(), "5");
    QTest::keyClicks(edit.get(), "-+");
    EXPECT_EQ(edit->text(), "5");
    QTest::keyClick(edit.get(), Qt::Key_End);
    QTest::keyClicks(edit.get(), "678");
    EXPECT_EQ(edit->text(), "5,678");
    EXPECT_EQ(edit->cursorPosition(), 5);
    // SetValue, "-", "-", "-", "+", and three digits; the refused "x" said nothing.
    EXPECT_EQ(changed.count(), 8);

    // Backspace after the separator takes the digit before it.
    edit->setCursorPosition(2);
    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "678");
    QTest::keyClick(edit.get(), Qt::Key_Insert);
    EXPECT_EQ(edit->text(), "678");
}

TEST_F(NumericEdit, DecimalsAndTheSelection) {
    edit->SetDecimalPlaces(2);
    EXPECT_EQ(edit->text(), "0.00");
    QTest::keyClick(edit.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit.get(), "12.5");
    EXPECT_EQ(edit->text(), "12.50");
    EXPECT_EQ(edit->GetValue(), 12.5);
    EXPECT_EQ(edit->cursorPosition(), 4);
    // Arrows move the caret without changing anything; the next digit lands there.
    QTest::keyClick(edit.get(), Qt::Key_Left);
    QTest::keyClick(edit.get(), Qt::Key_Left);
    QTest::keyClicks(edit.get(), "4");
    EXPECT_EQ(edit->text(), "124.50");
}

TEST_F(NumericEdit, NoOtherTextGetsInAndTheRightButtonIsIgnored) {
    edit->SetValue(42);
    QGuiApplication::clipboard()->setText("abc");
    QTest::keyClick(edit.get(), Qt::Key_End);
    QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "42");
    QTest::keyClick(edit.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "42");

    QTest::mouseClick(edit.get(), Qt::RightButton);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), edit->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(edit.get(), &menu);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(edit->text(), "42");
}

} // namespace
