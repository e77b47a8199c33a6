// What the main frame decides: the tray menu's items, their update rules and where each
// command goes (the manager window or the application).
#pragma once

#include "AltirenClient/Prompt.h"
#include "AltirenClient/Resource.h"

#include <functional>
#include <string>
#include <vector>

class CDriverMngr;
class IClientApplication;
class IEmulationManager;

struct TrayMenuItem {
    UINT command = 0; // 0 for a separator
    const char* text = "";
};

struct TrayItemState {
    bool enabled = true;
    bool checked = false;
    std::string text; // empty: the item keeps its text
};

class CMainFrameModel {
public:
    // The tray menu (300) in order.
    static const std::vector<TrayMenuItem>& TrayMenu();

    // showManager: shows the manager window and brings it to the front; close: ends the
    // frame (and with it the process).
    CMainFrameModel(IEmulationManager& manager, CDriverMngr& driver,
                    IClientApplication& application, IPrompt& prompt,
                    std::function<void()> showManager, std::function<void()> close);

    void OnCommand(UINT command);
    TrayItemState Update(UINT command) const;
    // Exit: false when the user chose to go on playing.
    bool OnAppExit();

private:
    IEmulationManager& m_manager;
    CDriverMngr& m_driver;
    IClientApplication& m_application;
    IPrompt& m_prompt;
    std::function<void()> m_showManager;
    std::function<void()> m_close;
};
