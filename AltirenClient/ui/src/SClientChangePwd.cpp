#include "AltirenUi/SClientChangePwd.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* PasswordEdit(QWidget* parent, UINT id) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    ControlId::Set(edit, id);
    return edit;
}

} // namespace

CSClientChangePwd::CSClientChangePwd(IPrompt& prompt, const std::string& userName, QWidget* parent)
    : QDialog(parent), m_model(prompt, userName) {
    ControlId::Set(this, IDD_CHANGE_PASSWORD);
    setWindowTitle(tr("Change Password"));
    auto* user = new QLineEdit(QString::fromStdString(userName), this);
    user->setReadOnly(true);
    ControlId::Set(user, IDC_CHANGE_PWD_USER);
    m_old = PasswordEdit(this, IDC_CHANGE_PWD_OLD);
    m_new = PasswordEdit(this, IDC_CHANGE_PWD_NEW);
    m_confirm = PasswordEdit(this, IDC_CHANGE_PWD_CONFIRM);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ControlId::Set(buttons->button(QDialogButtonBox::Ok), IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSClientChangePwd::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("User name:"), user);
    form->addRow(tr("&Old password:"), m_old);
    form->addRow(tr("&New password:"), m_new);
    form->addRow(tr("&Confirm new password:"), m_confirm);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    HelpHook::Install(this);
}

void CSClientChangePwd::accept() {
    CSClientChangePwdModel::Values& values = m_model.GetValues();
    values.oldPassword = m_old->text().toStdString();
    values.newPassword = m_new->text().toStdString();
    values.confirmPassword = m_confirm->text().toStdString();
    if (m_model.OnOK())
        QDialog::accept();
}
