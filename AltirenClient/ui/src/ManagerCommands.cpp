#include "AltirenUi/ManagerCommands.h"

bool UpdateManagerCommand(UINT id, const ManagerCommandState& state, CommandUpdate& update) {
    update = CommandUpdate();
    switch (id) {
    case ID_FILE_PLAY: {
        // Stop stays reachable while an emulation plays: disabling the command then would
        // lock the user into it. Play from the Professional page needs a scenario.
        const bool playing = state.driverPlaying || !state.stopped;
        update.text = state.driverPlaying ? "&Stop" : "&Play";
        update.enabled = playing || !state.importPageShown || state.importHasScenario;
        return true;
    }
    case ID_FILE_SELECT_NETWORK:
        update.enabled = state.stopped && state.hasImportPage;
        return true;
    case ID_TOOLS_SET_ADAPTER:
        update.enabled = state.stopped;
        return true;
    case ID_TOOLS_OPTIONS:
        update.enabled = state.stopped && state.hasOptionsSheet;
        return true;
    case ID_VIEW_BASIC:
        update.enabled = state.stopped && state.hasPresetPage;
        return true;
    case ID_VIEW_ADVANCED:
        update.enabled = state.stopped;
        return true;
    case ID_VIEW_PROFESSIONAL:
        update.enabled = state.stopped && state.hasImportPage;
        update.checkable = true;
        update.checked = state.importPageShown;
        return true;
    case ID_EDIT_FILTER:
        update.enabled = state.hasFilterDialog;
        return true;
    case ID_VIEW_STATISTICS:
        update.enabled = state.hasStatistics;
        return true;
    default:
        return false;
    }
}
