#include "AltirenUi/ServerWaitBox.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/ControlId.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CServerWaitBox::CServerWaitBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(LoadClientString(IDS_CAPTION_INFORMATION)));
    setModal(true);
    auto* text = new QLabel(QString::fromStdString(LoadClientString(IDS_WAITING_FOR_SERVER)));
    ControlId::Set(text, IDC_BROWSER_STATUS);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    ControlId::Set(m_cancel, IDCANCEL);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(busy);
    layout->addWidget(buttons);
}

bool CServerWaitBox::HasEventLoop() {
    return QCoreApplication::instance() != nullptr;
}

bool CServerWaitBox::WaitFor(const std::function<ServerRequest::Handle(std::function<void()> done,
                                                                       QObject* receiver)>& start) {
    QObject receiver;
    QEventLoop loop;
    bool answered = false;
    bool cancelled = false;
    ServerRequest::Handle handle = start(
        [&] {
            answered = true;
            loop.quit();
        },
        &receiver);

    QPointer<CServerWaitBox> box;
    QTimer later;
    later.setSingleShot(true);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QObject::connect(&later, &QTimer::timeout, &receiver, [&] {
            box = new CServerWaitBox(QApplication::activeWindow());
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QDialog::rejected, &receiver, [&] {
                cancelled = true;
                loop.quit();
            });
            box->open();
        });
        later.start(kShowAfterMs);
    }
    // Input that comes before the box goes to nothing else: the window that waits takes
    // no second click meanwhile.
    while (!answered && !cancelled) {
        if (box)
            loop.exec();
        else
            loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    later.stop();
    if (box) {
        // Closed by the answer: not a cancel.
        QObject::disconnect(box, &QDialog::rejected, &receiver, nullptr);
        box->close();
    }
    if (cancelled)
        handle.Cancel();
    return answered && !cancelled;
}
