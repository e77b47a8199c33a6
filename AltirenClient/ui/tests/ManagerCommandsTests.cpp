// The update rules of the manager window's menu commands.
#include "AltirenUi/ManagerCommands.h"

#include <gtest/gtest.h>

namespace {

ManagerCommandState Everything() {
    ManagerCommandState state;
    state.hasPresetPage = state.hasImportPage = state.hasFilterDialog = true;
    state.hasOptionsSheet = state.hasStatistics = true;
    return state;
}

CommandUpdate Update(UINT id, const ManagerCommandState& state) {
    CommandUpdate update;
    EXPECT_TRUE(UpdateManagerCommand(id, state, update)) << id;
    return update;
}

TEST(ManagerCommands, PlayReadsStopAndStaysEnabledWhilePlaying) {
    ManagerCommandState state = Everything();
    EXPECT_EQ(Update(ID_FILE_PLAY, state).text, "&Play");
    EXPECT_TRUE(Update(ID_FILE_PLAY, state).enabled);

    state.stopped = false;
    state.driverPlaying = true;
    EXPECT_EQ(Update(ID_FILE_PLAY, state).text, "&Stop");
    EXPECT_TRUE(Update(ID_FILE_PLAY, state).enabled); // the user can always stop
    state.importPageShown = true;
    EXPECT_TRUE(Update(ID_FILE_PLAY, state).enabled);

    // On the Professional page, Play needs an imported scenario.
    state.stopped = true;
    state.driverPlaying = false;
    EXPECT_FALSE(Update(ID_FILE_PLAY, state).enabled);
    state.importHasScenario = true;
    EXPECT_TRUE(Update(ID_FILE_PLAY, state).enabled);
}

TEST(ManagerCommands, PageAndSettingsCommandsOnlyWhileStopped) {
    ManagerCommandState state = Everything();
    for (UINT id : {ID_FILE_SELECT_NETWORK, ID_TOOLS_SET_ADAPTER, ID_TOOLS_OPTIONS, ID_VIEW_BASIC,
                    ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL})
        EXPECT_TRUE(Update(id, state).enabled) << id;
    state.stopped = false;
    for (UINT id : {ID_FILE_SELECT_NETWORK, ID_TOOLS_SET_ADAPTER, ID_TOOLS_OPTIONS, ID_VIEW_BASIC,
                    ID_VIEW_ADVANCED, ID_VIEW_PROFESSIONAL})
        EXPECT_FALSE(Update(id, state).enabled) << id;
    // The filter and the statistics are reachable while playing.
    EXPECT_TRUE(Update(ID_EDIT_FILTER, state).enabled);
    EXPECT_TRUE(Update(ID_VIEW_STATISTICS, state).enabled);

    // Professional is checked while its page is shown; Basic and Advanced never are.
    state.importPageShown = true;
    EXPECT_TRUE(Update(ID_VIEW_PROFESSIONAL, state).checked);
    EXPECT_FALSE(Update(ID_VIEW_BASIC, state).checkable);
    EXPECT_FALSE(Update(ID_VIEW_ADVANCED, state).checked);

    CommandUpdate update;
    EXPECT_FALSE(UpdateManagerCommand(ID_HELP_HELP, state, update));
    EXPECT_FALSE(UpdateManagerCommand(ID_APP_ABOUT, state, update));
    EXPECT_FALSE(UpdateManagerCommand(ID_FILE_CLOSE_WINDOW, state, update));
}

TEST(ManagerCommands, WhatIsNotBuiltCannotBeOpened) {
    const ManagerCommandState state; // stopped, nothing but the Advanced page
    EXPECT_FALSE(Update(ID_VIEW_BASIC, state).enabled);
    EXPECT_TRUE(Update(ID_VIEW_ADVANCED, state).enabled);
    EXPECT_FALSE(Update(ID_VIEW_PROFESSIONAL, state).enabled);
    EXPECT_FALSE(Update(ID_FILE_SELECT_NETWORK, state).enabled);
    EXPECT_FALSE(Update(ID_EDIT_FILTER, state).enabled);
    EXPECT_FALSE(Update(ID_TOOLS_OPTIONS, state).enabled);
    EXPECT_FALSE(Update(ID_VIEW_STATISTICS, state).enabled);
    EXPECT_TRUE(Update(ID_TOOLS_SET_ADAPTER, state).enabled);
}

} // namespace
