#include "AltirenUi/EnterIpDlg.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/IPAddrCtl.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

CEnterIpDlg::CEnterIpDlg(IPrompt* prompt, QWidget* parent)
    : QDialog(parent), m_ownPrompt(this), m_prompt(prompt ? prompt : &m_ownPrompt) {
    ControlId::Set(this, IDD_ENTER_IP);
    setWindowTitle(QStringLiteral("Enter IP address"));
    m_address = new CIPAddrCtl(m_prompt, this);
    ControlId::Set(m_address, IDC_ENTER_IP_ADDRESS);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ControlId::Set(ok, IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEnterIpDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_address);
    layout->addWidget(buttons);
    ControlId::ApplyToolTips(this);
    HelpHook::Install(this);
    m_address->setFocus();
}

void CEnterIpDlg::SetText(const std::string& text) {
    m_text = text;
    m_address->SetText(text);
}

void CEnterIpDlg::accept() {
    std::string text;
    if (!m_address->GetText(text))
        return;
    m_text = text;
    QDialog::accept();
}

std::optional<std::string> CEnterIpDlg::Ask(IPrompt* prompt, QWidget* parent,
                                            const std::string& start) {
    CEnterIpDlg dialog(prompt, parent);
    dialog.SetText(start);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetText();
}
