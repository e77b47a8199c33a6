// The control ids of the client's windows: the number each control, command and tool
// carries in the resources (1002 the Play button, 32789 the Basic command, ...) is kept on
// its widget or action as a property, so that tool tips, context help and tests find a
// control by its number.
#pragma once

#include "AltirenClient/Resource.h"

#include <QString>

class QAction;
class QObject;
class QWidget;

namespace ControlId {

inline constexpr const char* kProperty = "altirenControlId";

void Set(QObject* object, UINT id);
// 0 when the object carries none.
UINT Get(const QObject* object);
// The id of the widget or of its nearest ancestor that carries one; 0 when none does.
UINT OfWidgetOrParent(const QWidget* widget);

// The first widget of root's tree (root first, then its descendants) that carries id;
// null when none does.
QWidget* Find(QWidget* root, UINT id);
// The first action under root that carries id; null when none does.
QAction* FindAction(QWidget* root, UINT id);

// The tool tip of a control: the string of its id, cut to the 79 characters that a
// tool-tip request holds; empty for id 0 or an id without a string.
QString ToolTipText(UINT id);
// Gives every widget and action under root (root included) that carries an id with a
// string its tool tip.
void ApplyToolTips(QWidget* root);

} // namespace ControlId
