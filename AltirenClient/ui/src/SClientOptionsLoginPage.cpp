#include "AltirenUi/SClientOptionsLoginPage.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/SClientChangePwd.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

CSClientOptionsLoginPage::CSClientOptionsLoginPage(AccountPageContext context, QWidget* parent)
    : COptionsPage(parent), m_context(context), m_model(context) {
    ControlId::Set(this, IDD_OPTIONS_LOGIN);
    m_message = new QLabel(QString::fromStdString(LoadClientString(IDS_OPTIONS_DESCRIPTION)), this);
    m_message->setWordWrap(true);
    ControlId::Set(m_message, IDC_LOGIN_MESSAGE);
    m_userName = new QLineEdit(this);
    m_userName->setMaxLength(CSClientOptionsLoginPageModel::kMaxUserName);
    ControlId::Set(m_userName, IDC_LOGIN_USER_NAME);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(CSClientOptionsLoginPageModel::kMaxPassword);
    ControlId::Set(m_password, IDC_LOGIN_PASSWORD);
    m_server = new QLineEdit(this);
    ControlId::Set(m_server, IDC_LOGIN_SERVER);
    m_changePassword = new QPushButton(tr("&Change Password..."), this);
    ControlId::Set(m_changePassword, IDC_LOGIN_CHANGE_PASSWORD);

    auto* form = new QFormLayout;
    form->addRow(tr("&User name:"), m_userName);
    form->addRow(tr("&Password:"), m_password);
    form->addRow(tr("&Server address:"), m_server);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addLayout(form);
    layout->addWidget(m_changePassword, 0, Qt::AlignLeft);
    layout->addStretch(1);

    m_dialog = [this](const std::string& user) -> std::optional<std::string> {
        if (!m_context.prompt)
            return std::nullopt;
        CSClientChangePwd dialog(*m_context.prompt, user, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Model().GetValues().newPassword;
    };

    m_model.OnInitDialog();
    ShowValues();

    for (QLineEdit* edit : {m_userName, m_password})
        connect(edit, &QLineEdit::textEdited, this, [this] {
            if (!m_bShowing) {
                m_bAccountEdited = true;
                SetModified(true);
            }
        });
    connect(m_server, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_model.OnServerAddressEdited(text.toStdString());
        UpdateEnabling();
        if (!m_bShowing)
            SetModified(true);
    });
    connect(m_changePassword, &QPushButton::clicked, this, [this] { OnChangePwd(); });
}

QString CSClientOptionsLoginPage::Title() const {
    return tr("Login");
}

void CSClientOptionsLoginPage::ShowValues() {
    m_bShowing = true;
    const CSClientOptionsLoginPageModel::Values& values = m_model.GetValues();
    m_userName->setText(QString::fromStdString(values.userName));
    m_password->setText(QString::fromStdString(values.password));
    m_server->setText(QString::fromStdString(values.serverAddress));
    UpdateEnabling();
    m_bShowing = false;
}

std::string CSClientOptionsLoginPage::TypedServerAddress() const {
    return m_server->text().toStdString();
}

void CSClientOptionsLoginPage::TakeAccount(const std::string& userName,
                                           const std::string& password) {
    m_userName->setText(QString::fromStdString(userName));
    m_password->setText(QString::fromStdString(password));
}

void CSClientOptionsLoginPage::TakeValues() {
    CSClientOptionsLoginPageModel::Values& values = m_model.GetValues();
    values.userName = m_userName->text().toStdString();
    values.password = m_password->text().toStdString();
    values.serverAddress = m_server->text().toStdString();
}

void CSClientOptionsLoginPage::UpdateEnabling() {
    m_userName->setEnabled(m_model.AreAccountBoxesEnabled());
    m_password->setEnabled(m_model.AreAccountBoxesEnabled());
    m_changePassword->setEnabled(m_model.IsChangePasswordEnabled());
}

bool CSClientOptionsLoginPage::OnApply() {
    TakeValues();
    return m_model.OnApply();
}

void CSClientOptionsLoginPage::OnSetActive() {
    m_userName->setFocus();
}

void CSClientOptionsLoginPage::showEvent(QShowEvent* event) {
    COptionsPage::showEvent(event);
    m_userName->setFocus();
}

void CSClientOptionsLoginPage::OnChangePwd() {
    TakeValues();
    m_model.OnChangePwd(m_dialog);
    ShowValues();
}
