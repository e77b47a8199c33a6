// The message dialog with the check box "Don't show this message again", for messages
// the user may switch off: the windows show a dialog, the tests answer from a script.
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

class IMessageDialogPrompt {
public:
    virtual ~IMessageDialogPrompt() = default;
    // Shows the text under the caption with the icon of the MB_ICON* bits of flags;
    // dontShowAgain receives the check box (it starts cleared). Returns IDOK, or 0 when
    // no dialog could be shown.
    virtual int ShowMessageDialog(const std::string& text, const std::string& caption, UINT flags,
                                  bool& dontShowAgain) = 0;
};
