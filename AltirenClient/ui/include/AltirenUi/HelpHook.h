// Context help by control id. F1 in a window that has the hook installed asks for help on
// the control with the focus (its id, or its nearest ancestor's); the application
// connects the handler to its help pages. Until it does, F1 does nothing.
#pragma once

#include "AltirenClient/Resource.h"

#include <functional>

class QWidget;

namespace HelpHook {

// Returns whether the help could be shown (an id without a topic counts as shown).
using Handler = std::function<bool(UINT controlId)>;

// Replaces the process's handler; an empty one disconnects it.
void SetHandler(Handler handler);
// The handler's answer for the id; false without a handler.
bool Request(UINT controlId);
// Watches the window and its children for F1.
void Install(QWidget* window);

} // namespace HelpHook
