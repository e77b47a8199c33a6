#include "AltirenUi/OptionsPage.h"

COptionsPage::COptionsPage(QWidget* parent) : QWidget(parent) {}

COptionsPage::~COptionsPage() = default;

void COptionsPage::SetModified(bool modified) {
    if (m_bModified == modified)
        return;
    m_bModified = modified;
    emit modifiedChanged(modified);
}
