// The program's dialogs under a real X server, saved as PNG files in <build>/screenshots.
#include "AltirenApp/QtAppWindows.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/AboutDlg.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/MessageDlg.h"
#include "AltirenUi/NetworkAdapterDlg.h"
#include "AltirenUiTest/GuiTest.h"
#include "AltirenUiTest/Xvfb.h"
#include "FakeNuvexControl.h"

#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class ProgramScreenshots : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Server().Running())
            GTEST_SKIP() << Server().Error();
        guitest::XcbApp(Server());
        CMessageDlg::SetBeeper([](UINT) {});
    }
    void TearDown() override { CMessageDlg::SetBeeper({}); }
    static void Save(QWidget& window, const std::string& name) {
        ASSERT_TRUE(guitest::ShowAndWait(&window));
        QTest::qWait(200);
        const std::string path = guitest::SaveScreenshot(name);
        guitest::ExpectScreenshot(path);
        window.hide();
    }
    // One server for the process: its QApplication stays on the first display.
    static guitest::XvfbServer& Server() {
        static guitest::XvfbServer server;
        return server;
    }
};

TEST_F(ProgramScreenshots, TheAboutBox) {
    CAboutDlg about;
    Save(about, "about-box");
}

TEST_F(ProgramScreenshots, TheAdapterDialog) {
    CAdapterTable table;
    table.Add({"st0", "st0", "198.18.0.1", "255.255.255.0", 0, "st0"});
    table.Add({"tap1", "tap1", "", "", 0, "tap1"});
    table.Add({"eth2", "eth2", "192.0.2.10", "255.255.255.0", 0, "eth2"});
    CNetworkAdapterDlg dialog(table, 2);
    Save(dialog, "network-adapters");
}

namespace {
class NoApplication : public IClientApplication {
public:
    bool CheckActiveAdapter(bool) override { return true; }
    void ChooseActiveAdapter() override {}
    void StartTrayAnimation() override {}
    void StopTrayAnimation() override {}
    void ShowHelpIndex() override {}
    void ShowAbout() override {}
};
} // namespace

// The About box and the adapter dialog as the program opens them: over the manager window.
TEST_F(ProgramScreenshots, TheAboutBoxAndTheAdapterDialogOverTheManagerWindow) {
    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    NoApplication application;
    guitest::CActingPrompt prompt;
    CQtAppWindows windows(application, driver, [] {});
    ManagerContext context;
    context.driver = &driver;
    context.application = &application;
    context.prompt = &prompt;
    context.control = &control;
    ASSERT_TRUE(windows.CreateMainFrame(windows.CreateManager(context)));
    windows.ShowManager(5);
    ASSERT_TRUE(guitest::ShowAndWait(windows.Manager()));
    auto shoot = [](const std::string& name) {
        return [name](QDialog* dialog) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
            QTest::qWait(200);
            guitest::ExpectScreenshot(guitest::SaveScreenshot(name));
            dialog->reject();
        };
    };
    guitest::WhenModal<CAboutDlg>(shoot("about-box-over-manager"));
    windows.ShowAbout();
    CAdapterTable table;
    table.Add({"st0", "st0", "198.18.0.1", "255.255.255.0", 0, "st0"});
    guitest::WhenModal<CNetworkAdapterDlg>(shoot("network-adapters-over-manager"));
    windows.ChooseAdapter(table, 0);
}

TEST_F(ProgramScreenshots, TheMessageDialogOfAStartUpFailure) {
    CMessageDlg dialog;
    dialog.setWindowTitle("Pramitone");
    // As Show fills it, without running it modally.
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::qWait(200);
        guitest::SaveScreenshot("message-dialog-61212");
        dialog.accept();
    });
    dialog.ShowById(IDS_REGISTER_FAILED, IDS_CAPTION_ERROR, MB_ICONERROR);
    EXPECT_FALSE(dialog.IsChecked());
}

} // namespace
