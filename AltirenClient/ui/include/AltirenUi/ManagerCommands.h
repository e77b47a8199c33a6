// The update rules of the emulation manager window's menu commands: which are enabled and
// checked, and how the Play command reads, from the window's state.
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

struct ManagerCommandState {
    bool stopped = true;          // the window's own stopped flag
    bool driverPlaying = false;   // the driver manager reports an emulation playing
    bool importPageShown = false; // the Professional page is the one shown
    bool importHasScenario = false;
    // What exists to be opened (an empty seam disables its commands).
    bool hasPresetPage = false;
    bool hasImportPage = false;
    bool hasFilterDialog = false;
    bool hasOptionsSheet = false;
    bool hasStatistics = false;
};

struct CommandUpdate {
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    std::string text; // empty: the text stays
};

// The update of a menu command; false for a command without a rule (it stays enabled).
bool UpdateManagerCommand(UINT id, const ManagerCommandState& state, CommandUpdate& update);
