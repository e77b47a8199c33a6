// The "Network Adapters" dialog (250): the adapters the application found, one line each,
// from which the user picks the one the emulation affects. It opens topmost with the
// current adapter selected (the first when there is none); F1 asks for the dialog's help.
#pragma once

#include "AltirenClient/AdapterTable.h"

#include <QDialog>

#include <optional>
#include <string>

class QListWidget;

class CNetworkAdapterDlg : public QDialog {
    Q_OBJECT

public:
    // "<name> (IP Address: <address>)".
    static std::string LineFor(const AdapterEntry& adapter);

    // current: the application's adapter index, or none.
    CNetworkAdapterDlg(const CAdapterTable& adapters, std::optional<size_t> current,
                       QWidget* parent = nullptr);

    // The line chosen with OK; none after Cancel or without a selection.
    std::optional<size_t> Chosen() const { return m_chosen; }
    QListWidget* List() const { return m_list; }

public slots:
    void accept() override;

private:
    QListWidget* m_list = nullptr;
    std::optional<size_t> m_chosen;
};
