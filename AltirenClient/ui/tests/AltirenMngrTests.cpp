// The manager window with widgets, driven by mouse and key clicks: pages and their
// exclusive buttons, the lock, the menu, tool tips, the seams, closing and help.
#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/HelpHook.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/OnlineProbe.h"
#include "ManagerWindowFixture.h"

#include <vector>

namespace {

TEST_F(ManagerWindow, IsTheModelessPramitoneClientWithItsToolbarAndDefaultPlayButton) {
    Open();
    EXPECT_EQ(window->windowTitle(), "Pramitone Client");
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(PlayButton()->text(), "&Play");
    EXPECT_TRUE(PlayButton()->isDefault());
    EXPECT_FALSE(window->windowIcon().isNull());
    const std::vector<std::pair<UINT, const char*>> buttons = {
        {ID_VIEW_BASIC, "Basic"},
        {ID_VIEW_ADVANCED, "Advanced"},
        {ID_VIEW_PROFESSIONAL, "Professional"},
        {ID_VIEW_STATISTICS, "Statistics"},
        {ID_HELP_HELP, "Help"}};
    for (const auto& [command, text] : buttons) {
        QToolButton* button = ToolButton(command);
        ASSERT_NE(button, nullptr) << command;
        EXPECT_EQ(button->text(), text);
        EXPECT_GE(button->width(), CManagerToolBar::kButtonWidth);
        EXPECT_GE(button->height(), CManagerToolBar::kButtonHeight);
    }
    EXPECT_EQ(ToolButton(ID_VIEW_BASIC)->toolTip(), "Show Basic Panel");
    EXPECT_EQ(ToolButton(ID_VIEW_ADVANCED)->toolTip(), "Show Advanced Panel");
    EXPECT_EQ(ToolButton(ID_VIEW_PROFESSIONAL)->toolTip(), "Show Professional Panel");
    EXPECT_EQ(ToolButton(ID_VIEW_STATISTICS)->toolTip(), "Open Statistics Window");
    EXPECT_EQ(ToolButton(ID_HELP_HELP)->toolTip(), "Open Help Window");
    EXPECT_NE(Control(IDC_BANNER_LINE), nullptr);
    EXPECT_NE(Control(IDC_PAGE_FRAME), nullptr);
}

TEST_F(ManagerWindow, PageButtonsAreExclusiveAndShowOnePageAtATime) {
    WithAllSeams();
    Open();
    EXPECT_EQ(window->CurrentPage(), 0);
    EXPECT_TRUE(preset->GetWidget()->isVisible());
    EXPECT_TRUE(ToolButton(ID_VIEW_BASIC)->isChecked());

    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    EXPECT_EQ(window->CurrentPage(), 1);
    EXPECT_TRUE(window->ManualPage()->isVisible());
    EXPECT_FALSE(preset->GetWidget()->isVisible());
    EXPECT_FALSE(ToolButton(ID_VIEW_BASIC)->isChecked());
    EXPECT_TRUE(ToolButton(ID_VIEW_ADVANCED)->isChecked());

    QTest::mouseClick(ToolButton(ID_VIEW_PROFESSIONAL), Qt::LeftButton);
    EXPECT_EQ(window->CurrentPage(), 2);
    EXPECT_TRUE(import->GetWidget()->isVisible());
    EXPECT_FALSE(window->ManualPage()->isVisible());
    int checked = 0;
    for (UINT command : {ID_VIEW_BASIC, ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL})
        checked += ToolButton(command)->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(MenuAction(ID_VIEW_PROFESSIONAL)->isChecked());
    // A second click on the checked button keeps it checked.
    QTest::mouseClick(ToolButton(ID_VIEW_PROFESSIONAL), Qt::LeftButton);
    EXPECT_TRUE(ToolButton(ID_VIEW_PROFESSIONAL)->isChecked());

    // The menu's View > Basic does the same.
    MenuAction(ID_VIEW_BASIC)->trigger();
    EXPECT_EQ(window->CurrentPage(), 0);
    EXPECT_TRUE(ToolButton(ID_VIEW_BASIC)->isChecked());
    EXPECT_FALSE(MenuAction(ID_VIEW_PROFESSIONAL)->isChecked());
    // Unchecked, it shows no empty box either.
    EXPECT_FALSE(MenuAction(ID_VIEW_PROFESSIONAL)->isCheckable());

    // On the Professional page Play needs a scenario; Select Emulated Network... runs the
    // page's import button there.
    MenuAction(ID_FILE_SELECT_NETWORK)->trigger();
    EXPECT_EQ(window->CurrentPage(), 2);
    EXPECT_EQ(import->imports, 1);
    EXPECT_FALSE(MenuAction(ID_FILE_PLAY)->isEnabled());
    import->hasScenario = true;
    EXPECT_TRUE(MenuAction(ID_FILE_PLAY)->isEnabled());
}

TEST_F(ManagerWindow, WhatIsNotBuiltYetStaysDisabledAndTheAdvancedPageComesFirst) {
    Open();
    EXPECT_EQ(window->CurrentPage(), 1);
    EXPECT_TRUE(window->ManualPage()->isVisible());
    EXPECT_TRUE(ToolButton(ID_VIEW_ADVANCED)->isChecked());
    EXPECT_FALSE(ToolButton(ID_VIEW_BASIC)->isEnabled());
    EXPECT_FALSE(ToolButton(ID_VIEW_PROFESSIONAL)->isEnabled());
    EXPECT_FALSE(ToolButton(ID_VIEW_STATISTICS)->isEnabled());
    EXPECT_TRUE(ToolButton(ID_HELP_HELP)->isEnabled());
    for (UINT command : {ID_VIEW_BASIC, ID_VIEW_PROFESSIONAL, ID_FILE_SELECT_NETWORK,
                         ID_EDIT_FILTER, ID_TOOLS_OPTIONS, ID_VIEW_STATISTICS})
        EXPECT_FALSE(MenuAction(command)->isEnabled()) << command;
    // Triggered anyway, they open nothing.
    window->OnCommand(ID_VIEW_BASIC);
    window->OnCommand(ID_EDIT_FILTER);
    window->OnCommand(ID_TOOLS_OPTIONS);
    window->OnCommand(ID_VIEW_STATISTICS);
    EXPECT_EQ(window->CurrentPage(), 1);
}

TEST_F(ManagerWindow, PlayingLocksThePagesAndPageButtonsUntilStopped) {
    WithAllSeams();
    Open();
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    QTest::mouseClick(PlayButton(), Qt::LeftButton);
    ASSERT_FALSE(window->IsStopped()) << prompt.Boxes().size();
    EXPECT_EQ(PlayButton()->text(), "Sto&p");
    EXPECT_FALSE(Edit(IDC_MANUAL_LOSS)->isEnabled());
    EXPECT_FALSE(Edit(IDC_MANUAL_LATENCY)->isEnabled());
    EXPECT_FALSE(Bandwidth()->isEnabled());
    EXPECT_TRUE(preset->locked);
    EXPECT_TRUE(import->locked);
    for (UINT command : {ID_VIEW_BASIC, ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL}) {
        EXPECT_FALSE(ToolButton(command)->isEnabled()) << command;
        EXPECT_FALSE(MenuAction(command)->isEnabled()) << command;
    }
    EXPECT_TRUE(ToolButton(ID_VIEW_STATISTICS)->isEnabled());
    EXPECT_EQ(MenuAction(ID_FILE_PLAY)->text(), "&Stop");
    EXPECT_TRUE(MenuAction(ID_FILE_PLAY)->isEnabled());
    EXPECT_FALSE(MenuAction(ID_TOOLS_SET_ADAPTER)->isEnabled());
    EXPECT_EQ(statistics->played.size(), 1u);

    // File > Stop stops.
    MenuAction(ID_FILE_PLAY)->trigger();
    EXPECT_TRUE(window->IsStopped());
    EXPECT_EQ(PlayButton()->text(), "&Play");
    EXPECT_TRUE(Edit(IDC_MANUAL_LATENCY)->isEnabled());
    EXPECT_TRUE(Bandwidth()->isEnabled());
    EXPECT_TRUE(ToolButton(ID_VIEW_BASIC)->isEnabled());
    EXPECT_TRUE(ToolButton(ID_VIEW_ADVANCED)->isChecked());
    EXPECT_EQ(MenuAction(ID_FILE_PLAY)->text(), "&Play");
    EXPECT_EQ(statistics->stopped, 1);
}

TEST_F(ManagerWindow, ThePagesSwitchThePlayButtonThroughTheSink) {
    WithAllSeams();
    Open();
    window->EnablePlayButton(false);
    EXPECT_FALSE(PlayButton()->isEnabled());
    EXPECT_FALSE(window->IsPlayButtonEnabled());
    // The manual page turns it on whenever it is shown.
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    EXPECT_TRUE(PlayButton()->isEnabled());
}

TEST_F(ManagerWindow, TheSeamsOpenWhatOtherPartsBuild) {
    WithAllSeams();
    Open();
    filterDialog.kept.addresses = {"10.0.0.9"};
    MenuAction(ID_EDIT_FILTER)->trigger();
    EXPECT_EQ(filterDialog.runs, 1);
    EXPECT_EQ(filterDialog.locks, std::vector<bool>{false});
    EXPECT_EQ(window->Model().GetFilter().addresses, std::vector<std::string>{"10.0.0.9"});
    filterDialog.shown = true;
    MenuAction(ID_EDIT_FILTER)->trigger();
    EXPECT_EQ(filterDialog.runs, 1);
    EXPECT_EQ(filterDialog.raises, 1);

    MenuAction(ID_TOOLS_OPTIONS)->trigger();
    EXPECT_EQ(optionsSheet.pages, 0xFFFFFFFEu);
    EXPECT_EQ(optionsSheet.description, IDS_OPTIONS_DESCRIPTION);
    EXPECT_EQ(optionsSheet.runs, 1);

    QTest::mouseClick(ToolButton(ID_VIEW_STATISTICS), Qt::LeftButton);
    MenuAction(ID_VIEW_STATISTICS)->trigger();
    EXPECT_EQ(statistics->shown, (std::vector<bool>{false, false}));

    QTest::mouseClick(ToolButton(ID_HELP_HELP), Qt::LeftButton);
    MenuAction(ID_HELP_HELP)->trigger();
    MenuAction(ID_APP_ABOUT)->trigger();
    MenuAction(ID_TOOLS_SET_ADAPTER)->trigger();
    EXPECT_EQ(application.helpIndexes, 2);
    EXPECT_EQ(application.abouts, 1);
    EXPECT_EQ(application.adapterChoices, 1);
}

TEST_F(ManagerWindow, ClosingOnlyHidesTheWindowAndPlayGoesOnFromTheTray) {
    Open();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->GetWindow(), window.get());
    // Hidden, a play from the tray takes the record as it stands.
    EXPECT_TRUE(window->PlayStop());
    EXPECT_FALSE(window->IsStopped());
    window->show();
    MenuAction(ID_FILE_CLOSE_WINDOW)->trigger();
    EXPECT_FALSE(window->isVisible());

    // Exit stops and destroys the window.
    window->OnAppExit();
    EXPECT_FALSE(driver.IsPlaying());
    EXPECT_EQ(window->GetWindow(), nullptr);
    EXPECT_FALSE(window->OnlineTimer().isActive());
}

// The window stays hidden at start-up behind the tray; its page still sets the Play
// button, which the tray's Play follows.
TEST_F(ManagerWindow, NotYetOnTheScreenTheBasicPageWithoutPresetsKeepsPlayOff) {
    context.seams.presetPage = [](const ManagerPageContext& page) -> std::unique_ptr<IEffectsPage> {
        return std::make_unique<CAltirenPagePreset>(page.parent, page.sink,
                                                    [](std::string&) { return false; });
    };
    window = std::make_unique<CAltirenMngr>(context);
    ASSERT_FALSE(window->isVisible());
    EXPECT_EQ(window->CurrentPage(), 0);
    EXPECT_FALSE(window->IsPlayButtonEnabled());
    window->OnCommand(ID_VIEW_ADVANCED);
    EXPECT_TRUE(window->IsPlayButtonEnabled());
    window->OnCommand(ID_VIEW_BASIC);
    EXPECT_FALSE(window->IsPlayButtonEnabled());
    ASSERT_TRUE(guitest::ShowAndWait(window.get()));
    EXPECT_FALSE(window->IsPlayButtonEnabled());
    QTest::mouseClick(ToolButton(ID_VIEW_ADVANCED), Qt::LeftButton);
    EXPECT_TRUE(window->IsPlayButtonEnabled());
}

// Each mnemonic of the window and its pages names one control or menu: a page's own
// reaches it with one press.
TEST_F(ManagerWindow, ThePagesMnemonicsAreNotTheMenus) {
    context.seams.importPage = CAltirenPageImport::Factory();
    ClientState::SetServerOnline(false); // the import button then only says so
    Open();
    window->OnCommand(ID_VIEW_PROFESSIONAL);
    QTest::keyClick(window.get(), Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // The button clicks itself after its press is shown.
    for (int i = 0; i < 100 && prompt.Boxes().empty(); ++i)
        QTest::qWait(10);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Could not access the Pramitone server.");

    std::vector<QString> menus;
    for (QAction* top : window->MenuBar()->actions())
        menus.push_back(top->text());
    EXPECT_EQ(menus, (std::vector<QString>{"&File", "E&dit", "&Tools", "&View", "&Help"}));
}

TEST_F(ManagerWindow, TheOnlineTimerProbesOnlyWhileOffline) {
    registry.SetDword("OnlineServerTimerInterval", 4321);
    Open();
    EXPECT_EQ(window->OnlineTimer().interval(), 4321);
    EXPECT_TRUE(window->OnlineTimer().isActive());
    // No server address: the forced probe at start found the client off-line.
    EXPECT_FALSE(ClientState::IsServerOnline());
    ClientState::SetServerOnline(true);
    window->OnOnlineTimer(); // the tick, by hand
    EXPECT_TRUE(ClientState::IsServerOnline());
    ClientState::SetServerOnline(false);
    window->OnOnlineTimer();
    EXPECT_TRUE(COnlineProbe::WaitForOutstandingProbes(std::chrono::seconds(10)));
    EXPECT_FALSE(ClientState::IsServerOnline());
}

// As a window timer: a period of 0 runs at 10 ms rather than on every pass of the event
// loop, and one beyond the timer's range at its longest rather than never.
TEST_F(ManagerWindow, TheOnlineTimerKeepsToTheTimersRange) {
    registry.SetDword("OnlineServerTimerInterval", 0);
    Open();
    EXPECT_EQ(window->OnlineTimer().interval(), 10);
    EXPECT_TRUE(window->OnlineTimer().isActive());
    window.reset();
    registry.SetDword("OnlineServerTimerInterval", 0xFFFFFFFFu);
    Open();
    EXPECT_EQ(window->OnlineTimer().interval(), 0x7FFFFFFF);
    EXPECT_TRUE(window->OnlineTimer().isActive());
}

TEST_F(ManagerWindow, F1AsksForHelpOnTheFocusedControl) {
    Open();
    std::vector<UINT> asked;
    HelpHook::SetHandler([&](UINT id) {
        asked.push_back(id);
        return true;
    });
    Edit(IDC_MANUAL_LATENCY)->setFocus();
    QTest::keyClick(Edit(IDC_MANUAL_LATENCY), Qt::Key_F1);
    Bandwidth()->setFocus();
    QTest::keyClick(Bandwidth()->lineEdit(), Qt::Key_F1);
    HelpHook::SetHandler(nullptr);
    EXPECT_EQ(asked, (std::vector<UINT>{IDC_MANUAL_LATENCY, IDC_MANUAL_BANDWIDTH}));
}

} // namespace
