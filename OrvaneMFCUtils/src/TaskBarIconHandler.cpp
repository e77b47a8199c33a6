#include "OrvaneMFCUtils/TaskBarIconHandler.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

CTaskBarIconHandler::CTaskBarIconHandler(ITaskBarIconOwner& owner, unsigned int menuId)
    : m_owner(owner), m_menuId(menuId) {
    connect(&m_animation, &QTimer::timeout, this, &CTaskBarIconHandler::OnAnimationTick);
}

CTaskBarIconHandler::~CTaskBarIconHandler() {
    RemoveIcon();
}

void CTaskBarIconHandler::AddIconToAnimationList(unsigned int iconId) {
    m_animationList.push_back(iconId);
}

bool CTaskBarIconHandler::bAddIconToTaskBar(unsigned int iconId, const std::string& toolTip) {
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        connect(m_icon.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });
        m_menu = std::make_unique<QMenu>();
        m_owner.FillTaskBarMenu(m_menuId, *m_menu);
        connect(m_menu.get(), &QMenu::aboutToShow, this,
                [this] { m_owner.UpdateTaskBarMenu(*m_menu); });
        connect(m_menu.get(), &QMenu::triggered, this,
                [this](QAction* action) { m_owner.OnTaskBarCommand(action->data().toUInt()); });
        m_icon->setContextMenu(m_menu.get());
    }
    SetPicture(iconId);
    m_toolTip = toolTip;
    m_icon->setToolTip(QString::fromStdString(toolTip));
    m_icon->show();
    return true;
}

bool CTaskBarIconHandler::bModifyIconTaskBarProp(unsigned int what, unsigned int iconId,
                                                 const std::string& toolTip) {
    if (!m_icon)
        return false;
    if (what & kModifyIcon)
        SetPicture(iconId);
    if ((what & kModifyTip) || !toolTip.empty()) {
        m_toolTip = toolTip;
        m_icon->setToolTip(QString::fromStdString(toolTip));
    }
    return true;
}

void CTaskBarIconHandler::AnimateIcon(unsigned int intervalMs, bool start) {
    if (!start || intervalMs == 0 || m_animationList.empty()) {
        m_animation.stop();
        return;
    }
    m_nextFrame = 0;
    m_animation.start(static_cast<int>(intervalMs));
}

void CTaskBarIconHandler::OnAnimationTick() {
    if (m_animationList.empty())
        return;
    SetPicture(m_animationList[m_nextFrame]);
    m_nextFrame = (m_nextFrame + 1) % m_animationList.size();
}

void CTaskBarIconHandler::RemoveIcon() {
    m_animation.stop();
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
    m_menu.reset();
}

bool CTaskBarIconHandler::IsTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QMenu* CTaskBarIconHandler::PrepareMenu() {
    if (!m_menu)
        return nullptr;
    m_owner.UpdateTaskBarMenu(*m_menu);
    return m_menu.get();
}

void CTaskBarIconHandler::OnActivated(int reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        m_owner.OnTaskBarClick();
}

void CTaskBarIconHandler::SetPicture(unsigned int iconId) {
    m_currentIcon = iconId;
    if (m_icon)
        m_icon->setIcon(m_owner.LoadTaskBarIcon(iconId));
}
