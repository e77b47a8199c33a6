// The one place where the program fills the manager window's seams with the windows that
// other parts of the client build (preset and import pages, filter dialog, options sheet,
// statistics windows). A seam left empty keeps its commands disabled.
#pragma once

#include "AltirenUi/ManagerContext.h"

ManagerSeams FillManagerSeams();
