#include "AltirenUi/NetworkAdapterDlg.h"

#include "AltirenClient/Resource.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/HelpHook.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

std::string CNetworkAdapterDlg::LineFor(const AdapterEntry& adapter) {
    return adapter.description + " (IP Address: " + adapter.ipAddress + ")";
}

CNetworkAdapterDlg::CNetworkAdapterDlg(const CAdapterTable& adapters, std::optional<size_t> current,
                                       QWidget* parent)
    : QDialog(parent) {
    ControlId::Set(this, IDD_NETWORK_ADAPTERS);
    setWindowTitle(tr("Network Adapters"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* label = new QLabel(tr("&Select the network adapter to affect:"), this);
    m_list = new QListWidget(this);
    ControlId::Set(m_list, IDC_ADAPTER_LIST);
    label->setBuddy(m_list);
    for (size_t i = 0; i < adapters.Count(); ++i)
        m_list->addItem(QString::fromStdString(LineFor(adapters.At(i))));
    const size_t selected = current && *current < adapters.Count() ? *current : 0;
    if (m_list->count() > 0)
        m_list->setCurrentRow(static_cast<int>(selected));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ControlId::Set(buttons->button(QDialogButtonBox::Ok), IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNetworkAdapterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CNetworkAdapterDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(420, 240);
    HelpHook::Install(this);
}

void CNetworkAdapterDlg::accept() {
    const int row = m_list->currentRow();
    if (row >= 0 && m_list->currentItem() && m_list->currentItem()->isSelected())
        m_chosen = static_cast<size_t>(row);
    QDialog::accept();
}
