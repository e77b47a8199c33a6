// The program's windows on the desktop: the manager window with its own prompt, the main
// frame and its tray icon, the About box, the adapter dialog and the options sheet of the
// manager's seams.
#pragma once

#include "AltirenApp/AppServices.h"
#include "AltirenUi/QtPrompt.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class CAboutDlg;
class CAltirenMngr;
class CMainFrame;
class IClientApplication;
class CDriverMngr;

class CQtAppWindows : public QObject, public IAppWindows {
    Q_OBJECT

public:
    // application and driver: for the main frame; onFrameClosed ends the process.
    CQtAppWindows(IClientApplication& application, CDriverMngr& driver,
                  std::function<void()> onFrameClosed);
    ~CQtAppWindows() override;

    IEmulationManager* CreateManager(const ManagerContext& context) override;
    bool CreateMainFrame(IEmulationManager* manager) override;
    void SetMainFrameTitle(const std::string& title) override;
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override;
    std::optional<size_t> ChooseAdapter(const CAdapterTable& adapters,
                                        std::optional<size_t> current) override;
    void ShowAbout() override;
    void ShowManager(int showState) override;
    IOptionsSheet* OptionsSheet() override;
    void DestroyWindows() override;

    void ExitWithManagerWindow() override;

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CAltirenMngr* Manager() const { return m_manager.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    IClientApplication& m_application;
    CDriverMngr& m_driver;
    std::function<void()> m_onFrameClosed;
    CQtPrompt m_managerPrompt;
    CQtPrompt m_framePrompt;
    OptionsSheetProvider m_optionsSheet;
    std::unique_ptr<CAltirenMngr> m_manager;
    std::unique_ptr<CMainFrame> m_frame;
    QPointer<CAboutDlg> m_about;
    bool m_bExitWithManager = false;
};
