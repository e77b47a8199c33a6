// The emulation manager window's toolbar: three exclusive page buttons (Basic, Advanced,
// Professional), a separator, Statistics and Help; each with a normal and a hot image,
// its text under it and its tool tip from the string table.
#pragma once

#include "AltirenClient/Resource.h"

#include <QToolBar>

class QAction;
class QActionGroup;

class CManagerToolBar : public QToolBar {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 72;
    static constexpr int kButtonHeight = 71;
    static constexpr int kImageWidth = 64;
    static constexpr int kImageHeight = 50;

    explicit CManagerToolBar(QWidget* parent = nullptr);

    // The button's action; null when the command is not on the toolbar.
    QAction* ActionFor(UINT command) const;
    // Checks and enables that page button; the other two become enabled (where their page
    // exists) and unchecked. Nothing happens for a command that is not a page button.
    void SelectPageButton(UINT command);
    // A page button whose page does not exist stays disabled.
    void SetPageAvailable(UINT command, bool available);
    // Disables (lock) or enables the three page buttons.
    void LockPageButtons(bool lock);

signals:
    void commandTriggered(UINT command);

private:
    bool IsPageCommand(UINT command) const;
    bool IsAvailable(UINT command) const;

    QActionGroup* m_pages = nullptr;
    bool m_available[3] = {true, true, true}; // Basic, Advanced, Professional
};
