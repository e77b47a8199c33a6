// The change-password dialog (353): the user name (read-only), the old password and the
// new one twice. OK closes only when its model accepts the values.
#pragma once

#include "AltirenUi/SClientChangePwdModel.h"

#include <QDialog>

class QLineEdit;

class CSClientChangePwd : public QDialog {
    Q_OBJECT

public:
    CSClientChangePwd(IPrompt& prompt, const std::string& userName, QWidget* parent = nullptr);

    CSClientChangePwdModel& Model() { return m_model; }

public slots:
    void accept() override;

private:
    CSClientChangePwdModel m_model;
    QLineEdit* m_old = nullptr;
    QLineEdit* m_new = nullptr;
    QLineEdit* m_confirm = nullptr;
};
