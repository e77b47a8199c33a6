#include "AltirenUi/ControlId.h"

#include "AltirenClient/StringTable.h"

#include <QAction>
#include <QVariant>
#include <QWidget>

namespace ControlId {

namespace {
// A tool-tip request holds 80 characters with the terminating zero.
constexpr int kToolTipLength = 79;
} // namespace

void Set(QObject* object, UINT id) {
    if (object)
        object->setProperty(kProperty, QVariant::fromValue(id));
}

UINT Get(const QObject* object) {
    if (!object)
        return 0;
    const QVariant value = object->property(kProperty);
    return value.isValid() ? value.value<UINT>() : 0;
}

UINT OfWidgetOrParent(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (UINT id = Get(widget))
            return id;
    return 0;
}

QWidget* Find(QWidget* root, UINT id) {
    if (!root || id == 0)
        return nullptr;
    if (Get(root) == id)
        return root;
    for (QWidget* child : root->findChildren<QWidget*>())
        if (Get(child) == id)
            return child;
    return nullptr;
}

QAction* FindAction(QWidget* root, UINT id) {
    if (!root || id == 0)
        return nullptr;
    for (QAction* action : root->findChildren<QAction*>())
        if (Get(action) == id)
            return action;
    return nullptr;
}

QString ToolTipText(UINT id) {
    if (id == 0)
        return QString();
    return QString::fromStdString(LoadClientString(id)).left(kToolTipLength);
}

void ApplyToolTips(QWidget* root) {
    if (!root)
        return;
    QList<QObject*> objects{root};
    for (QObject* child : root->findChildren<QObject*>())
        objects.push_back(child);
    for (QObject* object : objects) {
        const QString text = ToolTipText(Get(object));
        if (text.isEmpty())
            continue;
        if (auto* widget = qobject_cast<QWidget*>(object))
            widget->setToolTip(text);
        else if (auto* action = qobject_cast<QAction*>(object))
            action->setToolTip(text);
    }
}

} // namespace ControlId
