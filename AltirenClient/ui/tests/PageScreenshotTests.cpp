// The Basic and Professional pages in the manager window, and the download dialog over
// it, under a real X server (Xvfb) against the stand-in; saved as PNG files in
// <build>/screenshots for a person to look at. Nothing compares pixels.
#include "AltirenClient/DriverMngr.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/AltirenPageBrowser.h"
#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/ServerWaitBox.h"
#include "AltirenUiTest/Xvfb.h"
#include "ManagerFakes.h"
#include "PageDriving.h"
#include "PagesFixture.h"

#include <QBuffer>
#include <QImage>
#include <QSlider>

using namespace pagestest;

namespace {

class PageScreenshots : public PagesTest {
protected:
    void Configure(mgmt::ServerOptions& options) override {
        QImage logo(120, 24, QImage::Format_RGB32);
        logo.fill(QColor(0x1f, 0x5f, 0xa8));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        logo.save(&buffer, "PNG");
        options.pages["/logo.png"] = {"image/png", png.toStdString()};
        options.browseExtra = "<p><img src=\"/logo.png\"></p><p>Click a scenario to import it.</p>";
    }

    void SetUp() override {
        if (!xvfb.Running())
            GTEST_SKIP() << xvfb.Error();
        guitest::XcbApp(xvfb);
        PagesTest::SetUp();
        Serve("Branch office.tvl",
              ScenarioDocument(Ranges("INCLUDE_IPS", {"198.18.0.2", "198.18.0.3"}), 60));
        Serve("Satellite link.wst", Recording(550, 1, {kNetworkHost}));
        server->EditStore([](mgmt::AccountStore& s) {
            s.Presets() = {{"LATENCY", {"20", "50", "100", "200", "400"}},
                           {"PACKETLOSS", {"0.2", "1", "2", "5", "15"}},
                           {"BANDWIDTH", {"15440", "2560", "640", "336", "144"}}};
        });
        context.driver = &driver;
        context.application = &application;
        context.prompt = &prompt;
        context.seams.presetPage = CAltirenPagePreset::Factory();
        const ImportPageFactory make = CAltirenPageImport::Factory();
        context.seams.importPage = [this, make](const ManagerPageContext& pageContext) {
            auto page = make(pageContext);
            importPage = static_cast<CAltirenPageImport*>(page.get());
            return page;
        };
        manager = std::make_unique<CAltirenMngr>(context);
        manager->move(40, 30);
        ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    }
    void TearDown() override {
        manager.reset();
        PagesTest::TearDown();
    }

    static void Save(const std::string& name) {
        QTest::qWait(300);
        const std::string path = guitest::SaveScreenshot(name);
        guitest::ExpectScreenshot(path);
    }

    guitest::XvfbServer xvfb;
    CDriverMngr driver;
    FakeApplication application;
    guitest::CActingPrompt prompt;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> manager;
    CAltirenPageImport* importPage = nullptr;
};

TEST_F(PageScreenshots, ThePresetPage) {
    ASSERT_EQ(manager->CurrentPage(), 0);
    auto* loss = guitest::Find<QSlider>(manager.get(), IDC_PRESET_LOSS);
    ASSERT_TRUE(QTest::qWaitFor([loss] { return loss->isEnabled(); }, 10000));
    guitest::Find<QSlider>(manager.get(), IDC_PRESET_LOSS)->setValue(40);
    guitest::Find<QSlider>(manager.get(), IDC_PRESET_LATENCY)->setValue(60);
    guitest::Find<QSlider>(manager.get(), IDC_PRESET_BANDWIDTH)->setValue(80);
    Save("page-preset");
}

TEST_F(PageScreenshots, TheDownloadDialogAndTheImportPageWithASummary) {
    manager->OnCommand(ID_VIEW_PROFESSIONAL);
    Save("page-import-empty");
    bool dialogSaved = false;
    pagedriving::WhileBrowserRuns([&dialogSaved](CAltirenPageBrowser* dialog) {
        dialog->move(200, 120);
        Save("page-browser");
        dialogSaved = true;
        if (!pagedriving::ClickLink(dialog->View(), "Branch office.tvl"))
            dialog->reject();
    });
    manager->OnCommand(ID_FILE_SELECT_NETWORK);
    EXPECT_TRUE(dialogSaved);
    ASSERT_TRUE(importPage->HasScenarioToPlay());
    Save("page-import-document");

    pagedriving::WhileBrowserRuns([](CAltirenPageBrowser* dialog) {
        if (!pagedriving::ClickLink(dialog->View(), "Satellite link.wst"))
            dialog->reject();
    });
    manager->OnCommand(ID_FILE_SELECT_NETWORK);
    EXPECT_EQ(importPage->GetSourceKind(), IImportPage::kSourceRecording);
    Save("page-import-recording");
}

// The dialog while the server keeps its browse page, and the box of an account change
// that waits for the server.
TEST_F(PageScreenshots, TheWaitsForTheServer) {
    manager->OnCommand(ID_VIEW_PROFESSIONAL);
    mgmt::Behaviour silent;
    silent.silentBrowse = true;
    server->SetBehaviour(silent);
    bool saved = false;
    pagedriving::WhileBrowserRuns(
        [&saved](CAltirenPageBrowser* dialog) {
            dialog->move(200, 120);
            Save("page-browser-waiting");
            saved = dialog->IsWaiting();
            dialog->reject();
        },
        true);
    manager->OnCommand(ID_FILE_SELECT_NETWORK);
    EXPECT_TRUE(saved);
    server->SetBehaviour(mgmt::Behaviour());
    server->ReleaseHeld();

    CServerWaitBox box(manager.get());
    box.show();
    box.move(220, 200);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    Save("server-wait-box");
}

} // namespace
