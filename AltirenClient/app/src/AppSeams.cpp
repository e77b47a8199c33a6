#include "AltirenApp/AppSeams.h"

#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"

ManagerSeams FillManagerSeams() {
    ManagerSeams seams;
    // The Basic and Professional pages.
    seams.presetPage = CAltirenPagePreset::Factory();
    seams.importPage = CAltirenPageImport::Factory();
    // Not yet built: filterDialog, optionsSheet, statisticGUIManager. Each window library
    // that lands sets its seam here.
    return seams;
}
