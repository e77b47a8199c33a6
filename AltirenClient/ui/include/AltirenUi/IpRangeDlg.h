// "Add IP Range" / "Edit IP Range": the first and last address of a range, its protocol
// (an editable list) and its port (enabled for TCP and UDP only). CIpRangeDlgModel
// decides; OK closes only with a valid range.
#pragma once

#include "AltirenClient/IpRules.h"
#include "AltirenUi/IpRangeDlgModel.h"
#include "AltirenUi/QtPrompt.h"

#include <QDialog>

#include <optional>

class CIPAddrCtl;
class QComboBox;
class QLineEdit;

class CIpRangeDlg : public QDialog {
    Q_OBJECT

public:
    // prompt: the dialog's boxes (its own over itself when null).
    CIpRangeDlg(IPrompt* prompt, bool editMode, const CIpRangeRule& start = CIpRangeRule(),
                QWidget* parent = nullptr);

    // The range of an accepted dialog.
    const CIpRangeRule& Rule() const { return m_rule; }

    // Runs the dialog; the range kept, nullopt when cancelled.
    static std::optional<CIpRangeRule> Ask(IPrompt* prompt, QWidget* parent, bool editMode,
                                           const CIpRangeRule& start);

public slots:
    void accept() override;

private:
    // The address of one control: all fields blank reads as 0; nullopt after its message.
    std::optional<uint32_t> ReadAddress(CIPAddrCtl* control);
    void ShowPort();

    CQtPrompt m_ownPrompt;
    IPrompt* m_prompt;
    CIpRangeDlgModel m_model;
    CIPAddrCtl* m_from = nullptr;
    CIPAddrCtl* m_to = nullptr;
    QComboBox* m_protocol = nullptr;
    QLineEdit* m_port = nullptr;
    CIpRangeRule m_rule;
};
