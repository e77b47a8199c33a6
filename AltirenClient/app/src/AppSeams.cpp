#include "AltirenApp/AppSeams.h"

#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUi/StatisticGUIManager.h"

ManagerSeams FillManagerSeams() {
    ManagerSeams seams;
    // The Basic and Professional pages.
    seams.presetPage = CAltirenPagePreset::Factory();
    seams.importPage = CAltirenPageImport::Factory();
    // The statistics list and graph windows.
    seams.statisticGUIManager = CStatisticGUIManager::Factory();
    // The options sheet, one for the process, with the pages other libraries build.
    OptionsSheetPages optionsPages;
    seams.optionsSheet = COptionsSheet::Provider(std::move(optionsPages));
    // Not yet built: filterDialog. Each window library that lands sets its seam here.
    return seams;
}
