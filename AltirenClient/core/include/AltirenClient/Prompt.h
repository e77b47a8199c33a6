// Every message box of the client goes through this interface: the windows answer with
// a dialog, the tests with a script. Answers are the Win32 numbers (IDOK, IDCANCEL, ...;
// 0 when no box could be shown).
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // flags: the MB_* buttons and icon.
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT flags) = 0;
};

// A box whose text and caption are string ids.
int ShowClientMessage(IPrompt& prompt, UINT textId, UINT captionId, UINT flags);
