#include "AltirenUi/StatisticWindowBase.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/StatisticWindowListener.h"

#include <QCloseEvent>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {
constexpr const char* kClass = "CStatisticWindowBase";
// A window timer runs no faster than every 10 ms.
constexpr uint32_t kMinimumTimerMs = 10;
} // namespace

CStatisticWindowBase::CStatisticWindowBase(UINT dialogId, QWidget* parent)
    : QDialog(parent), m_nDialogId(dialogId) {
    ControlId::Set(this, dialogId);
    uint32_t interval = CClientSettings().GetStatGuiRefresh();
    if (interval < kMinimumTimerMs)
        interval = kMinimumTimerMs;
    m_nRefreshInterval = static_cast<int>(std::min<uint32_t>(interval, INT_MAX));
    m_timer.setInterval(m_nRefreshInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimerEvent(); });
    // Modeless, with the title bar's close and minimise buttons of a tool window.
    setModal(false);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
}

CStatisticWindowBase::~CStatisticWindowBase() {
    try {
        TakeDown(true);
    } catch (...) {
    }
}

bool CStatisticWindowBase::Create() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_bCreated)
        return true;
    if (!OnInitDialog())
        return false;
    m_bCreated = true;
    return true;
}

void CStatisticWindowBase::DestroyWindow() {
    TakeDown(false);
}

void CStatisticWindowBase::TakeDown(bool fromDestructor) {
    if (!m_bCreated)
        return;
    CLIENT_TRACE_ENTERED(kClass);
    m_bCreated = false;
    m_timer.stop();
    // In the destructor the derived window has gone already and let go of its own.
    if (!fromDestructor) {
        OnDestroyWindow();
        hide();
    }
    if (m_pListener)
        m_pListener->OnWindowDestroyed(m_strKey);
}

void CStatisticWindowBase::StartTimer() {
    m_timer.start();
}

void CStatisticWindowBase::StopTimer() {
    m_timer.stop();
}

void CStatisticWindowBase::closeEvent(QCloseEvent* event) {
    event->accept();
    DestroyWindow();
}

void CStatisticWindowBase::reject() {
    close();
}
