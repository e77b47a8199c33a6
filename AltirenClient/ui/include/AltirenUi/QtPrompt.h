// The windows' prompt: one QMessageBox per message, modal over its owner window, that
// answers with the Win32 result numbers. The buttons come from the low nibble of the
// flags (MB_OK ... MB_RETRYCANCEL), the icon from the second (MB_ICONHAND ...
// MB_ICONASTERISK).
#pragma once

#include "AltirenClient/Prompt.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class CQtPrompt : public IPrompt {
public:
    explicit CQtPrompt(QWidget* owner = nullptr) : m_owner(owner) {}

    // The window the boxes are modal over; a window that has gone means none.
    void SetOwner(QWidget* owner) { m_owner = owner; }
    QWidget* GetOwner() const { return m_owner.data(); }

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;

    // The box that MessageBox shows, not yet shown (its owner as parent).
    QMessageBox* CreateBox(const std::string& text, const std::string& caption, UINT flags) const;

    static QMessageBox::StandardButtons ButtonsFor(UINT flags);
    static QMessageBox::Icon IconFor(UINT flags);
    // The Win32 number of the button that ended a box; IDCANCEL for any other end.
    static int AnswerFor(int button);

private:
    QPointer<QWidget> m_owner;
};
