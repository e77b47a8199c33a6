#include "AltirenApp/AppSeams.h"

#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/IpFilterDlg.h"
#include "AltirenUi/StatisticGUIManager.h"

ManagerSeams FillManagerSeams(CIpRuleSet& statisticsFilter) {
    ManagerSeams seams;
    // The Basic and Professional pages.
    seams.presetPage = CAltirenPagePreset::Factory();
    seams.importPage = CAltirenPageImport::Factory();
    // The statistics list and graph windows over the application's statistics filter.
    seams.statisticGUIManager = [&statisticsFilter, make = CStatisticGUIManager::Factory()](
                                    const StatisticGUIContext& context) {
        StatisticGUIContext withFilter = context;
        withFilter.statisticsFilter = &statisticsFilter;
        return make(withFilter);
    };
    // Edit > Filter Definition...: edits the manager's emulation filter in place.
    seams.filterDialog = CIpFilterDlg::Provider();
    // Not yet built: optionsSheet. Each window library that lands sets its seam here.
    return seams;
}
