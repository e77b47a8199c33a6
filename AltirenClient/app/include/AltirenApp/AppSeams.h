// The one place where the program fills the manager window's seams with the windows that
// other parts of the client build (preset and import pages, filter dialog, options sheet,
// statistics windows). A seam left empty keeps its commands disabled.
#pragma once

#include "AltirenUi/ManagerContext.h"

class CIpRuleSet;

// statisticsFilter: the application's statistics address filter, which the statistics
// windows read and the options sheet's statistics page writes; it outlives the seams.
ManagerSeams FillManagerSeams(CIpRuleSet& statisticsFilter);
