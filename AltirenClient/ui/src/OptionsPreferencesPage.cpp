#include "AltirenUi/OptionsPreferencesPage.h"

#include "AltirenUi/ControlId.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QVBoxLayout>

namespace {

std::string ProgramOrRunning(const std::string& program) {
    if (!program.empty())
        return program;
    const QString running = QCoreApplication::applicationFilePath();
    return running.isEmpty() ? std::string("Pramitone") : running.toStdString();
}

} // namespace

COptionsPreferencesPage::COptionsPreferencesPage(const std::string& program, QWidget* parent)
    : COptionsPage(parent), m_model(ProgramOrRunning(program)) {
    ControlId::Set(this, IDD_OPTIONS_PREFERENCES);
    m_start = new QCheckBox(tr("Start Pramitone when I start Windows"), this);
    ControlId::Set(m_start, IDC_START_WITH_SYSTEM);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_start);
    layout->addStretch(1);

    m_model.OnInitDialog();
    m_start->setChecked(m_model.IsChecked());
    connect(m_start, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.OnClicked(checked);
        SetModified(true);
    });
}

QString COptionsPreferencesPage::Title() const {
    return tr("Preferences");
}

bool COptionsPreferencesPage::OnApply() {
    // A setting that cannot be written is traced; the page does not hold the sheet.
    m_model.OnApply();
    return true;
}
