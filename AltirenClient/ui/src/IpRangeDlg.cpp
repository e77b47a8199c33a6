#include "AltirenUi/IpRangeDlg.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/IPAddrCtl.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CIpRangeDlg::CIpRangeDlg(IPrompt* prompt, bool editMode, const CIpRangeRule& start, QWidget* parent)
    : QDialog(parent), m_ownPrompt(this), m_prompt(prompt ? prompt : &m_ownPrompt),
      m_model(editMode, start) {
    ControlId::Set(this, IDD_IP_RANGE);
    setWindowTitle(QString::fromLatin1(m_model.Caption()));
    m_from = new CIPAddrCtl(m_prompt, this);
    ControlId::Set(m_from, IDC_RANGE_FROM);
    m_to = new CIPAddrCtl(m_prompt, this);
    ControlId::Set(m_to, IDC_RANGE_TO);
    m_protocol = new QComboBox(this);
    ControlId::Set(m_protocol, IDC_RANGE_PROTOCOL);
    m_protocol->setEditable(true);
    m_protocol->setInsertPolicy(QComboBox::NoInsert);
    for (const CIpRangeDlgModel::Protocol& entry : CIpRangeDlgModel::Protocols())
        m_protocol->addItem(QString::fromLatin1(entry.text));
    m_protocol->lineEdit()->setMaxLength(20);
    // No completion while typing: a typed "11" would be finished as "115 - L2TP ".
    m_protocol->setCompleter(nullptr);
    m_port = new QLineEdit(this);
    ControlId::Set(m_port, IDC_RANGE_PORT);
    m_port->setValidator(new QIntValidator(0, 65535, m_port));

    if (m_model.IsEditMode()) {
        const CIpRangeRule& rule = m_model.Start();
        m_from->SetText(IpToDotted(rule.m_first));
        m_to->SetText(IpToDotted(rule.m_last));
    }
    m_protocol->setEditText(QString::fromLatin1(m_model.ProtocolText().c_str()));
    ShowPort();

    connect(m_protocol, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_model.SetPortText(m_port->text().toStdString());
        m_model.OnProtocolChosen(static_cast<size_t>(index));
        ShowPort();
    });
    connect(m_protocol->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_model.SetPortText(m_port->text().toStdString());
        m_model.OnProtocolTyped(text.toStdString());
        ShowPort();
    });

    auto* form = new QFormLayout;
    auto addRow = [&](const char* text, QWidget* field) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    addRow("&From IP:", m_from);
    addRow("&To IP:", m_to);
    addRow("P&rotocol:", m_protocol);
    addRow("&Port:", m_port);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ControlId::Set(ok, IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CIpRangeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ControlId::ApplyToolTips(this);
    HelpHook::Install(this);
    m_from->setFocus();
}

void CIpRangeDlg::ShowPort() {
    m_port->setText(QString::fromStdString(m_model.PortText()));
    m_port->setEnabled(m_model.PortEnabled());
}

std::optional<uint32_t> CIpRangeDlg::ReadAddress(CIPAddrCtl* control) {
    if (control->IsBlank())
        return 0u;
    IpAddressValue address;
    if (!control->GetAddress(address, true))
        return std::nullopt;
    return address.Number();
}

void CIpRangeDlg::accept() {
    const std::optional<uint32_t> first = ReadAddress(m_from);
    if (!first)
        return;
    const std::optional<uint32_t> last = ReadAddress(m_to);
    if (!last)
        return;
    m_model.SetPortText(m_port->text().toStdString());
    if (m_protocol->lineEdit()->text().toStdString() != m_model.ProtocolText())
        m_model.OnProtocolTyped(m_protocol->lineEdit()->text().toStdString());
    const std::optional<CIpRangeRule> rule = m_model.OnOK(*m_prompt, *first, *last);
    if (!rule)
        return;
    m_rule = *rule;
    QDialog::accept();
}

std::optional<CIpRangeRule> CIpRangeDlg::Ask(IPrompt* prompt, QWidget* parent, bool editMode,
                                             const CIpRangeRule& start) {
    CIpRangeDlg dialog(prompt, editMode, start, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Rule();
}
