#include "AltirenUi/IpFilterDlg.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/EnterIpDlg.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/IpListCtrl.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>

CIpFilterDlg::CIpFilterDlg(IPrompt* prompt, QWidget* parent)
    : QDialog(parent), m_ownPrompt(this), m_prompt(prompt ? prompt : &m_ownPrompt),
      m_model(*m_prompt, [this](const std::string& start) {
          return m_ask ? m_ask(start) : CEnterIpDlg::Ask(m_prompt, this, start);
      }) {
    ControlId::Set(this, IDD_IP_FILTER);
    setWindowTitle(QStringLiteral("Filter Definition "));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    m_list = new CIpListCtrl(m_model.List(), this);
    ControlId::Set(m_list, IDC_FILTER_LIST);
    m_list->SetColumns({"IP Addresses"});
    m_add = new QPushButton(QStringLiteral("&Add"), this);
    ControlId::Set(m_add, IDC_FILTER_ADD);
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    ControlId::Set(m_remove, IDC_FILTER_REMOVE);
    m_edit = new QPushButton(QStringLiteral("&Edit"), this);
    ControlId::Set(m_edit, IDC_FILTER_EDIT);
    for (QPushButton* button : {m_add, m_remove, m_edit})
        button->setAutoDefault(false);

    auto* policy = new QGroupBox(QStringLiteral(" Policy "), this);
    m_exclude = new QRadioButton(QStringLiteral("E&xclude"), policy);
    ControlId::Set(m_exclude, IDC_FILTER_EXCLUDE);
    m_include = new QRadioButton(QStringLiteral("&Include"), policy);
    ControlId::Set(m_include, IDC_FILTER_INCLUDE);
    auto* policyLayout = new QVBoxLayout(policy);
    policyLayout->addWidget(m_exclude);
    policyLayout->addWidget(m_include);
    m_override = new QCheckBox(QStringLiteral("&Override imported network filter"), this);
    ControlId::Set(m_override, IDC_FILTER_OVERRIDE);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    ControlId::Set(m_ok, IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CIpFilterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(m_add, &QPushButton::clicked, this, [this] {
        if (m_model.Add())
            Refresh();
    });
    connect(m_edit, &QPushButton::clicked, this, [this] {
        if (m_model.Edit())
            Refresh();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (m_model.Remove())
            Refresh();
    });

    auto* side = new QVBoxLayout;
    side->addWidget(m_add);
    side->addWidget(m_remove);
    side->addWidget(m_edit);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(policy);
    layout->addWidget(m_override);
    layout->addWidget(buttons);
    resize(320, 340);
    ControlId::ApplyToolTips(this);
    HelpHook::Install(this);
}

CIpFilterDlg::~CIpFilterDlg() = default;

FilterDialogProvider CIpFilterDlg::Provider() {
    auto dialog = std::make_shared<std::unique_ptr<CIpFilterDlg>>();
    return [dialog]() -> IFilterDialog* {
        if (!*dialog)
            *dialog = std::make_unique<CIpFilterDlg>();
        return dialog->get();
    };
}

void CIpFilterDlg::SetAddressAsker(CIpFilterDlgModel::AddressAsker ask) {
    m_ask = std::move(ask);
}

void CIpFilterDlg::Raise() {
    show();
    raise();
    activateWindow();
}

void CIpFilterDlg::Load(CEmulationFilter& filter) {
    m_target = &filter;
    m_model.Load(filter);
    (m_model.Policy() == CIpFilterDlgModel::kPolicyInclude ? m_include : m_exclude)
        ->setChecked(true);
    m_override->setChecked(m_model.Override());
    Refresh();
}

int CIpFilterDlg::RunModal(QWidget*, CEmulationFilter& filter) {
    Load(filter);
    const int result = exec();
    m_target = nullptr;
    return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CIpFilterDlg::LockEditing(bool lock) {
    m_model.SetLocked(lock);
    UpdateButtons();
}

void CIpFilterDlg::Refresh() {
    m_list->Refresh();
    UpdateButtons();
}

void CIpFilterDlg::UpdateButtons() {
    const CIpFilterDlgModel::ButtonState state = m_model.Buttons();
    m_ok->setEnabled(state.ok);
    m_override->setEnabled(state.overrideCheck);
    m_exclude->setEnabled(state.policy);
    m_include->setEnabled(state.policy);
    m_add->setEnabled(state.add);
    m_edit->setEnabled(state.edit);
    m_remove->setEnabled(state.remove);
}

void CIpFilterDlg::accept() {
    if (!m_target || !m_model.Buttons().ok)
        return;
    m_model.SetPolicy(m_include->isChecked() ? CIpFilterDlgModel::kPolicyInclude
                                             : CIpFilterDlgModel::kPolicyExclude);
    m_model.SetOverride(m_override->isChecked());
    // The dialog's rows are written into a copy first: a refusal leaves the filter alone.
    CEmulationFilter result = *m_target;
    if (!m_model.OnOK(result))
        return;
    *m_target = result;
    QDialog::accept();
}
