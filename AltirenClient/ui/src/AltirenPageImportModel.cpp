#include "AltirenUi/AltirenPageImportModel.h"

#include <OrvaneUtils/HttpServices.h>

#include <QRegularExpression>

#include <algorithm>

void CAltirenPageImportModel::Reset() {
    m_scenario.document.clear();
    m_scenario.fileName.clear();
    m_scenario.recording.Clear();
    m_scenario.recording.Default();
    m_fileName.clear();
    m_bLoaded = false;
}

void CAltirenPageImportModel::Accept(const ImportedScenario& scenario) {
    m_scenario = scenario;
    m_fileName = UnescapeFileName(scenario.fileName);
    m_bLoaded = true;
}

std::vector<SummarySection> CAltirenPageImportModel::Summary(const std::string& dtdFolder) const {
    if (!m_bLoaded)
        return CScenarioSummary::Empty();
    if (m_scenario.sourceKind == 1)
        return CScenarioSummary::FromDocument(m_scenario.document, dtdFolder);
    return CScenarioSummary::FromRecording(m_scenario.recording);
}

QString CAltirenPageImportModel::Ellipsize(const QString& name, int fitting) {
    if (fitting >= name.size())
        return name;
    return name.left(std::max(0, fitting - 3)) + QStringLiteral("...");
}

std::string CAltirenPageImportModel::UnescapeFileName(const std::string& name) {
    CHttpServices http("ORVANE_UTILS");
    unsigned long length = 0;
    char* plain = http.URL_UnEscape(name.c_str(), static_cast<unsigned long>(name.size()), &length);
    if (!plain)
        return name;
    std::string text(plain, length);
    CHttpServices::FreeBuffer(plain);
    return text;
}

std::vector<CAltirenPageImportModel::LinePiece>
CAltirenPageImportModel::SplitLinks(const QString& line) {
    static const QRegularExpression address(QStringLiteral("(?:https?://|www\\.)[^\\s<>\"]+"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::vector<LinePiece> pieces;
    qsizetype at = 0;
    for (auto it = address.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedStart() > at)
            pieces.push_back({line.mid(at, match.capturedStart() - at), false});
        pieces.push_back({match.captured(), true});
        at = match.capturedEnd();
    }
    if (at < line.size() || pieces.empty())
        pieces.push_back({line.mid(at), false});
    return pieces;
}
