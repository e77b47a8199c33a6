// What the change-password dialog decides on OK: the new password typed twice alike and
// the old one equal to the stored one (both compared exactly).
#pragma once

#include "AltirenClient/Prompt.h"

#include <string>

class CSClientChangePwdModel {
public:
    struct Values {
        std::string userName; // shown, not edited
        std::string oldPassword;
        std::string newPassword;
        std::string confirmPassword;
    };

    CSClientChangePwdModel(IPrompt& prompt, std::string userName);

    Values& GetValues() { return m_values; }
    const Values& GetValues() const { return m_values; }

    // True when the dialog may close with OK; otherwise the user was told why.
    bool OnOK();

private:
    IPrompt& m_prompt;
    Values m_values;
};
