// What the application object reaches outside itself, each behind an interface of its
// own so that start-up runs against fakes in tests: the single-instance guard, the XML
// platform, the management server, the desktop's shell, the event log, the message
// boxes and the windows it makes.
#pragma once

#include "AltirenClient/AdapterTable.h"
#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/MessageDialogPrompt.h"
#include "AltirenClient/Prompt.h"
#include "AltirenUi/ManagerContext.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IEmulationManager;
class QWidget;

// One running client per user.
class ISingleInstance {
public:
    virtual ~ISingleInstance() = default;
    // True when this process is the first; it stays so until Close. False when another
    // instance holds the guard, or (Problem says why) when the guard cannot be used.
    virtual bool Acquire() = 0;
    // Why the last Acquire could not use the guard; empty when another instance holds it.
    virtual std::string Problem() const { return {}; }
    // Hands the show request to the first instance; false when none took it.
    virtual bool SendShowRequest(int showState) = 0;
    // Where the first instance's show requests go (the main frame).
    virtual void SetShowHandler(std::function<void(int showState)> handler) = 0;
    virtual void Close() = 0;
};

class IXmlPlatform {
public:
    virtual ~IXmlPlatform() = default;
    // Throws when the platform cannot be initialised.
    virtual void Initialize() = 0;
    virtual void Terminate() = 0;
};

// One request to the management server and the reply's value ("" when there is none).
class IServerChannel {
public:
    virtual ~IServerChannel() = default;
    virtual std::string Send(ServerEventType event) = 0;
};

class IDesktopShell {
public:
    virtual ~IDesktopShell() = default;
    // Opens an address in the desktop's browser; false when it could not be handed over.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Starts a program without waiting for it; false when it did not start.
    virtual bool StartProgram(const std::string& program,
                              const std::vector<std::string>& arguments) = 0;
};

class IEventLog {
public:
    virtual ~IEventLog() = default;
    // One error event of the client with its identifier and the text.
    virtual void ReportError(unsigned long eventId, const std::string& text) = 0;
};

// The message boxes, over the window they are modal to.
class IAppPrompt : public IPrompt {
public:
    virtual void SetOwner(QWidget* owner) = 0;
};

// The icon in the tray, as the application drives it.
class ITrayIcon {
public:
    virtual ~ITrayIcon() = default;
    virtual void AddIconToAnimationList(UINT iconId) = 0;
    virtual bool bAddIconToTaskBar(UINT iconId, const std::string& toolTip) = 0;
    virtual bool bModifyIconTaskBarProp(UINT what, UINT iconId, const std::string& toolTip) = 0;
    virtual void AnimateIcon(UINT intervalMs, bool start) = 0;
    virtual void RemoveIcon() = 0;
    // Whether a user can see the icon (the desktop has a tray).
    virtual bool IsTrayAvailable() const = 0;
};

// The windows of the program.
class IAppWindows {
public:
    virtual ~IAppWindows() = default;
    // The emulation manager window, hidden; null when it cannot be made. Owned here.
    virtual IEmulationManager* CreateManager(const ManagerContext& context) = 0;
    // The main frame over the manager: hidden, it takes the tray's commands; false when
    // it cannot be made.
    virtual bool CreateMainFrame(IEmulationManager* manager) = 0;
    // Hides the frame and gives it its title.
    virtual void SetMainFrameTitle(const std::string& title) = 0;
    // The tray icon of the main frame; null without a main frame.
    virtual std::unique_ptr<ITrayIcon> CreateTrayIcon() = 0;
    // The "Network Adapters" dialog: the chosen line, or none.
    virtual std::optional<size_t> ChooseAdapter(const CAdapterTable& adapters,
                                                std::optional<size_t> current) = 0;
    // Modal on the first call; raises the box while it is open.
    virtual void ShowAbout() = 0;
    // Shows the manager window with the show state and brings it to the top.
    virtual void ShowManager(int showState) = 0;
    // Without a tray: closing the manager window is the tray's Exit.
    virtual void ExitWithManagerWindow() = 0;
    // The options sheet; null when none can be made.
    virtual IOptionsSheet* OptionsSheet() = 0;
    // Destroys the windows (the manager waits for its probes).
    virtual void DestroyWindows() = 0;
};

struct AppServices {
    ISingleInstance* instance = nullptr;
    IXmlPlatform* xml = nullptr;
    IAdapterSource* adapters = nullptr;
    IServerChannel* server = nullptr;
    IDesktopShell* shell = nullptr;
    IEventLog* eventLog = nullptr;
    IAppPrompt* prompt = nullptr;
    IMessageDialogPrompt* messageDialog = nullptr;
    IAppWindows* windows = nullptr;
    // The driver manager's road to the control library.
    INuvexControl* control = nullptr;
};
