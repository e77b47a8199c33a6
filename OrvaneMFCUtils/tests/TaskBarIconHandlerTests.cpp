#include "OrvaneMFCUtils/TaskBarIconHandler.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include <vector>

namespace {

QApplication& App() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tray-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

class Owner : public ITaskBarIconOwner {
public:
    QIcon LoadTaskBarIcon(unsigned int iconId) override {
        loaded.push_back(iconId);
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::blue);
        return QIcon(pixmap);
    }
    void FillTaskBarMenu(unsigned int menuId, QMenu& menu) override {
        ++fills;
        filledMenu = menuId;
        menu.addAction("&Open...")->setData(32774u);
        menu.addAction("E&xit")->setData(57665u);
    }
    void UpdateTaskBarMenu(QMenu&) override { ++updates; }
    void OnTaskBarCommand(unsigned int commandId) override { commands.push_back(commandId); }
    void OnTaskBarClick() override { ++clicks; }

    std::vector<unsigned int> loaded;
    std::vector<unsigned int> commands;
    unsigned int filledMenu = 0;
    int fills = 0, updates = 0, clicks = 0;
};

class TaskBarIconHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    Owner owner;
    CTaskBarIconHandler handler{owner, 300};
};

TEST_F(TaskBarIconHandlerTest, TheIconExistsOnceAddedEvenWithoutATray) {
    EXPECT_FALSE(handler.HasIcon());
    EXPECT_FALSE(handler.bModifyIconTaskBarProp(2, 128, "Pramitone"));
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    EXPECT_TRUE(handler.HasIcon());
    EXPECT_EQ(handler.CurrentIconId(), 128u);
    EXPECT_EQ(handler.ToolTip(), "Pramitone");
    EXPECT_EQ(owner.filledMenu, 300u);
    handler.RemoveIcon();
    EXPECT_FALSE(handler.HasIcon());
    EXPECT_FALSE(handler.bModifyIconTaskBarProp(2, 128, "Pramitone"));
}

TEST_F(TaskBarIconHandlerTest, AnimationCyclesThroughTheListAndStopsWhereItIs) {
    for (unsigned int id = 302; id <= 311; ++id)
        handler.AddIconToAnimationList(id);
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    handler.AnimateIcon(150, true);
    EXPECT_TRUE(handler.IsAnimating());
    EXPECT_EQ(handler.AnimationTimer().interval(), 150);
    std::vector<unsigned int> shown;
    for (int tick = 0; tick < 12; ++tick) {
        handler.OnAnimationTick();
        shown.push_back(handler.CurrentIconId());
    }
    std::vector<unsigned int> expected = {302, 303, 304, 305, 306, 307,
                                          308, 309, 310, 311, 302, 303};
    EXPECT_EQ(shown, expected);

    handler.AnimateIcon(0, false);
    EXPECT_FALSE(handler.IsAnimating());
    EXPECT_EQ(handler.CurrentIconId(), 303u);
    ASSERT_TRUE(handler.bModifyIconTaskBarProp(2, 128, "Pramitone"));
    EXPECT_EQ(handler.CurrentIconId(), 128u);

    // A new start begins the cycle again.
    handler.AnimateIcon(150, true);
    handler.OnAnimationTick();
    EXPECT_EQ(handler.CurrentIconId(), 302u);
}

TEST_F(TaskBarIconHandlerTest, AnEmptyAnimationListDoesNotAnimate) {
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    handler.AnimateIcon(150, true);
    EXPECT_FALSE(handler.IsAnimating());
    EXPECT_EQ(handler.CurrentIconId(), 128u);
}

TEST_F(TaskBarIconHandlerTest, MenuIsFilledOnceUpdatedEachTimeAndForwardsCommands) {
    EXPECT_EQ(handler.PrepareMenu(), nullptr);
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    EXPECT_EQ(owner.fills, 1);
    QMenu* menu = handler.PrepareMenu();
    ASSERT_NE(menu, nullptr);
    handler.PrepareMenu();
    EXPECT_EQ(owner.updates, 2);
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    ASSERT_EQ(owner.commands.size(), 1u);
    EXPECT_EQ(owner.commands[0], 57665u);
}

TEST_F(TaskBarIconHandlerTest, ASingleAndADoubleClickReachTheOwnerAndTheMenuKeyDoesNot) {
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    handler.OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(owner.clicks, 1);
    handler.OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(owner.clicks, 2);
    handler.OnActivated(QSystemTrayIcon::Context);
    handler.OnActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(owner.clicks, 2);
}

TEST_F(TaskBarIconHandlerTest, ModifyChangesTheTipWithoutThePicture) {
    ASSERT_TRUE(handler.bAddIconToTaskBar(128, "Pramitone"));
    ASSERT_TRUE(handler.bModifyIconTaskBarProp(CTaskBarIconHandler::kModifyTip, 302, "Playing"));
    EXPECT_EQ(handler.CurrentIconId(), 128u);
    EXPECT_EQ(handler.ToolTip(), "Playing");
}

} // namespace
