// What the Professional page holds and decides: the imported scenario (a recording or a
// document) and whether there is one, the file name as the edit shows it, the summary
// of what will play and the links in it.
#pragma once

#include "AltirenClient/ScenarioSummary.h"
#include "AltirenUi/AltirenPageBrowserModel.h"

#include <QString>

#include <string>
#include <vector>

class CAltirenPageImportModel {
public:
    // A piece of a summary line: text, or a link to open.
    struct LinePiece {
        QString text;
        bool link = false;
    };

    CAltirenPageImportModel() { Reset(); }

    // No scenario: empty name and document, a defaulted recording.
    void Reset();
    // Takes the scenario of a download dialog that ended with OK.
    void Accept(const ImportedScenario& scenario);

    bool IsLoaded() const { return m_bLoaded; }
    const ImportedScenario& Scenario() const { return m_scenario; }
    // The file name URL-unescaped; empty when nothing is imported.
    const std::string& FileName() const { return m_fileName; }

    // The summary of the scenario (the empty one when nothing is imported); dtdFolder is
    // the folder of the document DTD.
    std::vector<SummarySection> Summary(const std::string& dtdFolder) const;

    // The name as an edit that holds `fitting` of its characters shows it: whole when
    // it fits, else its first fitting - 3 characters and "...".
    static QString Ellipsize(const QString& name, int fitting);
    // %XX escapes undone by the HTTP services.
    static std::string UnescapeFileName(const std::string& name);
    // A line cut into text and the web addresses in it (http://, https:// or www.).
    static std::vector<LinePiece> SplitLinks(const QString& line);

private:
    ImportedScenario m_scenario;
    std::string m_fileName;
    bool m_bLoaded = false;
};
