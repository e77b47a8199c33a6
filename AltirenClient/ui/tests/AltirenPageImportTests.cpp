// The Professional page and its download dialog with their widgets, offscreen, against
// the management-server stand-in on the loopback: the browse page shown, links clicked as
// a user clicks them, scenarios downloaded with Basic authentication, shown on the page
// and converted by the manager window into play records the control library accepts.
#include "AltirenUi/AltirenPageImport.h"

#include "AltirenClient/DriverMngr.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/AltirenPageBrowser.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/BrowseView.h"
#include "ManagerFakes.h"
#include "PageDriving.h"
#include "PagesFixture.h"
#include "ResponsivenessProbe.h"
#include "ScenarioChecks.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>

#include <filesystem>

#include <map>

#include <functional>

using namespace pagestest;

namespace {

class ImportPage : public PagesTest {
protected:
    void Configure(mgmt::ServerOptions& options) override {
        options.pages["/more.html"] = {"text/html",
                                       "<html><body><p>More scenarios</p>"
                                       "<a href=\"files/deep.tvl\">deep.tvl</a></body></html>"};
        options.pages["/logo.png"] = {"image/png", LogoPng()};
        for (const char* slow : {"/slow1.png", "/slow2.png", "/slow3.png", "/slow4.png"})
            options.pages[slow] = {"image/png", LogoPng()};
        options.browseExtra = browseExtra;
    }

    static std::string LogoPng() {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes.toStdString();
    }

    QString FileNameShown(QWidget& page) {
        return guitest::Find<QLineEdit>(&page, IDC_IMPORT_FILE_NAME)->text();
    }
    QString SummaryShown(QWidget& page) {
        return guitest::Find<QTextBrowser>(&page, IDC_IMPORT_SUMMARY)->toPlainText();
    }

    std::string browseExtra = "<p><a href=\"/more.html\">More</a></p>";
    guitest::CActingPrompt prompt;
    RecordingSink sink;
};

TEST_F(ImportPage, OfflineTheButtonShowsTheMessageAndOpensNoDialog) {
    CAltirenPageImport page(nullptr, &sink, prompt);
    ClientState::SetServerOnline(false);
    QTest::mouseClick(guitest::Find<QPushButton>(&page, IDC_IMPORT_SELECT), Qt::LeftButton);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_SERVER_UNREACHABLE));
    EXPECT_EQ(prompt.Boxes()[0].caption, LoadClientString(IDS_CAPTION_ERROR));
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(server->RequestCount(), 0u);
    EXPECT_FALSE(page.HasScenarioToPlay());

    // On-line, but without a browser page to open: no empty dialog either, and the
    // user is told what the installation did not set.
    ClientState::SetServerOnline(true);
    registry.registry().deleteValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kSettingsKey, "AltirenBrowser");
    QTest::mouseClick(guitest::Find<QPushButton>(&page, IDC_IMPORT_SELECT), Qt::LeftButton);
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, LoadClientString(IDS_BROWSER_ADDRESS_MISSING));
    EXPECT_EQ(prompt.Boxes()[1].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(server->Paths().size(), 0u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Nor without an account.
    ASSERT_TRUE(registry.SetString("AltirenBrowser", "browse.php"));
    registry.registry().deleteValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kSettingsKey, "AccountID");
    CAltirenPageBrowser dialog(nullptr, prompt, ImportedScenario());
    EXPECT_EQ(dialog.Run(), IDCANCEL);
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_EQ(prompt.Boxes()[2].text, LoadClientString(IDS_ACCOUNT_MISSING));
    EXPECT_EQ(server->Paths().size(), 0u);
}

TEST_F(ImportPage, TheDialogShowsTheBrowsePageFollowsPagesAndFetchesTheDocumentClicked) {
    Serve("net.tvl", ScenarioDocument(""));
    Serve("deep.tvl", ScenarioDocument("", 25));
    CAltirenPageBrowser dialog(nullptr, prompt, ImportedScenario());
    ASSERT_TRUE(dialog.Start());
    ASSERT_TRUE(guitest::ShowAndWait(&dialog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.IsWaiting(); }, 10000));
    CBrowseView* view = dialog.View();
    EXPECT_NE(view->toPlainText().indexOf("net.tvl"), -1) << view->toPlainText().toStdString();
    EXPECT_EQ(dialog.windowTitle(), "Pramitone Server - Available Topovel Files");

    // An HTML page is followed inside the dialog, its relative links against it.
    ASSERT_TRUE(pagedriving::ClickLink(view, "More"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.IsWaiting(); }, 10000));
    EXPECT_NE(view->toPlainText().indexOf("More scenarios"), -1);
    EXPECT_EQ(Hits("/more.html"), 1u);
    ASSERT_TRUE(pagedriving::ClickLink(view, "deep.tvl"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.result() == QDialog::Accepted; }, 10000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Result().sourceKind, 1);
    EXPECT_EQ(dialog.Result().fileName, "deep.tvl");
    EXPECT_EQ(Hits("/files/deep.tvl"), 1u);
    EXPECT_TRUE(prompt.Boxes().empty());
}

class ForeignResources : public ImportPage {
protected:
    // A resource the document holds as an image (it keeps the bytes it was given as the
    // image they make).
    static bool IsImage(const QVariant& resource) {
        if (resource.typeId() == QMetaType::QImage)
            return !resource.value<QImage>().isNull();
        if (resource.typeId() == QMetaType::QPixmap)
            return !resource.value<QPixmap>().isNull();
        return !QImage::fromData(resource.toByteArray()).isNull();
    }

    void SetUp() override {
        guitest::App();
        mgmt::ServerOptions options;
        options.address = "127.0.0.2";
        options.pages["/logo.png"] = {"image/png", LogoPng()};
        other = std::make_unique<mgmt::MgmtServer>(options);
        std::string error;
        ASSERT_TRUE(other->Start(error)) << error;
        secret = (dir / "secret.png").string();
        testsupport::write_file(secret, LogoPng());
        browseExtra = "<img src=\"file://" + secret + "\"><img src=\"http://" + other->HostPort() +
                      "/logo.png\"><img src=\"/logo.png\">";
        ImportPage::SetUp();
    }
    void TearDown() override {
        ImportPage::TearDown();
        other->Stop();
    }

    std::unique_ptr<mgmt::MgmtServer> other;
    std::string secret;
};

TEST_F(ForeignResources, APageNamingAFileOrAnotherHostsResourceFetchesNothingOfThem) {
    CAltirenPageBrowser dialog(nullptr, prompt, ImportedScenario());
    ASSERT_TRUE(dialog.Start());
    ASSERT_TRUE(guitest::ShowAndWait(&dialog));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !dialog.IsWaiting() && dialog.View()->PendingResources() == 0; }, 10000));
    QTextDocument* document = dialog.View()->document();
    // The server's own image is there; the file and the other host's are not.
    EXPECT_EQ(Hits("/logo.png"), 1u);
    EXPECT_TRUE(IsImage(document->resource(QTextDocument::ImageResource, QUrl("/logo.png"))));
    const QVariant file = document->resource(QTextDocument::ImageResource,
                                             QUrl(QString::fromStdString("file://" + secret)));
    EXPECT_FALSE(IsImage(file));
    EXPECT_TRUE(file.toByteArray().isEmpty());
    EXPECT_FALSE(IsImage(document->resource(
        QTextDocument::ImageResource,
        QUrl(QString::fromStdString("http://" + other->HostPort() + "/logo.png")))));
    EXPECT_TRUE(other->Paths().empty());
}

// The manager window with the real pages; the import page as the manager made it.
class ImportThroughManager : public ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
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
        ASSERT_NE(importPage, nullptr);
    }
    void TearDown() override {
        manager.reset();
        ImportPage::TearDown();
    }

    // File > Select Emulated Network..., with the link clicked in the dialog as it runs.
    void ImportByClicking(const QString& link) {
        pagedriving::WhileBrowserRuns([link](CAltirenPageBrowser* dialog) {
            if (!pagedriving::ClickLink(dialog->View(), link)) {
                ADD_FAILURE() << "no link " << link.toStdString();
                dialog->reject();
            }
        });
        manager->OnCommand(ID_FILE_SELECT_NETWORK);
    }

    CDriverMngr driver;
    FakeApplication application;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> manager;
    CAltirenPageImport* importPage = nullptr;
};

TEST_F(ImportThroughManager, ADocumentBecomesThePagesScenarioAndAPlayRecordTheLibraryAccepts) {
    Serve("net.tvl", ScenarioDocument(Ranges("INCLUDE_IPS", {"198.18.0.2"}), 60));
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    ImportByClicking("net.tvl");
    EXPECT_EQ(manager->CurrentPage(), 2);
    ASSERT_TRUE(importPage->HasScenarioToPlay());
    EXPECT_EQ(FileNameShown(*importPage), "net.tvl");
    const QString summary = SummaryShown(*importPage);
    EXPECT_NE(summary.indexOf("Latency: Fixed 60 ms."), -1) << summary.toStdString();
    EXPECT_NE(summary.indexOf("Filter type: Include"), -1) << summary.toStdString();
    EXPECT_NE(summary.indexOf("198.18.0.2"), -1);
    EXPECT_TRUE(manager->IsPlayButtonEnabled());
    // Fetched once, behind the stand-in's Basic authentication.
    EXPECT_EQ(Hits("/files/net.tvl"), 1u);
    EXPECT_TRUE(prompt.Boxes().empty());

    ASSERT_TRUE(manager->Model().InitPlaySettingsImport());
    const PlayParameters& played = *manager->Model().GetPlayParameters();
    EXPECT_EQ(played.minDelay, 60);
    EXPECT_EQ(played.filterMode, 1u);
    EXPECT_EQ(played.filterCount, 1u);
    EXPECT_EQ(scenario_test::RealChecks(played), 0);
}

TEST_F(ImportThroughManager, ARecordingBecomesThePagesScenarioAndAPlayRecordTheLibraryAccepts) {
    Serve("slow link.wst", Recording(40, 1, {kNetworkHost}));
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    ImportByClicking("slow link.wst");
    ASSERT_TRUE(importPage->HasScenarioToPlay());
    EXPECT_EQ(importPage->GetSourceKind(), IImportPage::kSourceRecording);
    EXPECT_EQ(FileNameShown(*importPage), "slow link.wst");
    EXPECT_NE(SummaryShown(*importPage).indexOf("Latency: Fixed 40 ms."), -1)
        << SummaryShown(*importPage).toStdString();
    EXPECT_TRUE(TempFiles().empty());

    ASSERT_TRUE(manager->Model().InitPlaySettingsImport());
    const PlayParameters& played = *manager->Model().GetPlayParameters();
    EXPECT_EQ(played.minDelay, 40);
    EXPECT_EQ(scenario_test::RealChecks(played), 0);
}

TEST_F(ImportThroughManager, ARefusedImportLeavesThePageAsItWas) {
    Serve("first.tvl", ScenarioDocument("", 60));
    Serve("server.tvl", ScenarioDocument(Ranges("INCLUDE_IPS", {"127.0.0.1"}), 90));
    Serve("bad.wst", std::string("not a recording"));
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    ImportByClicking("first.tvl");
    ASSERT_TRUE(importPage->HasScenarioToPlay());
    const std::string first = importPage->GetDocument();

    prompt.Answer(IDCANCEL); // keep the server in: no import
    ImportByClicking("server.tvl");
    prompt.Answer(IDOK); // "Invalid file."
    ImportByClicking("bad.wst");
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, LoadClientString(IDS_INVALID_FILE));
    EXPECT_EQ(importPage->GetSourceKind(), IImportPage::kSourceDocument);
    EXPECT_EQ(importPage->GetDocument(), first);
    EXPECT_EQ(FileNameShown(*importPage), "first.tvl");
    EXPECT_NE(SummaryShown(*importPage).indexOf("Fixed 60 ms"), -1);
    EXPECT_TRUE(manager->IsPlayButtonEnabled());
    EXPECT_TRUE(TempFiles().empty());

    // A new user: nothing imported, Play off on this page.
    manager->ResetUserSettings();
    EXPECT_FALSE(importPage->HasScenarioToPlay());
    EXPECT_EQ(FileNameShown(*importPage), "");
    EXPECT_NE(SummaryShown(*importPage).indexOf("Latency:"), -1);
    EXPECT_FALSE(manager->IsPlayButtonEnabled());
}

TEST_F(ImportThroughManager, ALongFileNameShowsItsBeginningAndAnEllipsis) {
    const std::string name = "a-scenario-file-name-far-too-long-for-the-edit-of-the-page-to-"
                             "hold-in-one-go-even-at-a-generous-width-of-the-manager-window-"
                             "whatever-its-pages-ask-for.tvl";
    Serve(name, ScenarioDocument(""));
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    ImportByClicking(QString::fromStdString(name));
    ASSERT_TRUE(importPage->HasScenarioToPlay());
    const QString shown = FileNameShown(*importPage);
    EXPECT_TRUE(shown.endsWith("...")) << shown.toStdString();
    EXPECT_TRUE(QString::fromStdString(name).startsWith(shown.left(shown.size() - 3)));
    EXPECT_GT(shown.size(), 10);
    EXPECT_LT(shown.size(), static_cast<int>(name.size()));
}

// A server that accepts and then says nothing, to the browse page, to a scenario file or
// to the page's images: the window goes on answering, the dialog shows at once that it
// waits, Cancel ends it at once, late images take their place when they come, and nothing
// stored changes.
class SilentServer : public ImportThroughManager {
protected:
    SilentServer() {
        browseExtra = "<p>Images:<img src=\"/slow1.png\"><img src=\"/slow2.png\">"
                      "<img src=\"/slow3.png\"><img src=\"/slow4.png\"></p>";
    }

    // Every value of the test's registry store, as its files hold them.
    std::map<std::string, std::string> Stored() const {
        std::map<std::string, std::string> files;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(registry.dir().str()))
            if (entry.is_regular_file())
                files[entry.path().string()] = testsupport::read_file(entry.path());
        return files;
    }

    // Runs File > Select Emulated Network... and, once the dialog is up (and shows its
    // page unless whileWaiting), act; the dialog is cancelled by a click. Returns how long
    // the click took to close it (ms), -1 when it did not.
    qint64 ImportAndCancel(const std::function<void(CAltirenPageBrowser*)>& act, bool whileWaiting,
                           qint64* shownAfter = nullptr) {
        QElapsedTimer clock;
        clock.start();
        qint64 closedIn = -1;
        pagedriving::WhileBrowserRuns(
            [&](CAltirenPageBrowser* dialog) {
                if (shownAfter)
                    *shownAfter = clock.elapsed();
                act(dialog);
                QElapsedTimer cancel;
                cancel.start();
                QTest::mouseClick(guitest::Find<QPushButton>(dialog, IDCANCEL), Qt::LeftButton);
                if (!dialog->isVisible())
                    closedIn = cancel.elapsed();
            },
            whileWaiting);
        manager->OnCommand(ID_FILE_SELECT_NETWORK);
        return closedIn;
    }

    static bool WaitingShown(CAltirenPageBrowser* dialog) {
        auto* status = guitest::Find<QLabel>(dialog, IDC_BROWSER_STATUS);
        return dialog->IsWaiting() && status && status->isVisible() &&
               status->text().toStdString() == LoadClientString(IDS_WAITING_FOR_SERVER);
    }
};

TEST_F(SilentServer, TheWindowAnswersWhileThePageAFileOrImagesAreFetchedAndCancelEndsAtOnce) {
    Serve("net.tvl", ScenarioDocument(""));
    ASSERT_TRUE(guitest::ShowAndWait(manager.get()));
    const auto before = Stored();

    // The browse page is held.
    mgmt::Behaviour silent;
    silent.silentBrowse = true;
    server->SetBehaviour(silent);
    guitest::ResponsivenessProbe probe(manager.get());
    bool waiting = false;
    qint64 shownAfter = -1;
    qint64 closedIn = ImportAndCancel(
        [&](CAltirenPageBrowser* dialog) {
            QTest::qWait(300);
            waiting = WaitingShown(dialog);
        },
        true, &shownAfter);
    EXPECT_GE(shownAfter, 0);
    EXPECT_LT(shownAfter, 1000);
    EXPECT_TRUE(waiting);
    EXPECT_GE(closedIn, 0);
    EXPECT_LT(closedIn, 100);

    // The page comes; the scenario file clicked is held.
    silent.silentBrowse = false;
    silent.silent = true;
    server->SetBehaviour(silent);
    waiting = false;
    closedIn = ImportAndCancel(
        [&](CAltirenPageBrowser* dialog) {
            if (!pagedriving::ClickLink(dialog->View(), "net.tvl"))
                ADD_FAILURE() << "no link net.tvl";
            QTest::qWait(300);
            waiting = WaitingShown(dialog);
        },
        false);
    EXPECT_TRUE(waiting);
    EXPECT_GE(closedIn, 0);
    EXPECT_LT(closedIn, 100);

    // The page comes; its four images are held, then come late.
    silent.silent = false;
    silent.silentPages = true;
    server->SetBehaviour(silent);
    bool shownWithout = false, cameLate = false;
    size_t pending = 0;
    closedIn = ImportAndCancel(
        [&](CAltirenPageBrowser* dialog) {
            CBrowseView* view = dialog->View();
            QTest::qWait(300);
            pending = view->PendingResources();
            shownWithout = view->toPlainText().contains("net.tvl") &&
                           view->PendingResources() == 4 && !dialog->IsWaiting();
            server->SetBehaviour(mgmt::Behaviour());
            server->ReleaseHeld();
            cameLate =
                QTest::qWaitFor([&] { return view->PendingResources() == 0; }, 5000) &&
                !QImage::fromData(view->document()
                                      ->resource(QTextDocument::ImageResource, QUrl("/slow1.png"))
                                      .toByteArray())
                     .isNull();
        },
        false);
    EXPECT_TRUE(shownWithout) << pending;
    EXPECT_TRUE(cameLate);
    EXPECT_GE(closedIn, 0);
    EXPECT_LT(closedIn, 100);

    probe.Stop();
    EXPECT_GT(probe.Samples(), 20u);
    // Input is answered within 100 ms; a stall of the loaded test machine is no request
    // held on the GUI thread, which would hold every event for the whole 5 s time-out.
    EXPECT_LT(probe.PercentileMs(0.95), 100) << "longest " << probe.LongestMs() << " ms";
    EXPECT_LT(probe.LongestMs(), 2000);
    EXPECT_FALSE(importPage->HasScenarioToPlay());
    EXPECT_EQ(Stored(), before);
}

} // namespace
