// The numeric edit on a real X server, where the middle button pastes the selection of
// another window into an ordinary line edit.
#include "AltirenUi/NumericEdit.h"

#include "AltirenUiTest/Xvfb.h"

#include <QClipboard>

#include <gtest/gtest.h>

namespace {

using NumericEditOnX = guitest::XvfbTest;

TEST_F(NumericEditOnX, TheMiddleButtonPastesNoSelection) {
    ASSERT_TRUE(QGuiApplication::clipboard()->supportsSelection());
    CNumericEdit edit;
    edit.SetValue(42);
    ASSERT_TRUE(guitest::ShowAndWait(&edit));
    QGuiApplication::clipboard()->setText(QStringLiteral("9x9"), QClipboard::Selection);
    QTest::mouseClick(&edit, Qt::MiddleButton, Qt::NoModifier, QPoint(2, edit.height() / 2));
    EXPECT_EQ(edit.text(), "42");
    EXPECT_EQ(edit.GetValue(), 42.0);
}

} // namespace
