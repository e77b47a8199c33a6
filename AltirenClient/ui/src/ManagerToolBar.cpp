#include "AltirenUi/ManagerToolBar.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/UiResources.h"

#include <QAction>
#include <QActionGroup>
#include <QToolButton>

namespace {

struct Button {
    UINT command;
    UINT normal;
    UINT hot;
    bool page;
    const char* text;
};

constexpr Button kButtons[] = {
    {ID_VIEW_BASIC, IDB_TOOLBAR_BASIC, IDB_TOOLBAR_BASIC_HOT, true, "Basic"},
    {ID_VIEW_ADVANCED, IDB_TOOLBAR_ADVANCED, IDB_TOOLBAR_ADVANCED_HOT, true, "Advanced"},
    {ID_VIEW_PROFESSIONAL, IDB_TOOLBAR_PROFESSIONAL, IDB_TOOLBAR_PROFESSIONAL_HOT, true,
     "Professional"},
    {0, 0, 0, false, ""}, // separator
    {ID_VIEW_STATISTICS, IDB_TOOLBAR_STATISTICS, IDB_TOOLBAR_STATISTICS_HOT, false, "Statistics"},
    {ID_HELP_HELP, IDB_TOOLBAR_HELP, IDB_TOOLBAR_HELP_HOT, false, "Help"},
};

} // namespace

CManagerToolBar::CManagerToolBar(QWidget* parent) : QToolBar(parent) {
    ControlId::Set(this, IDW_MANAGER_TOOLBAR);
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QSize image(kImageWidth, kImageHeight);
    setIconSize(image);
    m_pages = new QActionGroup(this);
    m_pages->setExclusive(true);
    for (const Button& button : kButtons) {
        if (button.command == 0) {
            addSeparator();
            continue;
        }
        QIcon icon;
        icon.addPixmap(UiResources::Pixmap(button.normal, image), QIcon::Normal);
        icon.addPixmap(UiResources::Pixmap(button.hot, image), QIcon::Active);
        QAction* action = addAction(icon, QString::fromLatin1(button.text));
        ControlId::Set(action, button.command);
        if (button.page) {
            action->setCheckable(true);
            m_pages->addAction(action);
        }
        if (QWidget* tool = widgetForAction(action)) {
            ControlId::Set(tool, button.command);
            tool->setMinimumSize(kButtonWidth, kButtonHeight);
        }
        const UINT command = button.command;
        connect(action, &QAction::triggered, this,
                [this, command] { emit commandTriggered(command); });
    }
    ControlId::ApplyToolTips(this);
    SelectPageButton(ID_VIEW_BASIC);
}

QAction* CManagerToolBar::ActionFor(UINT command) const {
    for (QAction* action : actions())
        if (ControlId::Get(action) == command && command != 0)
            return action;
    return nullptr;
}

bool CManagerToolBar::IsPageCommand(UINT command) const {
    return command == ID_VIEW_BASIC || command == ID_VIEW_ADVANCED ||
           command == ID_VIEW_PROFESSIONAL;
}

bool CManagerToolBar::IsAvailable(UINT command) const {
    return IsPageCommand(command) && m_available[command - ID_VIEW_BASIC];
}

void CManagerToolBar::SetPageAvailable(UINT command, bool available) {
    if (!IsPageCommand(command))
        return;
    m_available[command - ID_VIEW_BASIC] = available;
    if (!available)
        ActionFor(command)->setEnabled(false);
}

void CManagerToolBar::SelectPageButton(UINT command) {
    if (!IsPageCommand(command))
        return;
    for (UINT page : {ID_VIEW_BASIC, ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL}) {
        QAction* action = ActionFor(page);
        action->setChecked(page == command);
        action->setEnabled(page == command || IsAvailable(page));
    }
}

void CManagerToolBar::LockPageButtons(bool lock) {
    for (UINT page : {ID_VIEW_BASIC, ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL})
        ActionFor(page)->setEnabled(!lock && IsAvailable(page));
}
