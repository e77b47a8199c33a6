// The emulation filter dialog ("Filter Definition ") as the manager window uses it: one
// process-wide instance, made on first use by its provider, run modally over the
// manager's filter (CEmulationFilter), and locked while an emulation plays.
#pragma once

#include "AltirenClient/EmulationFilter.h"

#include <functional>

class QWidget;

class IFilterDialog {
public:
    virtual ~IFilterDialog() = default;

    // The dialog's window is up (a second Edit > Filter Definition... only raises it).
    virtual bool IsWindowShown() const = 0;
    // Shows the window and brings it to the top.
    virtual void Raise() = 0;
    // Runs the dialog modally over parent; OK writes what the user kept into filter.
    // Returns IDOK or IDCANCEL.
    virtual int RunModal(QWidget* parent, CEmulationFilter& filter) = 0;
    // Disables (lock) or enables the dialog's editing controls.
    virtual void LockEditing(bool lock) = 0;
};

// The process-wide dialog, made on its first call; null when none can be made.
using FilterDialogProvider = std::function<IFilterDialog*()>;
