// The scenario download dialog of the Professional page: the management server's list
// of scenario files, shown as plain HTML. A click on a link asks the model: a page of the
// server is fetched and shown, a scenario file is downloaded and checked, and an accepted
// one ends the dialog with OK. The dialog shows and forwards; its model decides.
#pragma once

#include "AltirenUi/AltirenPageBrowserModel.h"

#include <QDialog>
#include <QUrl>

class CBrowseView;
class QPushButton;

class CAltirenPageBrowser : public QDialog {
    Q_OBJECT

public:
    // current: the page's scenario, left alone; the dialog works on a copy of it.
    CAltirenPageBrowser(QWidget* parent, IPrompt& prompt, const ImportedScenario& current);

    // Opens the browse page and runs the dialog modally: IDOK when a scenario was
    // fetched and accepted (Result() holds it), else IDCANCEL.
    int Run();
    // Opens the browse page without running the dialog; false when its address cannot
    // be built.
    bool Start();
    // What a click on a link of the view does (relative addresses resolve against the
    // page shown).
    void Navigate(const QUrl& address);

    const ImportedScenario& Result() const { return m_model.Result(); }
    CBrowseView* View() const { return m_view; }

private:
    QByteArray LoadResource(const QUrl& address);

    CAltirenPageBrowserModel m_model;
    CBrowseView* m_view = nullptr;
    QPushButton* m_cancel = nullptr;
    // Set once the navigation ended the dialog, before or while it runs.
    int m_nEnded = 0;
};
