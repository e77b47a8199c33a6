#include "AltirenApp/AppSeams.h"

#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/StatisticGUIManager.h"

ManagerSeams FillManagerSeams() {
    ManagerSeams seams;
    // The Basic and Professional pages.
    seams.presetPage = CAltirenPagePreset::Factory();
    seams.importPage = CAltirenPageImport::Factory();
    // The statistics list and graph windows.
    seams.statisticGUIManager = CStatisticGUIManager::Factory();
    // Not yet built: filterDialog, optionsSheet. Each window library that lands sets its
    // seam here.
    return seams;
}
