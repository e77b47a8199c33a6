// The window layer's ground: the Qt prompt, control ids with their tool tips, the help
// hook and the drawings of the resource file.
#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/QtPrompt.h"
#include "AltirenUi/UiResources.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <vector>

namespace {

class Ground : public ::testing::Test {
protected:
    void SetUp() override { guitest::App(); }
};

TEST_F(Ground, PromptTakesButtonsAndIconFromTheFlagsAndAnswersWin32Numbers) {
    using B = QMessageBox;
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_OK), B::Ok);
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_OKCANCEL | MB_ICONWARNING), B::Ok | B::Cancel);
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_ABORTRETRYIGNORE), B::Abort | B::Retry | B::Ignore);
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_YESNOCANCEL), B::Yes | B::No | B::Cancel);
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_YESNO | MB_ICONQUESTION), B::Yes | B::No);
    EXPECT_EQ(CQtPrompt::ButtonsFor(MB_RETRYCANCEL), B::Retry | B::Cancel);
    EXPECT_EQ(CQtPrompt::ButtonsFor(0x0000000E), B::Ok); // no such button set

    EXPECT_EQ(CQtPrompt::IconFor(MB_OK), B::NoIcon);
    EXPECT_EQ(CQtPrompt::IconFor(MB_ICONERROR), B::Critical);
    EXPECT_EQ(CQtPrompt::IconFor(MB_OKCANCEL | MB_ICONQUESTION), B::Question);
    EXPECT_EQ(CQtPrompt::IconFor(MB_ICONWARNING), B::Warning);
    EXPECT_EQ(CQtPrompt::IconFor(MB_ICONINFORMATION | MB_YESNO), B::Information);

    EXPECT_EQ(CQtPrompt::AnswerFor(B::Ok), IDOK);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::Cancel), IDCANCEL);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::Abort), IDABORT);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::Retry), IDRETRY);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::Ignore), IDIGNORE);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::Yes), IDYES);
    EXPECT_EQ(CQtPrompt::AnswerFor(B::No), IDNO);
    EXPECT_EQ(CQtPrompt::AnswerFor(0), IDCANCEL); // closed without a button
}

TEST_F(Ground, PromptShowsItsBoxOverTheOwnerAndAnswersTheButtonClicked) {
    QWidget owner;
    guitest::ShowAndWait(&owner);
    CQtPrompt prompt(&owner);

    QMessageBox* seen = nullptr;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // The box is modal: a timer of the nested loop clicks its No button.
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!seen)
            return;
        text = seen->text();
        title = seen->windowTitle();
        icon = seen->icon();
        seen->button(QMessageBox::No)->click();
    });
    // Whatever happens, no box stays up.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(5000);

    const int answer = prompt.MessageBox("Stop now?", "Pramitone", MB_YESNO | MB_ICONQUESTION);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(text, "Stop now?");
    EXPECT_EQ(title, "Pramitone");
    EXPECT_EQ(icon, QMessageBox::Question);

    std::unique_ptr<QMessageBox> box(prompt.CreateBox("a", "b", MB_OK));
    EXPECT_EQ(box->parentWidget(), &owner);
    // An owner that has gone leaves the boxes without one.
    auto* gone = new QWidget;
    prompt.SetOwner(gone);
    delete gone;
    EXPECT_EQ(prompt.GetOwner(), nullptr);
    box.reset(prompt.CreateBox("a", "b", MB_OK));
    EXPECT_EQ(box->parentWidget(), nullptr);
}

TEST_F(Ground, ControlIdsFindWidgetsAndActionsAndGiveTheirToolTips) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* frame = new QWidget;
    auto* inner = new QLineEdit;
    auto* play = new QPushButton("&Play");
    layout->addWidget(frame);
    layout->addWidget(play);
    (new QVBoxLayout(frame))->addWidget(inner);
    ControlId::Set(frame, IDC_PAGE_FRAME);
    ControlId::Set(play, IDC_PLAY_STOP);
    auto* basic = new QAction("Basic", &window);
    ControlId::Set(basic, ID_VIEW_BASIC);
    auto* long_text = new QPushButton;
    layout->addWidget(long_text);
    ControlId::Set(long_text, IDS_PREVIOUS_EMULATION_PLAYING);

    EXPECT_EQ(ControlId::Find(&window, IDC_PLAY_STOP), play);
    EXPECT_EQ(ControlId::Find(&window, IDC_PAGE_FRAME), frame);
    EXPECT_EQ(ControlId::Find(&window, 4711), nullptr);
    EXPECT_EQ(ControlId::Find(&window, 0), nullptr);
    EXPECT_EQ(ControlId::FindAction(&window, ID_VIEW_BASIC), basic);
    EXPECT_EQ(guitest::Find<QPushButton>(&window, IDC_PLAY_STOP), play);
    EXPECT_EQ(guitest::Find<QLineEdit>(&window, IDC_PLAY_STOP), nullptr);
    EXPECT_EQ(ControlId::Get(inner), 0u);
    EXPECT_EQ(ControlId::OfWidgetOrParent(inner), IDC_PAGE_FRAME);
    EXPECT_EQ(ControlId::OfWidgetOrParent(&window), 0u);

    ControlId::ApplyToolTips(&window);
    EXPECT_EQ(basic->toolTip(), "Show Basic Panel");
    EXPECT_TRUE(play->toolTip().isEmpty()); // 1002 has no string
    // A tool-tip request holds 79 characters of a longer string.
    const QString full = QString::fromStdString(LoadClientString(IDS_PREVIOUS_EMULATION_PLAYING));
    ASSERT_GT(full.size(), 79);
    EXPECT_EQ(long_text->toolTip(), full.left(79));
}

TEST_F(Ground, F1AsksTheHelpHookForTheControlWithTheFocus) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* latency = new QLineEdit;
    auto* group = new QWidget;
    auto* plain = new QLineEdit;
    layout->addWidget(latency);
    layout->addWidget(group);
    (new QVBoxLayout(group))->addWidget(plain);
    ControlId::Set(latency, IDC_MANUAL_LATENCY);
    ControlId::Set(group, IDC_PAGE_FRAME);
    HelpHook::Install(&window);
    guitest::ShowAndWait(&window);

    EXPECT_FALSE(HelpHook::Request(IDC_PLAY_STOP)); // nothing connected yet
    std::vector<UINT> asked;
    HelpHook::SetHandler([&](UINT id) {
        asked.push_back(id);
        return true;
    });
    latency->setFocus();
    QTest::keyClick(latency, Qt::Key_F1);
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_F1);
    QTest::keyClick(plain, Qt::Key_A); // other keys are the control's
    EXPECT_EQ(asked, (std::vector<UINT>{IDC_MANUAL_LATENCY, IDC_PAGE_FRAME}));
    EXPECT_EQ(plain->text(), "a");
    EXPECT_TRUE(HelpHook::Request(IDC_PLAY_STOP));
    HelpHook::SetHandler(nullptr);
    EXPECT_FALSE(HelpHook::Request(IDC_PLAY_STOP));
}

TEST_F(Ground, TheResourceFileDrawsEveryBitmapOfTheManagerWindow) {
    for (UINT id :
         {IDR_MAINFRAME, IDB_LATENCY, IDB_PACKET_LOSS, IDB_BANDWIDTH, IDB_TOOLBAR_BASIC,
          IDB_TOOLBAR_ADVANCED, IDB_TOOLBAR_PROFESSIONAL, IDB_TOOLBAR_STATISTICS, IDB_TOOLBAR_HELP,
          IDB_TOOLBAR_BASIC_HOT, IDB_TOOLBAR_ADVANCED_HOT, IDB_TOOLBAR_PROFESSIONAL_HOT,
          IDB_TOOLBAR_STATISTICS_HOT, IDB_TOOLBAR_HELP_HOT}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(UiResources::Path(id).isEmpty());
        const QImage image = UiResources::Pixmap(id, QSize(64, 50)).toImage();
        ASSERT_FALSE(image.isNull());
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                painted += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(painted, image.width() * image.height() / 10);
    }
    EXPECT_TRUE(UiResources::Path(4711).isEmpty());
    EXPECT_TRUE(UiResources::Pixmap(4711, QSize(16, 16)).isNull());
    EXPECT_FALSE(UiResources::Icon(IDR_MAINFRAME).isNull());
}

} // namespace
