#include "AltirenUi/AltirenMngr.h"

#include "AltirenUi/ServerWaitBox.h"

#include "AltirenUi/AltirenPageManual.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/ManagerToolBar.h"
#include "AltirenUi/UiResources.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/OnlineProbe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char* kCaption = "Pramitone Client";
constexpr const char* kPlayText = "&Play";
constexpr const char* kStopText = "Sto&p";
constexpr uint32_t kMinimumTimerMs = 10;
// The request of the options sheet's pages: log-on, statistics and preferences.
constexpr uint32_t kOptionsPages = 0xFFFFFFFE;

struct MenuItem {
    UINT command; // 0 separator
    const char* text;
};

struct Menu {
    const char* title;
    std::initializer_list<MenuItem> items;
};

const Menu kMenus[] = {
    {"&File",
     {{ID_FILE_PLAY, "&Play"},
      {ID_FILE_SELECT_NETWORK, "Select &Emulated Network..."},
      {0, ""},
      {ID_FILE_CLOSE_WINDOW, "&Close"}}},
    // Alt+E is the Professional page's "Select &Emulated Network..." button.
    {"E&dit", {{ID_EDIT_FILTER, "&Filter Definition..."}}},
    {"&Tools",
     {{ID_TOOLS_SET_ADAPTER, "Set Active &Adapter..."}, {ID_TOOLS_OPTIONS, "&Options..."}}},
    {"&View",
     {{ID_VIEW_STATISTICS, "&Statistics"},
      {0, ""},
      {ID_VIEW_BASIC, "&Basic"},
      {ID_VIEW_ADVANCED, "&Advanced"},
      {ID_VIEW_PROFESSIONAL, "&Professional"}}},
    {"&Help", {{ID_HELP_HELP, "&Help"}, {ID_APP_ABOUT, "&About Pramitone..."}}},
};

} // namespace

CAltirenMngr::CAltirenMngr(const ManagerContext& context, QWidget* parent)
    : QDialog(parent), m_context(context), m_model(context, *this) {
    ControlId::Set(this, IDD_MANAGER);
    setWindowTitle(QString::fromLatin1(kCaption));
    setModal(false);
    OnInitDialog();
}

CAltirenMngr::~CAltirenMngr() {
    m_onlineTimer.stop();
    m_sessionTimer.stop();
    m_presetPage.reset();
    m_manualPage.reset();
    m_importPage.reset();
    // Probe threads touch only process-wide state; they are waited for, never killed.
    COnlineProbe::WaitForOutstandingProbes(kProbeWaitAtExit);
}

void CAltirenMngr::OnInitDialog() {
    COnlineProbe::SetIsServerOnline(true);
    // As a window timer: a period below 10 ms runs at 10 ms, one beyond its range at the
    // longest it takes.
    const uint32_t interval = std::clamp<uint32_t>(CClientSettings().GetOnlineServerTimerInterval(),
                                                   kMinimumTimerMs, 0x7FFFFFFF);
    m_onlineTimer.setInterval(static_cast<int>(interval));
    connect(&m_onlineTimer, &QTimer::timeout, this, &CAltirenMngr::OnOnlineTimer);
    m_onlineTimer.start();
    m_sessionTimer.setInterval(CAltirenMngrModel::kSessionCheckMs);
    connect(&m_sessionTimer, &QTimer::timeout, this, [this] { m_model.CheckPlaySession(); });
    m_sessionTimer.start();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildMenu();
    layout->setMenuBar(m_menuBar);

    m_toolBar = new CManagerToolBar(this);
    connect(m_toolBar, &CManagerToolBar::commandTriggered, this, &CAltirenMngr::OnCommand);
    layout->addWidget(m_toolBar);

    m_bannerLine = new QFrame(this);
    ControlId::Set(m_bannerLine, IDC_BANNER_LINE);
    m_bannerLine->setFrameShape(QFrame::HLine);
    m_bannerLine->setFrameShadow(QFrame::Sunken);
    m_bannerLine->setFixedHeight(2);
    layout->addWidget(m_bannerLine);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 10, 12, 12);
    body->setSpacing(10);
    layout->addLayout(body, 1);
    m_pageFrame = new QWidget(this);
    ControlId::Set(m_pageFrame, IDC_PAGE_FRAME);
    m_pageStack = new QStackedLayout(m_pageFrame);
    body->addWidget(m_pageFrame, 1);

    ManagerPageContext pageContext;
    pageContext.parent = m_pageFrame;
    pageContext.sink = this;
    pageContext.prompt = m_context.prompt;
    if (m_context.seams.presetPage)
        m_presetPage = m_context.seams.presetPage(pageContext);
    m_manualPage = std::make_unique<CAltirenPageManual>(m_pageFrame, this, *m_context.prompt);
    if (m_context.seams.importPage)
        m_importPage = m_context.seams.importPage(pageContext);
    for (IManagerPage* page : {static_cast<IManagerPage*>(m_presetPage.get()),
                               static_cast<IManagerPage*>(m_manualPage.get()),
                               static_cast<IManagerPage*>(m_importPage.get())})
        if (page && page->GetWidget())
            m_pageStack->addWidget(page->GetWidget());
    m_model.SetPages(m_presetPage.get(), m_manualPage.get(), m_importPage.get());

    m_toolBar->SetPageAvailable(ID_VIEW_BASIC, m_presetPage != nullptr);
    m_toolBar->SetPageAvailable(ID_VIEW_PROFESSIONAL, m_importPage != nullptr);
    if (QAction* statistics = m_toolBar->ActionFor(ID_VIEW_STATISTICS))
        statistics->setEnabled(m_model.GetStatisticGUIManager() != nullptr);

    m_playButton = new QPushButton(QString::fromLatin1(kPlayText), this);
    ControlId::Set(m_playButton, IDC_PLAY_STOP);
    m_playButton->setDefault(true);
    m_playButton->setMinimumWidth(90);
    connect(m_playButton, &QPushButton::clicked, this, [this] { OnCommand(ID_FILE_PLAY); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_playButton);
    body->addLayout(buttons);

    // The Basic page first; the Advanced page while the Basic one is not built.
    ShowPageCommand(m_presetPage ? ID_VIEW_BASIC : ID_VIEW_ADVANCED);
    m_model.OnWindowInitialised();

    setWindowIcon(UiResources::Icon(IDR_MAINFRAME));
    ControlId::ApplyToolTips(this);
    HelpHook::Install(this);
}

void CAltirenMngr::BuildMenu() {
    m_menuBar = new QMenuBar(this);
    for (const Menu& menu : kMenus) {
        QMenu* popup = m_menuBar->addMenu(QString::fromLatin1(menu.title));
        for (const MenuItem& item : menu.items) {
            if (item.command == 0) {
                popup->addSeparator();
                continue;
            }
            QAction* action = popup->addAction(QString::fromLatin1(item.text));
            ControlId::Set(action, item.command);
            const UINT command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
        }
        connect(popup, &QMenu::aboutToShow, this, [this, popup] { UpdateMenu(popup); });
    }
}

ManagerCommandState CAltirenMngr::CommandState() const {
    ManagerCommandState state;
    state.stopped = m_model.IsStopped();
    state.driverPlaying = m_context.driver->IsPlaying();
    state.importPageShown = m_importPage && m_nCurrentPage == 2;
    state.importHasScenario = m_importPage && m_importPage->HasScenarioToPlay();
    state.hasPresetPage = m_presetPage != nullptr;
    state.hasImportPage = m_importPage != nullptr;
    state.hasFilterDialog = static_cast<bool>(m_context.seams.filterDialog);
    state.hasOptionsSheet = static_cast<bool>(m_context.seams.optionsSheet);
    state.hasStatistics = m_model.GetStatisticGUIManager() != nullptr;
    return state;
}

void CAltirenMngr::UpdateMenu(QMenu* menu) {
    const ManagerCommandState state = CommandState();
    for (QAction* action : menu->actions()) {
        CommandUpdate update;
        if (!UpdateManagerCommand(ControlId::Get(action), state, update))
            continue;
        action->setEnabled(update.enabled);
        // A menu item shows a mark only while it is checked, as a frame's menu does; an
        // unchecked checkable action would show an empty box.
        action->setCheckable(update.checkable && update.checked);
        action->setChecked(update.checkable && update.checked);
        if (!update.text.empty())
            action->setText(QString::fromStdString(update.text));
    }
}

void CAltirenMngr::OnCommand(UINT command) {
    switch (command) {
    case ID_FILE_PLAY:
        m_model.OnPlayCommand();
        break;
    case ID_FILE_SELECT_NETWORK:
        SelectEmulatedNetwork();
        break;
    case ID_FILE_CLOSE_WINDOW:
        close(); // a close, for whom it concerns; the window only hides
        break;
    case ID_EDIT_FILTER:
        ShowFilterDialog();
        break;
    case ID_TOOLS_SET_ADAPTER:
        m_context.application->ChooseActiveAdapter();
        break;
    case ID_TOOLS_OPTIONS:
        ShowOptions();
        break;
    case ID_VIEW_STATISTICS:
        ShowStatistics();
        break;
    case ID_VIEW_BASIC:
    case ID_VIEW_ADVANCED:
    case ID_VIEW_PROFESSIONAL:
        ShowPageCommand(command);
        break;
    case ID_HELP_HELP:
        m_context.application->ShowHelpIndex();
        break;
    case ID_APP_ABOUT:
        m_context.application->ShowAbout();
        break;
    default:
        break;
    }
}

void CAltirenMngr::ShowPageCommand(UINT command) {
    IManagerPage* page = nullptr;
    int index = 0;
    if (command == ID_VIEW_BASIC) {
        page = m_presetPage.get();
        index = 0;
    } else if (command == ID_VIEW_ADVANCED) {
        page = m_manualPage.get();
        index = 1;
    } else if (command == ID_VIEW_PROFESSIONAL) {
        page = m_importPage.get();
        index = 2;
    }
    if (!page)
        return; // nothing to show: the page is not built
    ShowPages(page);
    m_toolBar->SelectPageButton(command);
    m_nCurrentPage = index;
}

void CAltirenMngr::ShowPages(IManagerPage* page) {
    QWidget* widget = page ? page->GetWidget() : nullptr;
    if (!widget)
        return;
    // The stack shows a page only when it switches to it. In a window not yet on the
    // screen the current page is shown again, so that it sets the Play button.
    if (!isVisible() && m_pageStack->currentWidget() == widget)
        widget->hide();
    m_pageStack->setCurrentWidget(widget);
    widget->show();
}

void CAltirenMngr::SelectEmulatedNetwork() {
    if (!m_importPage)
        return;
    ShowPageCommand(ID_VIEW_PROFESSIONAL);
    m_importPage->OnButtonImport();
}

void CAltirenMngr::ShowFilterDialog() {
    IFilterDialog* dialog = m_context.seams.filterDialog ? m_context.seams.filterDialog() : nullptr;
    if (!dialog)
        return;
    if (dialog->IsWindowShown()) {
        dialog->Raise();
        return;
    }
    // Opened while an emulation plays, its editing starts locked.
    dialog->LockEditing(!m_model.IsStopped());
    m_model.SetOpenFilterDialog(dialog);
    dialog->RunModal(this, m_model.GetFilter());
    m_model.SetOpenFilterDialog(nullptr);
}

void CAltirenMngr::ShowOptions() {
    IOptionsSheet* sheet = m_context.seams.optionsSheet ? m_context.seams.optionsSheet() : nullptr;
    if (!sheet)
        return;
    sheet->RequestPages(kOptionsPages);
    if (sheet->IsWindowShown()) {
        sheet->Raise();
        return;
    }
    sheet->SetDescription(IDS_OPTIONS_DESCRIPTION);
    m_model.SetOpenOptionsSheet(sheet);
    sheet->RunModal(this);
    m_model.SetOpenOptionsSheet(nullptr);
}

void CAltirenMngr::ShowStatistics() {
    if (IStatisticGUIManager* statistics = m_model.GetStatisticGUIManager())
        statistics->ShowStatistics(false);
}

void CAltirenMngr::EnablePlayButton(bool enable) {
    if (m_bWindowExists && m_playButton)
        m_playButton->setEnabled(enable);
}

bool CAltirenMngr::IsPlayButtonEnabled() const {
    return m_playButton && m_playButton->isEnabled();
}

bool CAltirenMngr::PlayStop() {
    OnCommand(ID_FILE_PLAY);
    return true;
}

void CAltirenMngr::OnAppExit() {
    m_model.OnAppExit();
    DestroyWindow();
}

void CAltirenMngr::DestroyWindow() {
    if (!m_bWindowExists)
        return;
    m_bWindowExists = false;
    m_onlineTimer.stop();
    m_sessionTimer.stop();
    hide();
}

void CAltirenMngr::ResetUserSettings() {
    m_model.ResetUserSettings();
}

void CAltirenMngr::SetIsServerOnline(bool force) {
    // The account pages wait for the probe before they ask the server; the window goes on
    // answering meanwhile.
    CServerWaitBox::Wait<bool>([force](const std::atomic<bool>&) {
        COnlineProbe::SetIsServerOnline(force);
        return true;
    });
}

void CAltirenMngr::OnOnlineTimer() {
    COnlineProbe::IsServerOnlineTimerHandler();
}

void CAltirenMngr::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void CAltirenMngr::reject() {
    close();
}

bool CAltirenMngr::IsPageShown(const IManagerPage& page) const {
    QWidget* widget = const_cast<IManagerPage&>(page).GetWidget();
    return widget && widget->isVisible();
}

void CAltirenMngr::LockPageButtons(bool lock) {
    m_toolBar->LockPageButtons(lock);
}

void CAltirenMngr::UpdatePlayButton() {
    if (m_playButton)
        m_playButton->setText(QString::fromLatin1(m_model.IsStopped() ? kPlayText : kStopText));
}

void CAltirenMngr::Beep() {
    QApplication::beep();
}
