// The modeless statistics window that the Top Talkers list and the graph windows share:
// the statistics manager it reads, a refresh timer at StatGuiRefresh, the listener told
// when the window goes, and the window's key.
//
// The object and its window live apart, as a dialog's do: Create makes the window
// (OnInitDialog), a close request or DestroyWindow takes it down again and tells the
// listener, and the object may be created anew afterwards. Ticks come from the timer
// on the GUI thread; tests call OnTimerEvent themselves.
#pragma once

#include "AltirenClient/Resource.h"

#include <QDialog>
#include <QTimer>

#include <string>

class CAltirenStatisticsManager;
class IStatisticWindowListener;

class CStatisticWindowBase : public QDialog {
    Q_OBJECT
public:
    CStatisticWindowBase(UINT dialogId, QWidget* parent = nullptr);
    ~CStatisticWindowBase() override;

    // Makes the window; false, with nothing made, when OnInitDialog fails.
    bool Create();
    bool IsWindowCreated() const { return m_bCreated; }
    // Takes the window down: the timer stops, the derived window lets go of what it
    // holds, the widget hides, and last the listener hears the key.
    void DestroyWindow();

    void StartTimer();
    void StopTimer();
    bool IsTimerRunning() const { return m_timer.isActive(); }
    int GetRefreshInterval() const { return m_nRefreshInterval; }

    void SetStatisticsManager(CAltirenStatisticsManager* manager) { m_pStatManager = manager; }
    void SetListener(IStatisticWindowListener* listener) { m_pListener = listener; }
    void SetKey(const std::string& key) { m_strKey = key; }
    const std::string& GetKey() const { return m_strKey; }
    UINT GetDialogId() const { return m_nDialogId; }

    // One refresh; the timer calls it.
    virtual void OnTimerEvent() = 0;
    // Empties what the window shows.
    virtual void ClearWindow() = 0;

protected:
    virtual bool OnInitDialog() = 0;
    // The window goes: let go of its resources (threads, files, rows).
    virtual void OnDestroyWindow() {}

    // The close request (title bar, Escape) takes the window down.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    CAltirenStatisticsManager* m_pStatManager = nullptr;

private:
    void TakeDown(bool fromDestructor);

    UINT m_nDialogId;
    int m_nRefreshInterval = 1000;
    IStatisticWindowListener* m_pListener = nullptr;
    std::string m_strKey;
    bool m_bCreated = false;
    QTimer m_timer;
};
