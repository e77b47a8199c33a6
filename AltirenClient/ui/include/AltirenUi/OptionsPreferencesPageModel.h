// What the preferences page decides: the "start with the system" box, written only when
// the user clicked it. The setting is the run value of the settings and, beside it, the
// desktop session's autostart entry.
#pragma once

#include <string>

class COptionsPreferencesPageModel {
public:
    // program: what the autostart entry starts.
    explicit COptionsPreferencesPageModel(std::string program);

    // Opening: the box shows the stored setting; nothing is changed yet.
    void OnInitDialog();
    bool IsChecked() const { return m_bChecked; }
    bool IsChanged() const { return m_bChanged; }
    // A click on the box.
    void OnClicked(bool checked);
    // Writes the setting when the box was clicked; false when it could not be written.
    bool OnApply();

private:
    std::string m_program;
    bool m_bChecked = false;
    bool m_bChanged = false;
};
