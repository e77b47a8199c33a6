// The message dialog (345): an icon, the message, the check box "Don't show this message
// again" and OK. The icon and the beep follow the icon bits of the flags; the caller reads
// the check box afterwards to update its setting.
#pragma once

#include "AltirenClient/MessageDialogPrompt.h"
#include "AltirenClient/Resource.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;

class CMessageDlg : public QDialog {
    Q_OBJECT

public:
    // The picture of the icon bits (flags & 0x70) and the beep that goes with it.
    enum class Picture { Error, Warning, Information, Question, Client };
    static Picture PictureFor(UINT flags);
    // The beep type passed to the beeper: the icon bits, or 0xFFFFFFFF for the default.
    static UINT BeepFor(UINT flags);
    // Replaces the process's beeper (the desktop's bell by default); empty restores it.
    static void SetBeeper(std::function<void(UINT beepType)> beeper);

    explicit CMessageDlg(QWidget* parent = nullptr);

    // Stores the three, initialises the dialog and runs it modally; the modal result.
    int Show(const std::string& text, const std::string& caption, UINT flags);
    int ShowById(UINT textId, UINT captionId, UINT flags);
    bool IsChecked() const { return m_bChecked; }

    // Fills the controls from the fields, picks the icon and beeps (the dialog opening).
    void OnInitDialog();
    Picture ShownPicture() const { return m_picture; }

public slots:
    void accept() override;

private:
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
    QCheckBox* m_check = nullptr;
    bool m_bChecked = false;
    std::string m_strMessage;
    std::string m_strCaption;
    UINT m_nFlags = 0;
    Picture m_picture = Picture::Client;
};

// The message dialog as a prompt: a new dialog for every message, modal over the owner.
class CMessageDlgPrompt : public IMessageDialogPrompt {
public:
    explicit CMessageDlgPrompt(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }
    int ShowMessageDialog(const std::string& text, const std::string& caption, UINT flags,
                          bool& dontShowAgain) override;

private:
    QPointer<QWidget> m_owner;
};
