// The registration page of the options sheet (dialog 352): user name, "New user" or
// "Existing user", password or e-mail address. Its model decides; the page shows and
// forwards.
#pragma once

#include "AltirenUi/OptionsPage.h"
#include "AltirenUi/SClientOptionsInstPageModel.h"

class QLabel;
class QLineEdit;
class QRadioButton;

class CSClientOptionsInstPage : public COptionsPage {
    Q_OBJECT

public:
    explicit CSClientOptionsInstPage(AccountPageContext context, QWidget* parent = nullptr);

    QString Title() const override;
    bool OnApply() override;
    void OnSetActive() override;
    // The message over the page's boxes (a string id; 0 shows none).
    void SetMessage(UINT textId);

    CSClientOptionsInstPageModel& Model() { return m_model; }
    // The user name and password boxes as they hold now.
    std::string TypedUserName() const;
    std::string TypedPassword() const;

private:
    void ShowValues();
    void TakeValues();
    void UpdateEnabling();
    void OnEdited();

    CSClientOptionsInstPageModel m_model;
    QLabel* m_message = nullptr;
    QLineEdit* m_userName = nullptr;
    QRadioButton* m_newUser = nullptr;
    QRadioButton* m_existingUser = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_email = nullptr;
    bool m_bShowing = false;
};
