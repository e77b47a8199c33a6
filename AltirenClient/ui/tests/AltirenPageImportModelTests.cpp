// The Professional page's model: the file name as the edit shows it, the summary it
// writes and the web addresses in it.
#include "AltirenUi/AltirenPageImportModel.h"

#include "PagesFixture.h"

#include <gtest/gtest.h>

namespace {

TEST(ImportModel, TheEllipsisRuleKeepsWhatFitsAndNeverCutsBelowNothing) {
    using M = CAltirenPageImportModel;
    EXPECT_EQ(M::Ellipsize("short.tvl", 9), "short.tvl");
    EXPECT_EQ(M::Ellipsize("short.tvl", 40), "short.tvl");
    EXPECT_EQ(M::Ellipsize("a-rather-long-name.tvl", 10), "a-rathe...");
    for (int fitting : {3, 2, 1, 0, -4})
        EXPECT_EQ(M::Ellipsize("a-rather-long-name.tvl", fitting), "...") << fitting;
    EXPECT_EQ(M::Ellipsize("", 0), "");
}

TEST(ImportModel, FileNamesAreUnescapedAsTheHttpServicesDoIt) {
    EXPECT_EQ(CAltirenPageImportModel::UnescapeFileName("Net%20One.tvl"), "Net One.tvl");
    EXPECT_EQ(CAltirenPageImportModel::UnescapeFileName("plain.wst"), "plain.wst");
    EXPECT_EQ(CAltirenPageImportModel::UnescapeFileName(""), "");
}

TEST(ImportModel, WebAddressesInALineBecomeLinks) {
    const auto pieces =
        CAltirenPageImportModel::SplitLinks("see http://a.example/x?y=1 and www.b.example now");
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[0].text, "see ");
    EXPECT_FALSE(pieces[0].link);
    EXPECT_EQ(pieces[1].text, "http://a.example/x?y=1");
    EXPECT_TRUE(pieces[1].link);
    EXPECT_EQ(pieces[3].text, "www.b.example");
    EXPECT_TRUE(pieces[3].link);
    EXPECT_EQ(pieces[4].text, " now");

    const auto plain = CAltirenPageImportModel::SplitLinks("\nLatency: Fixed 60 ms.");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_FALSE(plain[0].link);
    EXPECT_EQ(CAltirenPageImportModel::SplitLinks("").size(), 1u);
}

TEST(ImportModel, TheSummaryFollowsTheSourceOfTheAcceptedScenario) {
    ASSERT_TRUE(XMLInitModule());
    CAltirenPageImportModel model;
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_EQ(CScenarioSummary::PlainText(model.Summary(FENDREL_DTD_DIR)),
              CScenarioSummary::PlainText(CScenarioSummary::Empty()));

    ImportedScenario document;
    document.sourceKind = 1;
    document.document = pagestest::ScenarioDocument("", 60);
    document.recording.m_latency.fixedLatency = 99;
    document.fileName = "Net%20One.tvl";
    model.Accept(document);
    EXPECT_TRUE(model.IsLoaded());
    EXPECT_EQ(model.FileName(), "Net One.tvl");
    const std::string text = CScenarioSummary::PlainText(model.Summary(FENDREL_DTD_DIR));
    EXPECT_NE(text.find("Latency: Fixed 60 ms."), std::string::npos) << text;

    ImportedScenario recording = document;
    recording.sourceKind = 0;
    model.Accept(recording);
    EXPECT_EQ(CScenarioSummary::PlainText(model.Summary(FENDREL_DTD_DIR)),
              CScenarioSummary::PlainText(CScenarioSummary::FromRecording(recording.recording)));

    model.Reset();
    EXPECT_FALSE(model.IsLoaded());
    EXPECT_EQ(model.FileName(), "");
    EXPECT_EQ(model.Scenario().document, "");
    EXPECT_EQ(model.Scenario().recording.m_latency.fixedLatency,
              CWSTScenario().m_latency.fixedLatency);
}

} // namespace
