// The preferences page of the options sheet (dialog 375): the box that starts the client
// with the desktop session. Its model decides and writes.
#pragma once

#include "AltirenUi/OptionsPage.h"
#include "AltirenUi/OptionsPreferencesPageModel.h"

class QCheckBox;

class COptionsPreferencesPage : public COptionsPage {
    Q_OBJECT

public:
    // program: what the autostart entry starts (the running program when empty).
    explicit COptionsPreferencesPage(const std::string& program = {}, QWidget* parent = nullptr);

    QString Title() const override;
    bool OnApply() override;

    COptionsPreferencesPageModel& Model() { return m_model; }

private:
    COptionsPreferencesPageModel m_model;
    QCheckBox* m_start = nullptr;
};
