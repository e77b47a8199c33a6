#include "AltirenUi/HelpHook.h"

#include "AltirenUi/ControlId.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace HelpHook {

namespace {

Handler& CurrentHandler() {
    static Handler handler;
    return handler;
}

// F1 that no control took reaches the window: help on the control with the focus.
class CHelpKeyFilter : public QObject {
public:
    explicit CHelpKeyFilter(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window || event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus->window() != m_window)
            focus = m_window;
        Request(ControlId::OfWidgetOrParent(focus));
        return true;
    }

private:
    QWidget* m_window;
};

} // namespace

void SetHandler(Handler handler) {
    CurrentHandler() = std::move(handler);
}

bool Request(UINT controlId) {
    const Handler& handler = CurrentHandler();
    return handler ? handler(controlId) : false;
}

void Install(QWidget* window) {
    if (window)
        window->installEventFilter(new CHelpKeyFilter(window));
}

} // namespace HelpHook
