// The scenario download dialog of the Professional page: the management server's list
// of scenario files, shown as plain HTML. A click on a link asks the model: a page of the
// server is fetched and shown, a scenario file is downloaded and checked, and an accepted
// one ends the dialog with OK. Every fetch runs off the GUI thread: the dialog shows at
// once and says that it waits, Cancel ends it at once, and images that come late take
// their place when they come. The dialog shows and forwards; its model decides.
#pragma once

#include "AltirenClient/ServerRequest.h"
#include "AltirenUi/AltirenPageBrowserModel.h"

#include <QDialog>
#include <QUrl>

#include <vector>

class CBrowseView;
class QLabel;
class QProgressBar;
class QPushButton;

class CAltirenPageBrowser : public QDialog {
    Q_OBJECT

public:
    // current: the page's scenario, left alone; the dialog works on a copy of it.
    CAltirenPageBrowser(QWidget* parent, IPrompt& prompt, const ImportedScenario& current);
    ~CAltirenPageBrowser() override;

    // Asks for the browse page and runs the dialog modally: IDOK when a scenario was
    // fetched and accepted (Result() holds it), else IDCANCEL. When the page's address
    // cannot be built the user is told why and no dialog is shown.
    int Run();
    // Asks for the browse page without running the dialog; false (and the user told)
    // when its address cannot be built.
    bool Start();
    // What a click on a link of the view does (relative addresses resolve against the
    // page shown).
    void Navigate(const QUrl& address);

    // A page or a scenario file is being fetched.
    bool IsWaiting() const;

    const ImportedScenario& Result() const { return m_model.Result(); }
    CBrowseView* View() const { return m_view; }

private:
    void RequestResource(const QUrl& address);
    void OnPage(const QUrl& address, CAltirenPageBrowserModel::Fetched fetched);
    void OnScenario(const CAltirenPageBrowserModel::FetchJob& job,
                    CAltirenPageBrowserModel::Fetched fetched);
    void ShowWaiting(bool waiting);
    void End(int result);
    void CancelRequests();

    IPrompt& m_prompt;
    CAltirenPageBrowserModel m_model;
    CBrowseView* m_view = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_busy = nullptr;
    QPushButton* m_cancel = nullptr;
    // The page or scenario file being fetched, and the resources of the page shown.
    ServerRequest::Handle m_pending;
    std::vector<ServerRequest::Handle> m_resources;
    // Set once the navigation ended the dialog, before or while it runs.
    int m_nEnded = 0;
};
