// "Filter Definition ": the emulation filter dialog of the manager window. A list of at
// most 10 addresses with Add, Edit and Remove, the Exclude/Include policy and the override
// flag; OK writes them into the manager's filter (CIpFilterDlgModel decides). One
// process-wide dialog, made by its provider on first use.
#pragma once

#include "AltirenUi/FilterDialogSeam.h"
#include "AltirenUi/IpFilterDlgModel.h"
#include "AltirenUi/QtPrompt.h"

#include <QDialog>

class CIpListCtrl;
class QCheckBox;
class QPushButton;
class QRadioButton;

class CIpFilterDlg : public QDialog, public IFilterDialog {
    Q_OBJECT

public:
    // prompt: the dialog's boxes (its own over itself when null).
    explicit CIpFilterDlg(IPrompt* prompt = nullptr, QWidget* parent = nullptr);
    ~CIpFilterDlg() override;

    // The manager window's seam: the dialog made on the first call and kept by the
    // provider (and its copies) for their life.
    static FilterDialogProvider Provider();

    // Replaces the "Enter IP address" dialog (tests).
    void SetAddressAsker(CIpFilterDlgModel::AddressAsker ask);

    // IFilterDialog.
    bool IsWindowShown() const override { return isVisible(); }
    void Raise() override;
    int RunModal(QWidget* parent, CEmulationFilter& filter) override;
    void LockEditing(bool lock) override;

    // Fills the controls from filter; OK then writes into it (RunModal does both).
    void Load(CEmulationFilter& filter);
    CIpFilterDlgModel& Model() { return m_model; }

public slots:
    void accept() override;

private:
    void UpdateButtons();
    void Refresh();

    CQtPrompt m_ownPrompt;
    IPrompt* m_prompt;
    CIpFilterDlgModel::AddressAsker m_ask;
    CIpFilterDlgModel m_model;
    CEmulationFilter* m_target = nullptr;
    CIpListCtrl* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_edit = nullptr;
    QRadioButton* m_exclude = nullptr;
    QRadioButton* m_include = nullptr;
    QCheckBox* m_override = nullptr;
    QPushButton* m_ok = nullptr;
};
