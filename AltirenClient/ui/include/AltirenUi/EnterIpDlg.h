// "Enter IP address": one address control, OK and Cancel. OK closes only with a complete,
// non-zero address; the value is its dotted text.
#pragma once

#include "AltirenClient/Prompt.h"
#include "AltirenUi/QtPrompt.h"

#include <QDialog>

#include <optional>
#include <string>

class CIPAddrCtl;

class CEnterIpDlg : public QDialog {
    Q_OBJECT

public:
    // prompt: the boxes of the dialog (its own over itself when null).
    explicit CEnterIpDlg(IPrompt* prompt = nullptr, QWidget* parent = nullptr);

    std::string GetText() const { return m_text; }
    void SetText(const std::string& text);
    CIPAddrCtl* AddressControl() const { return m_address; }

    // Runs the dialog from start; the address kept, nullopt when cancelled.
    static std::optional<std::string> Ask(IPrompt* prompt, QWidget* parent,
                                          const std::string& start);

public slots:
    void accept() override;

private:
    CQtPrompt m_ownPrompt;
    IPrompt* m_prompt;
    CIPAddrCtl* m_address = nullptr;
    std::string m_text;
};
