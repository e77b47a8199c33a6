#include "AltirenApp/AppSeams.h"

#include "AltirenUi/AltirenPageImport.h"
#include "AltirenUi/AltirenPagePreset.h"
#include "AltirenUi/IpFilterDlg.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUi/StatisticGUIManager.h"
#include "AltirenUi/StatisticsOptionsPage.h"

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
    // The options sheet, one for the process, with the pages other libraries build: the
    // statistics tab edits the application's statistics filter.
    OptionsSheetPages optionsPages;
    optionsPages.statisticsPage = CStatisticsOptionsPage::Factory(statisticsFilter);
    seams.optionsSheet = COptionsSheet::Provider(std::move(optionsPages));
    return seams;
}
