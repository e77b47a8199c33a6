// Texts of the string table filled in as printf fills its format: the messages whose
// text holds "%d", "%s", "%.1f" and the like.
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

// The text of id with the arguments put in, as many and of the types its text asks for;
// an empty text when the table has none.
std::string FormatClientString(UINT id, ...);
