#include "AltirenApp/AppSeams.h"

ManagerSeams FillManagerSeams() {
    ManagerSeams seams;
    // Each window library that lands sets its seam here, e.g.
    //   seams.presetPage = [](const PageContext& c) { return MakePresetPage(c); };
    // Not yet built: presetPage, importPage, filterDialog, optionsSheet,
    // statisticGUIManager.
    return seams;
}
