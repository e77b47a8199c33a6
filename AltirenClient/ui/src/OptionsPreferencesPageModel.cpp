#include "AltirenUi/OptionsPreferencesPageModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/XdgAutostart.h"

namespace {

constexpr const char* kClass = "COptionsPreferencesPage";

} // namespace

COptionsPreferencesPageModel::COptionsPreferencesPageModel(std::string program)
    : m_program(std::move(program)) {}

void COptionsPreferencesPageModel::OnInitDialog() {
    m_bChecked = CClientSettings().IsStartWithWindows();
    m_bChanged = false;
}

void COptionsPreferencesPageModel::OnClicked(bool checked) {
    m_bChecked = checked;
    m_bChanged = true;
}

bool COptionsPreferencesPageModel::OnApply() {
    CLIENT_TRACE_ENTERED(kClass);
    if (!m_bChanged)
        return true;
    CClientSettings settings;
    bool written = false;
    if (m_bChecked) {
        // Without an installation folder the run value is left alone; the autostart entry
        // names the running program and is written all the same.
        if (!settings.EnableStartWithWindows())
            CLIENT_TRACE(CSTrace::eWarning, "EnableStartWithWindows failed", kClass);
        written = CXdgAutostart::Write(m_program);
    } else {
        settings.DisableStartWithWindows();
        const bool removed = CXdgAutostart::Remove();
        written = removed && !settings.IsStartWithWindows();
    }
    if (!written) {
        CLIENT_TRACE(CSTrace::eError, "Failed to write the start-with-the-system setting", kClass);
        return false;
    }
    m_bChanged = false;
    return true;
}
