// A page of the options sheet ("Pramitone Client Options"): its tab title, whether the
// user changed it, and its apply. The sheet applies each changed page in tab order when
// OK is pressed; a page whose apply returns false is selected and keeps the sheet open.
#pragma once

#include "AltirenClient/MessageDialogPrompt.h"
#include "AltirenClient/Prompt.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class COptionsPage : public QWidget {
    Q_OBJECT

public:
    explicit COptionsPage(QWidget* parent = nullptr);
    ~COptionsPage() override;

    // The tab's text.
    virtual QString Title() const = 0;

    // The user changed something since the page was opened or last applied.
    bool IsModified() const { return m_bModified; }
    void SetModified(bool modified = true);

    // Stores the page's values (and confirms them with the server where the page needs
    // to); true when the page may close, false when it must stay selected.
    virtual bool OnApply() = 0;
    // The page's tab became the selected one.
    virtual void OnSetActive() {}

signals:
    void modifiedChanged(bool modified);

private:
    bool m_bModified = false;
};

// What the sheet hands the pages it makes.
struct OptionsPageContext {
    IPrompt* prompt = nullptr;                     // the sheet's message boxes
    IMessageDialogPrompt* messageDialog = nullptr; // boxes with "Don't show this message again"
};

// Makes a page for the sheet; the sheet takes ownership. An empty maker means the sheet
// has no such page.
using OptionsPageFactory = std::function<std::unique_ptr<COptionsPage>(const OptionsPageContext&)>;

// The pages of the sheet that other windows' libraries build, set by the application
// when it makes the sheet's provider (AppSeams.cpp).
struct OptionsSheetPages {
    OptionsPageFactory statisticsPage; // the statistics tab; none while empty
};
