// The options property sheet ("Pramitone Client Options") as the manager window and the
// application start-up use it: one process-wide instance, made on first use by its
// provider, its pages asked for by a mask, run modally.
#pragma once

#include "AltirenClient/Resource.h"

#include <cstdint>
#include <functional>

class QWidget;

class IOptionsSheet {
public:
    // Page bits of the mask.
    static constexpr uint32_t kPageRegistration = 1;
    static constexpr uint32_t kPageLogin = 2;
    static constexpr uint32_t kPageStatistics = 4;
    static constexpr uint32_t kPagePreferences = 8;

    virtual ~IOptionsSheet() = default;

    // Adds each page whose bit is newly set in mask; a page once added stays.
    virtual void RequestPages(uint32_t mask) = 0;
    // The description text over the pages (a string id).
    virtual void SetDescription(UINT textId) = 0;
    // The sheet's window is up (a second request only raises it).
    virtual bool IsWindowShown() const = 0;
    // Shows the window and brings it to the top.
    virtual void Raise() = 0;
    // Runs the sheet modally over parent; IDOK or IDCANCEL.
    virtual int RunModal(QWidget* parent) = 0;
    // Enables or disables the sheet's OK button (disabled while an emulation plays).
    virtual void EnableOkButton(bool enable) = 0;
};

// The process-wide sheet, made on its first call; null when none can be made.
using OptionsSheetProvider = std::function<IOptionsSheet*()>;
