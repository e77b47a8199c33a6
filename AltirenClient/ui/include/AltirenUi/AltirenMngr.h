// The emulation manager window "Pramitone Client": a modeless dialog with its menu, the
// toolbar of page buttons, one of three pages at a time, and the Play/Stop button. It
// shows and forwards; its model decides (CAltirenMngrModel). Closing only hides it; the
// on-line probe of the management server runs on its timer.
#pragma once

#include "AltirenUi/AltirenMngrModel.h"
#include "AltirenUi/EmulationManager.h"
#include "AltirenUi/ManagerCommands.h"
#include "AltirenUi/ManagerContext.h"
#include "AltirenUi/PlayButtonSink.h"

#include <QDialog>
#include <QTimer>

#include <chrono>
#include <memory>

class CAltirenPageManual;
class CManagerToolBar;
class QFrame;
class QMenu;
class QMenuBar;
class QPushButton;
class QStackedLayout;

class CAltirenMngr : public QDialog,
                     public CPlayButtonSink,
                     public IEmulationManager,
                     private IManagerView {
    Q_OBJECT

public:
    // How long the window waits, when it goes, for on-line probes still out.
    static constexpr std::chrono::milliseconds kProbeWaitAtExit{2000};

    // Builds the window and initialises it: one forced on-line probe, the probe timer,
    // toolbar, pages (the Basic page shown, or the first that exists), Play button.
    explicit CAltirenMngr(const ManagerContext& context, QWidget* parent = nullptr);
    ~CAltirenMngr() override;

    // CPlayButtonSink: for the pages.
    void EnablePlayButton(bool enable) override;

    // IEmulationManager.
    QWidget* GetWindow() override { return m_bWindowExists ? this : nullptr; }
    bool PlayStop() override;
    void OnAppExit() override;
    void ResetUserSettings() override;
    void SetIsServerOnline(bool force) override;
    void ShowStatistics() override;
    void ShowOptions() override;
    bool IsStopped() const override { return m_model.IsStopped(); }
    bool IsPlayButtonEnabled() const override;

    // The window's commands (menu, toolbar, button 1002) by id.
    void OnCommand(UINT command);
    // The on-line timer's tick (tests drive it by hand).
    void OnOnlineTimer();
    // Hides all pages and shows this one in the page frame.
    void ShowPages(IManagerPage* page);
    // Runs the update rules over the actions of a menu (as before it opens).
    void UpdateMenu(QMenu* menu);
    ManagerCommandState CommandState() const;

    CAltirenMngrModel& Model() { return m_model; }
    CManagerToolBar* ToolBar() const { return m_toolBar; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    QTimer& OnlineTimer() { return m_onlineTimer; }
    // Checks, while playing, that the daemon still holds the play.
    QTimer& SessionTimer() { return m_sessionTimer; }
    // 0 Basic, 1 Advanced, 2 Professional.
    int CurrentPage() const { return m_nCurrentPage; }
    CAltirenPageManual* ManualPage() const { return m_manualPage.get(); }

    // Escape closes the window as its title bar would.
    void reject() override;

protected:
    // Closing only hides the window.
    void closeEvent(QCloseEvent* event) override;

private:
    // IManagerView.
    bool WindowExists() const override { return m_bWindowExists; }
    bool IsWindowVisible() const override { return isVisible(); }
    bool IsPageShown(const IManagerPage& page) const override;
    void LockPageButtons(bool lock) override;
    void UpdatePlayButton() override;
    void Beep() override;

    void OnInitDialog();
    void BuildMenu();
    void ShowPageCommand(UINT command);
    void SelectEmulatedNetwork();
    void ShowFilterDialog();
    // Destroying the window: it stays an object of the application, but hidden, its
    // timer stopped, and "the window exists" false from then on.
    void DestroyWindow();

    ManagerContext m_context;
    CAltirenMngrModel m_model;
    CManagerToolBar* m_toolBar = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QFrame* m_bannerLine = nullptr;
    QWidget* m_pageFrame = nullptr;
    QStackedLayout* m_pageStack = nullptr;
    QPushButton* m_playButton = nullptr;
    QTimer m_onlineTimer;
    QTimer m_sessionTimer;
    int m_nCurrentPage = 0;
    bool m_bWindowExists = true;
    std::unique_ptr<IEffectsPage> m_presetPage;
    std::unique_ptr<CAltirenPageManual> m_manualPage;
    std::unique_ptr<IImportPage> m_importPage;
};
