// The options sheet "Pramitone Client Options" (string 61239): tabs for the registration,
// log-on, statistics and preferences pages (mask bits 1, 2, 4, 8, always in that order),
// OK and Cancel. The description is the registration page's message (the log-on page
// has its own). OK applies each changed page in tab order;
// the first that must stay is selected and the sheet stays open. The sheet is top-most;
// OK is disabled while an emulation plays.
#pragma once

#include "AltirenUi/AccountServer.h"
#include "AltirenUi/OptionsPage.h"
#include "AltirenUi/OptionsSheetSeam.h"
#include "AltirenUi/QtPrompt.h"

#include <QDialog>

#include <array>
#include <memory>
#include <string>

class CMessageDlgPrompt;
class QPushButton;
class QTabWidget;

struct OptionsSheetSetup {
    OptionsSheetPages pages; // the makers of the pages other libraries build
    // The message boxes; the sheet's own (over its window) when null.
    IPrompt* prompt = nullptr;
    IMessageDialogPrompt* messageDialog = nullptr;
    // The proxy of the account pages; the client's proxy when empty.
    AccountServerFactory server;
    // The manager window; when empty, the window RunModal runs over if it is the manager.
    std::function<IEmulationManager*()> manager;
    // What the autostart entry starts; the running program when empty.
    std::string program;
};

class COptionsSheet : public QDialog, public IOptionsSheet {
    Q_OBJECT

public:
    explicit COptionsSheet(OptionsSheetSetup setup, UINT titleId = IDS_OPTIONS_CAPTION,
                           QWidget* parent = nullptr, uint32_t mask = 0);
    ~COptionsSheet() override;

    // IOptionsSheet.
    void RequestPages(uint32_t mask) override;
    void SetDescription(UINT textId) override;
    bool IsWindowShown() const override;
    void Raise() override;
    // Opens its pages afresh (from the settings), then runs modally.
    int RunModal(QWidget* parent) override;
    void EnableOkButton(bool enable) override;

    // The page of a mask bit; null when it is not in the sheet.
    COptionsPage* Page(uint32_t bit) const;
    uint32_t Mask() const { return m_mask; }
    QTabWidget* Tabs() const { return m_tabs; }

    // The process-wide sheet, made on the provider's first call with the client's proxy
    // and its own message boxes; it goes with the last copy of the provider.
    static OptionsSheetProvider Provider(OptionsSheetPages pages);

public slots:
    // OK.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr size_t kPageCount = 4;
    std::unique_ptr<COptionsPage> MakePage(size_t index);
    void RemakePages();
    IEmulationManager* Manager() const;

    OptionsSheetSetup m_setup;
    CQtPrompt m_ownPrompt;
    std::unique_ptr<CMessageDlgPrompt> m_ownMessageDialog;
    QWidget* m_runParent = nullptr;
    uint32_t m_mask = 0;
    std::array<COptionsPage*, kPageCount> m_pages{};
    UINT m_description = 0;
    QTabWidget* m_tabs = nullptr;
    QPushButton* m_ok = nullptr;
};
