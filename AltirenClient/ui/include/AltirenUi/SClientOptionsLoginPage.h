// The log-on page of the options sheet (dialog 350): user name, password and server
// address, and "Change Password..." (1166), which opens CSClientChangePwd. Its model
// decides; the page shows and forwards.
#pragma once

#include "AltirenUi/OptionsPage.h"
#include "AltirenUi/SClientOptionsLoginPageModel.h"

class QLabel;
class QLineEdit;
class QPushButton;

class CSClientOptionsLoginPage : public COptionsPage {
    Q_OBJECT

public:
    explicit CSClientOptionsLoginPage(AccountPageContext context, QWidget* parent = nullptr);

    QString Title() const override;
    bool OnApply() override;
    void OnSetActive() override;

    CSClientOptionsLoginPageModel& Model() { return m_model; }
    // What the server address box holds now.
    std::string TypedServerAddress() const;
    // The user name or the password was typed here since the page opened.
    bool IsAccountEdited() const { return m_bAccountEdited; }
    // The account typed on the sheet's other tab, into the boxes.
    void TakeAccount(const std::string& userName, const std::string& password);
    // What Change Password... opens (the change-password dialog unless replaced).
    void SetChangePasswordDialog(CSClientOptionsLoginPageModel::ChangePasswordDialog dialog) {
        m_dialog = std::move(dialog);
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowValues();
    void TakeValues();
    void UpdateEnabling();
    void OnChangePwd();

    AccountPageContext m_context;
    CSClientOptionsLoginPageModel m_model;
    CSClientOptionsLoginPageModel::ChangePasswordDialog m_dialog;
    QLabel* m_message = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_server = nullptr;
    QPushButton* m_changePassword = nullptr;
    bool m_bShowing = false;
    bool m_bAccountEdited = false;
};
