// The main frame: a window that is never shown, titled with the main window title, that
// owns the tray icon and forwards the tray menu's commands (CMainFrameModel decides).
#pragma once

#include "AltirenApp/MainFrameModel.h"

#include <OrvaneMFCUtils/TaskBarIconHandler.h>

#include <QWidget>

#include <functional>

class CMainFrame : public QWidget, public ITaskBarIconOwner {
    Q_OBJECT

public:
    // onClosed runs once the frame has closed (the process then ends).
    CMainFrame(IEmulationManager& manager, CDriverMngr& driver, IClientApplication& application,
               IPrompt& prompt, std::function<void()> showManager, std::function<void()> onClosed);

    CMainFrameModel& Model() { return m_model; }

    // ITaskBarIconOwner.
    QIcon LoadTaskBarIcon(unsigned int iconId) override;
    void FillTaskBarMenu(unsigned int menuId, QMenu& menu) override;
    void UpdateTaskBarMenu(QMenu& menu) override;
    void OnTaskBarCommand(unsigned int commandId) override { m_model.OnCommand(commandId); }
    void OnTaskBarClick() override { m_model.OnCommand(ID_TRAY_OPEN); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CMainFrameModel m_model;
    std::function<void()> m_onClosed;
};
