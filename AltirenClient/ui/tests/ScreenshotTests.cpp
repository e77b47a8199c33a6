// Windows under a real X server (Xvfb), saved as PNG files in <build>/screenshots for a
// person to look at; nothing compares pixels.
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/QtPrompt.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/Xvfb.h"
#include "FakeNuvexControl.h"
#include "ManagerFakes.h"

#include <QImage>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Screenshots = guitest::XvfbTest;

TEST_F(Screenshots, AnErrorBoxOfThePrompt) {
    CQtPrompt prompt;
    std::unique_ptr<QMessageBox> box(
        prompt.CreateBox(FormatClientString(IDS_ADAPTER_IN_FILTER, "198.18.0.1"),
                         LoadClientString(IDS_CAPTION_ERROR), MB_OK | MB_ICONERROR));
    ASSERT_TRUE(guitest::ShowAndWait(box.get()));
    QTest::qWait(200);
    guitest::ExpectScreenshot(guitest::SaveScreenshot("prompt-61237"));
}

// The manager window as the user first sees it, playing, and with its File menu open.
class ManagerScreenshots : public Screenshots {
protected:
    void SetUp() override {
        Screenshots::SetUp();
        if (IsSkipped())
            return;
        driver.SetActiveAdapterAddress("198.18.0.1");
        context.driver = &driver;
        context.application = &application;
        context.prompt = &prompt;
        context.control = &control;
        window = std::make_unique<CAltirenMngr>(context);
        window->move(40, 40);
        ASSERT_TRUE(guitest::ShowAndWait(window.get()));
        QTest::qWait(200);
    }
    void TearDown() override { window.reset(); }

    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    FakeApplication application;
    CScriptedPrompt prompt;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> window;
};

TEST_F(ManagerScreenshots, TheAdvancedPage) {
    guitest::ExpectScreenshot(guitest::SaveScreenshot("manager-advanced"));
}

TEST_F(ManagerScreenshots, PlayingWithTheControlsLocked) {
    window->PlayStop();
    ASSERT_FALSE(window->IsStopped());
    QTest::qWait(200);
    guitest::ExpectScreenshot(guitest::SaveScreenshot("manager-playing"));
}

TEST_F(ManagerScreenshots, TheMenus) {
    // Each menu opened over the window in turn, saved one file each.
    int n = 0;
    for (QAction* top : window->MenuBar()->actions()) {
        QMenu* menu = top->menu();
        if (!menu)
            continue;
        window->MenuBar()->setActiveAction(top);
        QTest::qWait(300);
        guitest::ExpectScreenshot(guitest::SaveScreenshot("manager-menu-" + std::to_string(++n)));
        menu->hide();
        QTest::qWait(100);
    }
    EXPECT_EQ(n, 5);
}

} // namespace
