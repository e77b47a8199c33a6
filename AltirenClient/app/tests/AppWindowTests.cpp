// The program's windows with widgets: the tray menu of the main frame, the Exit question,
// the message dialog, the About box and the adapter dialog.
#include "AppFakes.h"
#include "FakeNuvexControl.h"

#include "AltirenApp/MainFrame.h"
#include "AltirenApp/QtAppWindows.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/AboutDlg.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/MessageDlg.h"
#include "AltirenUi/NetworkAdapterDlg.h"
#include "AltirenUiTest/GuiTest.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

using namespace appfakes;

namespace {

class FakeApplication : public IClientApplication {
public:
    bool CheckActiveAdapter(bool) override { return true; }
    void ChooseActiveAdapter() override { ++choices; }
    void StartTrayAnimation() override {}
    void StopTrayAnimation() override {}
    void ShowHelpIndex() override {}
    void ShowAbout() override { ++abouts; }
    int choices = 0, abouts = 0;
};

class TrayMenuTest : public ::testing::Test {
protected:
    void SetUp() override { guitest::App(); }
    QAction* Item(QMenu* menu, UINT command) {
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->data().toUInt() == command)
                return action;
        return nullptr;
    }
    QApplication& qtApp = guitest::App(); // before any widget
    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    FakeManager manager;
    FakeApplication application;
    guitest::CActingPrompt prompt;
    int shows = 0, closed = 0;
    CMainFrame frame{
        manager, driver, application, prompt, [this] { ++shows; }, [this] { ++closed; }};
    CTaskBarIconHandler tray{frame, IDR_TRAY_MENU};
};

TEST_F(TrayMenuTest, TheMenuHasItsItemsInOrderAndFollowsThePlay) {
    ASSERT_TRUE(tray.bAddIconToTaskBar(IDR_MAINFRAME, "Pramitone"));
    QMenu* menu = tray.PrepareMenu();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts, (QStringList{"&Play", "&Open...", "S&how Statistics", "Set Active Adapte&r",
                                  "Op&tions...", "&About Pramitone", "He&lp", "E&xit"}));
    EXPECT_TRUE(Item(menu, ID_TRAY_SET_ADAPTER)->isEnabled());
    EXPECT_TRUE(Item(menu, ID_TRAY_OPTIONS)->isEnabled());

    CPlayParams params;
    ASSERT_EQ(driver.Play(params.get()), 1);
    menu = tray.PrepareMenu();
    EXPECT_EQ(Item(menu, ID_TRAY_PLAY_STOP)->text(), "&Stop");
    EXPECT_TRUE(Item(menu, ID_TRAY_PLAY_STOP)->isEnabled());
    EXPECT_FALSE(Item(menu, ID_TRAY_SET_ADAPTER)->isEnabled());
    EXPECT_FALSE(Item(menu, ID_TRAY_OPTIONS)->isEnabled());

    driver.Stop();
    manager.playEnabled = false;
    menu = tray.PrepareMenu();
    EXPECT_EQ(Item(menu, ID_TRAY_PLAY_STOP)->text(), "&Play");
    EXPECT_FALSE(Item(menu, ID_TRAY_PLAY_STOP)->isEnabled());

    CClientSettings().bSetStatisticsEnabled(false);
    menu = tray.PrepareMenu();
    EXPECT_FALSE(Item(menu, ID_TRAY_SHOW_STATISTICS)->isEnabled());
}

TEST_F(TrayMenuTest, ItemsAndAClickOrDoubleClickReachTheirTargets) {
    ASSERT_TRUE(tray.bAddIconToTaskBar(IDR_MAINFRAME, "Pramitone"));
    QMenu* menu = tray.PrepareMenu();
    Item(menu, ID_TRAY_ABOUT)->trigger();
    Item(menu, ID_TRAY_SET_ADAPTER)->trigger();
    Item(menu, ID_TRAY_PLAY_STOP)->trigger();
    EXPECT_EQ(application.abouts, 1);
    EXPECT_EQ(application.choices, 1);
    EXPECT_EQ(manager.playStops, 1);
    // Tray hosts deliver a single click, a double click, or both.
    tray.OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shows, 1);
    tray.OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(shows, 2);
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(frame.windowTitle(), "");
}

TEST_F(TrayMenuTest, ExitWhilePlayingAsksAndOkStopsAndClosesTheFrame) {
    ASSERT_TRUE(tray.bAddIconToTaskBar(IDR_MAINFRAME, "Pramitone"));
    CPlayParams params;
    ASSERT_EQ(driver.Play(params.get()), 1);
    prompt.Answer(IDCANCEL);
    Item(tray.PrepareMenu(), ID_APP_EXIT)->trigger();
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_EXIT_WHILE_PLAYING)));
    QCoreApplication::processEvents();
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(manager.exits, 0);

    prompt.Answer(IDOK);
    Item(tray.PrepareMenu(), ID_APP_EXIT)->trigger();
    EXPECT_EQ(manager.exits, 1);
    // The frame closes once the command has returned.
    EXPECT_EQ(closed, 0);
    for (int i = 0; i < 100 && closed == 0; ++i)
        QTest::qWait(5);
    EXPECT_EQ(closed, 1);
}

class MessageDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        CMessageDlg::SetBeeper([this](UINT type) { beeps.push_back(type); });
    }
    void TearDown() override { CMessageDlg::SetBeeper({}); }
    // Acts on the dialog once it is up, then presses OK.
    void WhileShown(CMessageDlg& dialog, std::function<void()> act) {
        QTimer::singleShot(0, &dialog, [&dialog, act] {
            act();
            QTest::mouseClick(guitest::Find<QPushButton>(&dialog, IDOK), Qt::LeftButton);
        });
    }
    std::vector<UINT> beeps;
};

// Where no tray shows the icon, the shown manager window is the only way to the client:
// closing it is the tray's Exit, asked on the window as it stands; Escape does not end it.
class WithoutATray : public ::testing::Test {
protected:
    void SetUp() override {
        context.driver = &driver;
        context.application = &application;
        context.prompt = &prompt;
        context.control = &control;
        ASSERT_TRUE(windows.CreateMainFrame(windows.CreateManager(context)));
        windows.ExitWithManagerWindow();
        windows.ShowManager(5);
        manager = windows.Manager();
        ASSERT_TRUE(guitest::ShowAndWait(manager));
    }
    void WaitForExit() {
        for (int i = 0; i < 300 && exits == 0; ++i)
            QTest::qWait(10);
    }

    QApplication& qtApp = guitest::App();
    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    FakeApplication application;
    guitest::CActingPrompt prompt;
    ManagerContext context;
    int exits = 0;
    CQtAppWindows windows{application, driver, [this] { ++exits; }};
    CAltirenMngr* manager = nullptr;
};

TEST_F(WithoutATray, FileCloseExitsAndEscapeLeavesTheWindowUp) {
    QTest::keyClick(manager, Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(manager->isVisible());
    EXPECT_EQ(exits, 0);
    EXPECT_NE(manager->GetWindow(), nullptr);

    ControlId::FindAction(manager, ID_FILE_CLOSE_WINDOW)->trigger();
    WaitForExit();
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(manager->GetWindow(), nullptr);
    EXPECT_FALSE(manager->isVisible());
}

// The real question box, answered as a person answers it.
TEST_F(WithoutATray, ClosingWhilePlayingAsksOverTheWindowAndCancelKeepsItAsItWas) {
    CPlayParams params;
    ASSERT_EQ(driver.Play(params.get()), 1);
    std::vector<bool> shownWhileAsked;
    auto answerWith = [&](QMessageBox::StandardButton answer) {
        guitest::WhenModal<QMessageBox>([&shownWhileAsked, this, answer](QMessageBox* box) {
            EXPECT_EQ(box->text().toStdString(), LoadClientString(IDS_EXIT_WHILE_PLAYING));
            shownWhileAsked.push_back(manager->isVisible());
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
    };
    answerWith(QMessageBox::Cancel);
    EXPECT_FALSE(manager->close());
    for (int i = 0; i < 300 && shownWhileAsked.empty(); ++i)
        QTest::qWait(10);
    QTest::qWait(50);
    EXPECT_EQ(shownWhileAsked, std::vector<bool>{true});
    EXPECT_TRUE(manager->isVisible());
    EXPECT_NE(manager->GetWindow(), nullptr);
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(driver.IsPlaying());

    answerWith(QMessageBox::Ok);
    manager->close();
    WaitForExit();
    EXPECT_EQ(shownWhileAsked, (std::vector<bool>{true, true}));
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(driver.IsPlaying());
    EXPECT_FALSE(manager->isVisible());
}

TEST_F(MessageDlgTest, TheCheckBoxStartsClearedAndIsReadAfterOk) {
    CMessageDlg dialog;
    bool startedCleared = false;
    WhileShown(dialog, [&] {
        QCheckBox* box = guitest::Find<QCheckBox>(&dialog, IDC_MESSAGE_DONT_SHOW);
        ASSERT_NE(box, nullptr);
        startedCleared = !box->isChecked();
        EXPECT_EQ(box->text(), "Don't show this message again");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        EXPECT_EQ(guitest::Find<QLabel>(&dialog, IDC_MESSAGE_TEXT)->text(),
                  QString::fromStdString(LoadClientString(IDS_LOGON_FAILED)));
        EXPECT_EQ(dialog.windowTitle(), "Pramitone");
    });
    EXPECT_EQ(dialog.ShowById(IDS_LOGON_FAILED, IDS_CAPTION_ERROR, MB_ICONERROR),
              QDialog::Accepted);
    EXPECT_TRUE(startedCleared);
    EXPECT_TRUE(dialog.IsChecked());

    CMessageDlg fresh;
    WhileShown(fresh, [] {});
    fresh.Show("Again", "Pramitone", MB_ICONWARNING);
    EXPECT_FALSE(fresh.IsChecked());
}

TEST_F(MessageDlgTest, IconAndBeepFollowTheIconBits) {
    CMessageDlg error;
    WhileShown(error, [] {});
    error.Show("E", "Pramitone", MB_ICONERROR);
    EXPECT_EQ(error.ShownPicture(), CMessageDlg::Picture::Error);
    EXPECT_EQ(beeps, (std::vector<UINT>{16}));
    EXPECT_FALSE(guitest::Find<QLabel>(&error, IDC_MESSAGE_ICON)->pixmap().isNull());

    CMessageDlg plain;
    WhileShown(plain, [] {});
    plain.Show("P", "Pramitone", 0);
    EXPECT_EQ(plain.ShownPicture(), CMessageDlg::Picture::Client);
    EXPECT_EQ(beeps.back(), 0xFFFFFFFFu);
    EXPECT_FALSE(guitest::Find<QLabel>(&plain, IDC_MESSAGE_ICON)->pixmap().isNull());

    EXPECT_EQ(CMessageDlg::PictureFor(MB_ICONWARNING), CMessageDlg::Picture::Warning);
    EXPECT_EQ(CMessageDlg::PictureFor(MB_ICONINFORMATION), CMessageDlg::Picture::Information);
    EXPECT_EQ(CMessageDlg::PictureFor(MB_ICONQUESTION), CMessageDlg::Picture::Question);
    // Bits outside 0x70 do not choose a picture.
    EXPECT_EQ(CMessageDlg::PictureFor(0x80 | MB_OKCANCEL), CMessageDlg::Picture::Client);
}

TEST_F(MessageDlgTest, ThePromptGivesTheBoxBack) {
    CMessageDlgPrompt prompt;
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        guitest::Find<QCheckBox>(dialog, IDC_MESSAGE_DONT_SHOW)->setChecked(true);
        QTest::mouseClick(guitest::Find<QPushButton>(dialog, IDOK), Qt::LeftButton);
    });
    bool dontShow = false;
    EXPECT_EQ(prompt.ShowMessageDialog("Text", "Pramitone", MB_ICONERROR, dontShow), IDOK);
    EXPECT_TRUE(dontShow);
}

TEST(AboutDlg, TitleCreditsAndPainting) {
    guitest::App();
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "About Pramitone");
    std::vector<CreditSlot> credits = CAboutDlg::Credits();
    ASSERT_EQ(credits.size(), 9u);
    EXPECT_EQ(credits[0].text, "About Pramitone");
    EXPECT_EQ(credits[0].height, 16);
    EXPECT_EQ(credits[0].weight, 750);
    EXPECT_EQ(credits[1].text, "Part of the");
    EXPECT_EQ(credits[3].text, "v2.5");
    EXPECT_EQ(credits[4].text, "Build 1060.005");
    EXPECT_EQ(credits[8].text, "All Rights Reserved.");
    EXPECT_EQ(credits[8].y, 372);
    for (const CreditSlot& slot : credits)
        EXPECT_EQ(slot.x, 222);
    // The credits are drawn in their colour over the bitmap.
    const QImage image = dialog.grab().toImage();
    int credited = 0;
    for (int y = 16; y < 30; ++y)
        for (int x = 222; x < 400; ++x)
            credited += image.pixelColor(x, y) == QColor(0x00, 0x42, 0x87);
    EXPECT_GT(credited, 10);
}

CAdapterTable ThreeAdapters() {
    CAdapterTable table;
    table.Add({"tap0", "tap0", "198.18.0.1", "255.255.255.0", 0, "tap0"});
    table.Add({"tap1", "tap1", "", "", 0, "tap1"});
    table.Add({"tap2", "tap2", "198.18.2.1", "255.255.255.0", 0, "tap2"});
    return table;
}

TEST(NetworkAdapterDlg, LinesAndTheFirstSelectedWithoutAnIndex) {
    guitest::App();
    CNetworkAdapterDlg dialog(ThreeAdapters(), std::nullopt);
    EXPECT_EQ(dialog.windowTitle(), "Network Adapters");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QListWidget* list = guitest::Find<QListWidget>(&dialog, IDC_ADAPTER_LIST);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "tap0 (IP Address: 198.18.0.1)");
    EXPECT_EQ(list->item(1)->text(), "tap1 (IP Address: )");
    EXPECT_EQ(list->currentRow(), 0);
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(guitest::Find<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    });
    dialog.exec();
    EXPECT_EQ(dialog.Chosen(), std::optional<size_t>(0));
}

TEST(NetworkAdapterDlg, TheCurrentAdapterIsSelectedAndOkTakesTheClickedLine) {
    guitest::App();
    CNetworkAdapterDlg dialog(ThreeAdapters(), 2);
    QListWidget* list = dialog.List();
    EXPECT_EQ(list->currentRow(), 2);
    QTimer::singleShot(0, &dialog, [&dialog, list] {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(1)).center());
        QTest::mouseClick(guitest::Find<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    });
    dialog.exec();
    EXPECT_EQ(dialog.Chosen(), std::optional<size_t>(1));
}

// The About box and the adapter dialog belong to the manager window: dialogs over it
// (the desktop gives them no buttons of a main window), centred where it stands.
TEST_F(WithoutATray, TheAboutBoxAndTheAdapterDialogOpenOverTheManagerWindow) {
    manager->move(manager->pos() + QPoint(150, 90));
    QTest::qWait(20);
    std::vector<std::string> seen;
    auto over = [this, &seen](QDialog* dialog) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        seen.push_back(dialog->windowTitle().toStdString());
        EXPECT_EQ(dialog->parentWidget(), manager);
        ASSERT_NE(dialog->windowHandle(), nullptr);
        EXPECT_EQ(dialog->windowHandle()->transientParent(), manager->windowHandle());
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinMaxButtonsHint);
        const QPoint offset = dialog->frameGeometry().center() - manager->frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 8) << dialog->windowTitle().toStdString();
        dialog->reject();
    };
    guitest::WhenModal<CAboutDlg>([&over](CAboutDlg* dialog) { over(dialog); });
    windows.ShowAbout();
    guitest::WhenModal<CNetworkAdapterDlg>([&over](CNetworkAdapterDlg* dialog) { over(dialog); });
    EXPECT_EQ(windows.ChooseAdapter(ThreeAdapters(), 0), std::nullopt);
    EXPECT_EQ(seen, (std::vector<std::string>{"About Pramitone", "Network Adapters"}));
}

TEST(NetworkAdapterDlg, CancelChoosesNothingAndAnEmptyTableHasNoSelection) {
    guitest::App();
    CNetworkAdapterDlg dialog(ThreeAdapters(), 0);
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(guitest::Find<QPushButton>(&dialog, IDCANCEL), Qt::LeftButton);
    });
    dialog.exec();
    EXPECT_EQ(dialog.Chosen(), std::nullopt);

    CNetworkAdapterDlg empty(CAdapterTable(), std::nullopt);
    QTimer::singleShot(0, &empty, [&empty] {
        QTest::mouseClick(guitest::Find<QPushButton>(&empty, IDOK), Qt::LeftButton);
    });
    empty.exec();
    EXPECT_EQ(empty.Chosen(), std::nullopt);
}

} // namespace
