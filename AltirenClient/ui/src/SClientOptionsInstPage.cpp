#include "AltirenUi/SClientOptionsInstPage.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/ControlId.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

CSClientOptionsInstPage::CSClientOptionsInstPage(AccountPageContext context, QWidget* parent)
    : COptionsPage(parent), m_model(std::move(context)) {
    ControlId::Set(this, IDD_OPTIONS_INSTALL);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->hide();
    ControlId::Set(m_message, IDC_INSTALL_MESSAGE);
    m_userName = new QLineEdit(this);
    m_userName->setMaxLength(CSClientOptionsInstPageModel::kMaxUserName);
    ControlId::Set(m_userName, IDC_INSTALL_USER_NAME);
    m_newUser = new QRadioButton(tr("&New user"), this);
    ControlId::Set(m_newUser, IDC_INSTALL_NEW_USER);
    m_existingUser = new QRadioButton(tr("&Existing user"), this);
    ControlId::Set(m_existingUser, IDC_INSTALL_EXISTING_USER);
    auto* group = new QButtonGroup(this);
    group->addButton(m_newUser, CSClientOptionsInstPageModel::kNewUser);
    group->addButton(m_existingUser, CSClientOptionsInstPageModel::kExistingUser);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(CSClientOptionsInstPageModel::kMaxPassword);
    ControlId::Set(m_password, IDC_INSTALL_PASSWORD);
    m_email = new QLineEdit(this);
    ControlId::Set(m_email, IDC_INSTALL_EMAIL);

    auto* form = new QFormLayout;
    form->addRow(tr("&User name:"), m_userName);
    form->addRow(m_newUser);
    form->addRow(tr("E-&mail address:"), m_email);
    form->addRow(m_existingUser);
    form->addRow(tr("&Password:"), m_password);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addLayout(form);
    layout->addStretch(1);

    m_model.OnInitDialog();
    ShowValues();

    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        m_model.GetValues().loginType = id;
        UpdateEnabling();
        OnEdited();
    });
    for (QLineEdit* edit : {m_userName, m_password, m_email})
        connect(edit, &QLineEdit::textEdited, this, [this] { OnEdited(); });
}

QString CSClientOptionsInstPage::Title() const {
    return tr("Registration");
}

void CSClientOptionsInstPage::OnEdited() {
    if (!m_bShowing)
        SetModified(true);
}

void CSClientOptionsInstPage::ShowValues() {
    m_bShowing = true;
    const CSClientOptionsInstPageModel::Values& values = m_model.GetValues();
    m_userName->setText(QString::fromStdString(values.userName));
    m_password->setText(QString::fromStdString(values.password));
    m_email->setText(QString::fromStdString(values.email));
    (values.loginType == CSClientOptionsInstPageModel::kNewUser ? m_newUser : m_existingUser)
        ->setChecked(true);
    UpdateEnabling();
    m_bShowing = false;
}

std::string CSClientOptionsInstPage::TypedUserName() const {
    return m_userName->text().toStdString();
}

std::string CSClientOptionsInstPage::TypedPassword() const {
    return m_password->text().toStdString();
}

void CSClientOptionsInstPage::TakeValues() {
    CSClientOptionsInstPageModel::Values& values = m_model.GetValues();
    values.userName = m_userName->text().toStdString();
    values.password = m_password->text().toStdString();
    values.email = m_email->text().toStdString();
    values.loginType = m_newUser->isChecked() ? CSClientOptionsInstPageModel::kNewUser
                                              : CSClientOptionsInstPageModel::kExistingUser;
}

void CSClientOptionsInstPage::UpdateEnabling() {
    m_email->setEnabled(m_model.IsEmailEnabled());
    m_password->setEnabled(m_model.IsPasswordEnabled());
}

bool CSClientOptionsInstPage::OnApply() {
    TakeValues();
    const bool done = m_model.OnApply();
    if (!done) {
        ShowValues();
        switch (m_model.FocusRequest()) {
        case CSClientOptionsInstPageModel::kFocusUserName:
            m_userName->setFocus();
            break;
        case CSClientOptionsInstPageModel::kFocusEmail:
            m_email->setFocus();
            break;
        case CSClientOptionsInstPageModel::kFocusPassword:
            m_password->setFocus();
            break;
        case CSClientOptionsInstPageModel::kFocusNone:
            break;
        }
    }
    return done;
}

void CSClientOptionsInstPage::SetMessage(UINT textId) {
    const std::string text = textId ? LoadClientString(textId) : std::string();
    m_message->setText(QString::fromStdString(text));
    m_message->setVisible(!text.empty());
}

void CSClientOptionsInstPage::OnSetActive() {
    m_userName->setFocus();
}
