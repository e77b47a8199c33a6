// Driving the scenario download dialog as a user does: a mouse click on a link of its
// view, and an action taken while the dialog runs modally (never left waiting: a guard
// closes whatever modal window is still up).
#pragma once

#include "AltirenUi/AltirenPageBrowser.h"
#include "AltirenUi/BrowseView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <functional>
#include <memory>

namespace pagedriving {

// Clicks the middle of the first text `text` of the view; false when it is not a link.
inline bool ClickLink(QTextBrowser* view, const QString& text) {
    const QTextCursor found = view->document()->find(text);
    if (found.isNull())
        return false;
    QTextCursor middle(view->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    view->setTextCursor(middle);
    view->ensureCursorVisible();
    const QPoint at = view->cursorRect(middle).center() + QPoint(1, 0);
    if (view->anchorAt(at).isEmpty())
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

// Runs act on the download dialog once it is the active modal window and, unless
// whileWaiting, shows the page it asked for (checked every 20 ms); any modal window still
// up after ten seconds is closed.
inline void WhileBrowserRuns(std::function<void(CAltirenPageBrowser*)> act,
                             bool whileWaiting = false) {
    auto* poll = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, act, whileWaiting] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<CAltirenPageBrowser*>(modal);
        if (dialog && (whileWaiting || !dialog->IsWaiting())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
            return;
        }
        if (clock->elapsed() > 10000) {
            poll->stop();
            poll->deleteLater();
            if (modal)
                modal->close();
        }
    });
    poll->start(20);
}

} // namespace pagedriving
