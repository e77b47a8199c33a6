// The client's string table: every text id with its text.
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

// The text of a string id, or nullptr when the table has none.
const char* GetClientString(UINT id);
// As above, an empty text when the table has none (the string loader's failure).
std::string LoadClientString(UINT id);
