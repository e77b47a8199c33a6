// The Professional page of the emulation manager window: the name of the imported
// scenario file, a summary of what it will play, and the button that opens the scenario
// download dialog. The page shows and forwards; its model holds the scenario.
#pragma once

#include "AltirenUi/AltirenPageImportModel.h"
#include "AltirenUi/ManagerPage.h"

#include <QPointer>
#include <QWidget>

class CAltirenPageBrowser;
class QLineEdit;
class QPushButton;
class QTextBrowser;
class QUrl;

class CAltirenPageImport : public QWidget, public IImportPage {
    Q_OBJECT

public:
    CAltirenPageImport(QWidget* parent, CPlayButtonSink* sink, IPrompt& prompt);
    ~CAltirenPageImport() override;

    // The maker the application hands to the manager window.
    static ImportPageFactory Factory();

    QWidget* GetWidget() override { return this; }
    // Disables or enables the import button.
    void Lock(bool lock) override;
    // No scenario: empty name and summary; the Play button off while the page is shown.
    void Reset() override;
    // The scenario is taken when the dialog ends: nothing to read.
    bool UpdateData() override { return true; }

    int GetSourceKind() const override { return m_model.Scenario().sourceKind; }
    const CWSTScenario& GetRecording() const override { return m_model.Scenario().recording; }
    const std::string& GetDocument() const override { return m_model.Scenario().document; }
    bool HasScenarioToPlay() const override { return m_model.IsLoaded(); }
    // Off-line: message 61257. Else the download dialog; a scenario it accepts is shown.
    void OnButtonImport() override;

    const CAltirenPageImportModel& Model() const { return m_model; }

protected:
    // Shown, in the window on the screen or in one still hidden: the Play button is on
    // while a scenario is imported.
    bool event(QEvent* event) override;
    // The page is not closed by itself.
    void closeEvent(QCloseEvent* event) override;

private:
    // The name as the edit's width lets it show.
    QString GetImportedFileName(const QString& name) const;
    void WriteSummary();
    void OnSummaryLink(const QUrl& address);

    CAltirenPageImportModel m_model;
    CPlayButtonSink* m_sink;
    IPrompt& m_prompt;
    QPointer<CAltirenPageBrowser> m_browser;
    QLineEdit* m_fileName = nullptr;
    QTextBrowser* m_summary = nullptr;
    QPushButton* m_import = nullptr;
};
