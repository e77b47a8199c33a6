// What the application hands the emulation manager window when it makes it: the driver
// manager and the application's own services, the prompt of its message boxes, the
// control library for its statistics manager, and the makers of the windows other parts
// of the client build. A seam left empty makes the manager leave its commands disabled.
#pragma once

#include "AltirenClient/NuvexControl.h"
#include "AltirenClient/Prompt.h"
#include "AltirenUi/ClientApplication.h"
#include "AltirenUi/FilterDialogSeam.h"
#include "AltirenUi/ManagerPage.h"
#include "AltirenUi/OptionsSheetSeam.h"
#include "AltirenUi/StatisticGUIManagerSeam.h"

class CDriverMngr;

struct ManagerSeams {
    EffectsPageFactory presetPage;                  // the Basic page
    ImportPageFactory importPage;                   // the Professional page
    FilterDialogProvider filterDialog;              // Edit > Filter Definition...
    OptionsSheetProvider optionsSheet;              // Tools > Options...
    StatisticGUIManagerFactory statisticGUIManager; // View > Statistics and the graphs
};

struct ManagerContext {
    CDriverMngr* driver = nullptr; // the application's, not owned
    IClientApplication* application = nullptr;
    IPrompt* prompt = nullptr;
    // The statistics manager's road to the driver (the process's control library when
    // null).
    INuvexControl* control = nullptr;
    ManagerSeams seams;
};
