#include "AltirenApp/MainFrame.h"

#include "AltirenUi/UiResources.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMetaObject>

CMainFrame::CMainFrame(IEmulationManager& manager, CDriverMngr& driver,
                       IClientApplication& application, IPrompt& prompt,
                       std::function<void()> showManager, std::function<void()> onClosed)
    : m_model(manager, driver, application, prompt, std::move(showManager),
              // Exit closes the frame once the command has returned.
              [this] {
                  QMetaObject::invokeMethod(
                      this, [this] { close(); }, Qt::QueuedConnection);
              }),
      m_onClosed(std::move(onClosed)) {
    setAttribute(Qt::WA_DontShowOnScreen, true);
    hide();
}

QIcon CMainFrame::LoadTaskBarIcon(unsigned int iconId) {
    return UiResources::Icon(iconId);
}

void CMainFrame::FillTaskBarMenu(unsigned int menuId, QMenu& menu) {
    if (menuId != IDR_TRAY_MENU)
        return;
    for (const TrayMenuItem& item : CMainFrameModel::TrayMenu()) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setData(item.command);
    }
}

void CMainFrame::UpdateTaskBarMenu(QMenu& menu) {
    for (QAction* action : menu.actions()) {
        if (action->isSeparator())
            continue;
        const TrayItemState state = m_model.Update(action->data().toUInt());
        action->setEnabled(state.enabled);
        if (action->isCheckable())
            action->setChecked(state.checked);
        if (!state.text.empty())
            action->setText(QString::fromStdString(state.text));
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_onClosed)
        m_onClosed();
}

void CMainFrame::showEvent(QShowEvent* event) {
    // The frame is never shown.
    QWidget::showEvent(event);
    QMetaObject::invokeMethod(
        this, [this] { hide(); }, Qt::QueuedConnection);
}
