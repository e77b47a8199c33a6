#include "AltirenApp/QtAppWindows.h"

#include "AltirenApp/MainFrame.h"
#include "AltirenUi/AboutDlg.h"
#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/NetworkAdapterDlg.h"

#include <OrvaneMFCUtils/TaskBarIconHandler.h>

#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>

namespace {

constexpr int kShowHide = 0;

// The tray icon of the main frame.
class CFrameTrayIcon : public ITrayIcon {
public:
    explicit CFrameTrayIcon(CMainFrame& frame) : m_handler(frame, IDR_TRAY_MENU) {}
    void AddIconToAnimationList(UINT iconId) override { m_handler.AddIconToAnimationList(iconId); }
    bool bAddIconToTaskBar(UINT iconId, const std::string& toolTip) override {
        return m_handler.bAddIconToTaskBar(iconId, toolTip);
    }
    bool bModifyIconTaskBarProp(UINT what, UINT iconId, const std::string& toolTip) override {
        return m_handler.bModifyIconTaskBarProp(what, iconId, toolTip);
    }
    void AnimateIcon(UINT intervalMs, bool start) override {
        m_handler.AnimateIcon(intervalMs, start);
    }
    void RemoveIcon() override { m_handler.RemoveIcon(); }
    bool IsTrayAvailable() const override { return CTaskBarIconHandler::IsTrayAvailable(); }

private:
    CTaskBarIconHandler m_handler;
};

} // namespace

CQtAppWindows::CQtAppWindows(IClientApplication& application, CDriverMngr& driver,
                             std::function<void()> onFrameClosed)
    : m_application(application), m_driver(driver), m_onFrameClosed(std::move(onFrameClosed)) {}

CQtAppWindows::~CQtAppWindows() {
    DestroyWindows();
}

IEmulationManager* CQtAppWindows::CreateManager(const ManagerContext& context) {
    ManagerContext own = context;
    own.prompt = &m_managerPrompt;
    m_optionsSheet = context.seams.optionsSheet;
    m_manager = std::make_unique<CAltirenMngr>(own);
    m_manager->hide();
    m_managerPrompt.SetOwner(m_manager.get());
    return m_manager.get();
}

bool CQtAppWindows::CreateMainFrame(IEmulationManager* manager) {
    if (!manager)
        return false;
    m_frame = std::make_unique<CMainFrame>(
        *manager, m_driver, m_application, m_framePrompt, [this] { ShowManager(5); },
        [this] {
            if (m_onFrameClosed)
                m_onFrameClosed();
        });
    if (QWidget* window = manager->GetWindow())
        window->hide();
    return true;
}

void CQtAppWindows::SetMainFrameTitle(const std::string& title) {
    if (!m_frame)
        return;
    m_frame->hide();
    m_frame->setWindowTitle(QString::fromStdString(title));
    m_frame->update();
}

std::unique_ptr<ITrayIcon> CQtAppWindows::CreateTrayIcon() {
    if (!m_frame)
        return nullptr;
    return std::make_unique<CFrameTrayIcon>(*m_frame);
}

std::optional<size_t> CQtAppWindows::ChooseAdapter(const CAdapterTable& adapters,
                                                   std::optional<size_t> current) {
    // Over the manager window (a dialog of its own, not a window with its own buttons).
    CNetworkAdapterDlg dialog(adapters, current, m_manager.get());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Chosen();
}

void CQtAppWindows::ShowAbout() {
    if (m_about) {
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    CAboutDlg dialog(m_manager.get());
    m_about = &dialog;
    dialog.exec();
}

void CQtAppWindows::ShowManager(int showState) {
    QWidget* window = m_manager ? m_manager->GetWindow() : nullptr;
    if (!window)
        return;
    if (showState == kShowHide) {
        window->hide();
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

IOptionsSheet* CQtAppWindows::OptionsSheet() {
    return m_optionsSheet ? m_optionsSheet() : nullptr;
}

void CQtAppWindows::ExitWithManagerWindow() {
    if (m_manager && !m_bExitWithManager) {
        m_bExitWithManager = true;
        m_manager->installEventFilter(this);
    }
}

bool CQtAppWindows::eventFilter(QObject* watched, QEvent* event) {
    if (!m_bExitWithManager || !m_frame || watched != m_manager.get() || !m_manager->GetWindow())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        // The window is the only way to the client: Escape does not close it.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
            return true;
    }
    if (event->type() == QEvent::Close) {
        // The window stays as it is while the Exit asks: Cancel leaves it on the screen.
        event->ignore();
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_frame)
                    m_frame->Model().OnCommand(ID_APP_EXIT);
            },
            Qt::QueuedConnection);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void CQtAppWindows::DestroyWindows() {
    if (m_about)
        m_about->reject();
    m_frame.reset();
    if (m_manager)
        m_manager->removeEventFilter(this);
    m_manager.reset();
}
