// The client's icon in the desktop's notification area (the tray): its picture and tool
// tip, its animation and its pop-up menu. The owner window gives the pictures and the
// menu by resource id, receives the menu's commands and the double click, and updates the
// menu's items before it opens.
//
// The icon exists as soon as it is added, whether or not the desktop shows a tray; the
// owner asks IsTrayAvailable() to know whether a user can reach it.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

class QIcon;
class QMenu;
class QSystemTrayIcon;

class ITaskBarIconOwner {
public:
    virtual ~ITaskBarIconOwner() = default;
    virtual QIcon LoadTaskBarIcon(unsigned int iconId) = 0;
    // Fills the pop-up menu of the resource id; each action carries its command id as
    // its data.
    virtual void FillTaskBarMenu(unsigned int menuId, QMenu& menu) = 0;
    // Update rules of the menu's items, run each time before it opens.
    virtual void UpdateTaskBarMenu(QMenu& menu) = 0;
    virtual void OnTaskBarCommand(unsigned int commandId) = 0;
    // A click or a double click on the icon (tray hosts deliver one or the other).
    virtual void OnTaskBarClick() = 0;
};

class CTaskBarIconHandler : public QObject {
    Q_OBJECT

public:
    // What bModifyIconTaskBarProp changes.
    static constexpr unsigned int kModifyIcon = 2;
    static constexpr unsigned int kModifyTip = 4;

    // The owner outlives the handler.
    CTaskBarIconHandler(ITaskBarIconOwner& owner, unsigned int menuId);
    ~CTaskBarIconHandler() override;

    // Appends a picture to the animation's cycle.
    void AddIconToAnimationList(unsigned int iconId);
    // Makes the icon with the picture and tool tip and shows it; true once the icon
    // exists (also where the desktop has no tray).
    bool bAddIconToTaskBar(unsigned int iconId, const std::string& toolTip);
    // Changes the picture (kModifyIcon) and the tool tip (kModifyTip, or any non-empty
    // text); false while there is no icon.
    bool bModifyIconTaskBarProp(unsigned int what, unsigned int iconId, const std::string& toolTip);
    // start: cycles through the animation list every intervalMs; otherwise stops (the
    // picture stays where it was until the owner restores it).
    void AnimateIcon(unsigned int intervalMs, bool start);
    // Takes the icon out of the tray.
    void RemoveIcon();

    bool HasIcon() const { return m_icon != nullptr; }
    static bool IsTrayAvailable();
    const std::string& ToolTip() const { return m_toolTip; }
    // The picture shown now (its resource id).
    unsigned int CurrentIconId() const { return m_currentIcon; }
    bool IsAnimating() const { return m_animation.isActive(); }
    QTimer& AnimationTimer() { return m_animation; }
    // The menu as it opens: filled once, updated each time.
    QMenu* PrepareMenu();
    // One animation step (the timer's tick).
    void OnAnimationTick();
    // What a user does to the icon.
    void OnActivated(int reason);

private:
    void SetPicture(unsigned int iconId);

    ITaskBarIconOwner& m_owner;
    unsigned int m_menuId;
    std::vector<unsigned int> m_animationList;
    size_t m_nextFrame = 0;
    unsigned int m_currentIcon = 0;
    std::string m_toolTip;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<QMenu> m_menu;
    QTimer m_animation;
};
