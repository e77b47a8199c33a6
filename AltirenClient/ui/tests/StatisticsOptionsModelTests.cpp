// The statistics options page and its range dialog without widgets: protocol texts and
// numbers, the OK checks that make the rule, the overlap test against the other list, the
// duplicate check of Apply and the warning about the workstation's own address.
#include "AltirenUi/IpRangeDlgModel.h"
#include "AltirenUi/StatisticsOptionsPageModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/StringTable.h"
#include "AltirenClientTest/ScriptedPrompt.h"
#include "AltirenUiTest/GuiTest.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

uint32_t Ip(const char* text) {
    return DottedToIp(text);
}

CIpRangeRule Range(const char* first, const char* last, uint32_t port = 0, uint32_t protocol = 0) {
    return CIpRangeRule(Ip(first), Ip(last), port, protocol);
}

TEST(IpRangeDlgModel, ProtocolTextsMatchWholeEntriesElseReadADecimalNumber) {
    using M = CIpRangeDlgModel;
    ASSERT_EQ(M::Protocols().size(), 7u);
    EXPECT_STREQ(M::Protocols()[2].text, "6 - TCP\\IP");
    EXPECT_STREQ(M::Protocols()[6].text, "115 - L2TP ");
    EXPECT_EQ(M::ProtocolFromText("*"), 0u);
    EXPECT_EQ(M::ProtocolFromText("6 - TCP\\IP"), 6u);
    EXPECT_EQ(M::ProtocolFromText("115 - L2TP"), 115u); // blanks trimmed
    EXPECT_EQ(M::ProtocolFromText("11"), 11u);          // a prefix of "115 - L2TP "
    EXPECT_EQ(M::ProtocolFromText("1"), 1u);
    EXPECT_EQ(M::ProtocolFromText("47"), 47u);
    EXPECT_EQ(M::ProtocolFromText(" 17 "), 17u);
    EXPECT_EQ(M::ProtocolFromText("255"), 255u);
    EXPECT_EQ(M::ProtocolFromText("300"), std::nullopt);
    EXPECT_EQ(M::ProtocolFromText("TCP"), std::nullopt);
    EXPECT_EQ(M::ProtocolFromText(""), std::nullopt);

    EXPECT_EQ(M::TextForProtocol(0), "*");
    EXPECT_EQ(M::TextForProtocol(6), "6 - TCP\\IP");
    EXPECT_EQ(M::TextForProtocol(1), "1 - ICMP ");
    EXPECT_EQ(M::TextForProtocol(11), "11"); // not "115 - L2TP "
    EXPECT_EQ(M::TextForProtocol(47), "47");
}

TEST(IpRangeDlgModel, ThePortFollowsTheProtocolAndOnlyTcpAndUdpKeepIt) {
    CIpRangeDlgModel add(false);
    EXPECT_STREQ(add.Caption(), "Add IP Range");
    EXPECT_EQ(add.ProtocolText(), "*");
    EXPECT_FALSE(add.PortEnabled());
    add.OnProtocolChosen(2);
    EXPECT_TRUE(add.PortEnabled());
    add.SetPortText("8080");
    add.OnProtocolTyped("47");
    EXPECT_FALSE(add.PortEnabled());
    EXPECT_EQ(add.PortText(), "0");
    add.OnProtocolTyped("17");
    EXPECT_TRUE(add.PortEnabled());
    add.OnProtocolChosen(3); // "8 - EGP "
    EXPECT_FALSE(add.PortEnabled());

    CIpRangeDlgModel edit(true, Range("10.0.0.1", "10.0.0.9", 80, 6));
    EXPECT_STREQ(edit.Caption(), "Edit IP Range");
    EXPECT_EQ(edit.ProtocolText(), "6 - TCP\\IP");
    EXPECT_TRUE(edit.PortEnabled());
    EXPECT_EQ(edit.PortText(), "80");
}

TEST(IpRangeDlgModel, OkRefusesZeroAndReversedRangesAndBuildsTheRuleFieldByField) {
    CScriptedPrompt prompt;
    CIpRangeDlgModel dlg(false);
    EXPECT_FALSE(dlg.OnOK(prompt, Ip("10.0.0.9"), Ip("10.0.0.1")));
    EXPECT_FALSE(dlg.OnOK(prompt, 0, Ip("10.0.0.1")));
    EXPECT_FALSE(dlg.OnOK(prompt, Ip("10.0.0.1"), 0));
    ASSERT_EQ(prompt.Boxes().size(), 3u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_RANGE_ORDER));
    EXPECT_EQ(prompt.Boxes()[0].caption, "Invalid IP Range");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(prompt.Boxes()[1].text, "Please specify a non zero IP address.");
    EXPECT_EQ(prompt.Boxes()[2].text, "Please specify a non zero IP address.");

    // A TCP range on port 80: a swap of port and protocol would give protocol 80, port 6.
    dlg.OnProtocolChosen(2);
    dlg.SetPortText("80");
    const auto rule = dlg.OnOK(prompt, Ip("10.0.0.1"), Ip("10.0.0.1"));
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->m_first, Ip("10.0.0.1"));
    EXPECT_EQ(rule->m_last, Ip("10.0.0.1"));
    EXPECT_EQ(rule->m_protocol, 6u);
    EXPECT_EQ(rule->m_port, 80u);

    dlg.OnProtocolTyped("11");
    const auto eleven = dlg.OnOK(prompt, Ip("10.0.0.1"), Ip("10.0.0.2"));
    ASSERT_TRUE(eleven);
    EXPECT_EQ(eleven->m_protocol, 11u);
    EXPECT_EQ(eleven->m_port, 0u);
    dlg.OnProtocolTyped("*");
    EXPECT_EQ(dlg.OnOK(prompt, Ip("10.0.0.1"), Ip("10.0.0.2"))->m_protocol, 0u);

    const size_t before = prompt.Boxes().size();
    dlg.OnProtocolTyped("300");
    EXPECT_FALSE(dlg.OnOK(prompt, Ip("10.0.0.1"), Ip("10.0.0.2")));
    dlg.OnProtocolTyped("6");
    dlg.SetPortText("70000");
    EXPECT_FALSE(dlg.OnOK(prompt, Ip("10.0.0.1"), Ip("10.0.0.2")));
    ASSERT_EQ(prompt.Boxes().size(), before + 2);
    EXPECT_EQ(prompt.Boxes()[before].text, "Please enter an integer between 0 and 255.");
    EXPECT_EQ(prompt.Boxes()[before + 1].text, "Please enter an integer between 0 and 65535.");
}

// The page over a scripted range dialog: each Add or Edit takes the next answer.
class StatisticsOptionsModel : public ::testing::Test {
protected:
    StatisticsOptionsModel() {
        CStatisticsOptionsPageModel::Services services;
        services.prompt = &prompt;
        services.messageDialog = &messageDialog;
        services.askRange = [this](bool edit, const CIpRangeRule& start) {
            asked.push_back({edit, start});
            if (answers.empty())
                return std::optional<CIpRangeRule>();
            std::optional<CIpRangeRule> next = answers.front();
            answers.pop_front();
            return next;
        };
        services.activeAdapterAddress = [this] { return adapter; };
        model = std::make_unique<CStatisticsOptionsPageModel>(services);
    }

    struct Asked {
        bool edit;
        CIpRangeRule start;
    };

    class Dialog : public IMessageDialogPrompt {
    public:
        int ShowMessageDialog(const std::string& text, const std::string& caption, UINT,
                              bool& dontShowAgain) override {
            shown.push_back(caption + "|" + text);
            dontShowAgain = tick;
            return IDOK;
        }
        bool tick = false;
        std::vector<std::string> shown;
    };

    guitest::TestRegistry registry;
    CScriptedPrompt prompt;
    Dialog messageDialog;
    std::deque<std::optional<CIpRangeRule>> answers;
    std::vector<Asked> asked;
    std::string adapter = "192.168.5.5";
    std::unique_ptr<CStatisticsOptionsPageModel> model;
};

TEST_F(StatisticsOptionsModel, OpensWithMaxPairsAndTheFilterAndShowsRowTexts) {
    ASSERT_TRUE(registry.SetDword("MaxPairs", 120));
    CIpRuleSet filter;
    filter.m_include = {Range("10.0.0.0", "10.0.0.255", 80, 6)};
    filter.m_exclude = {Range("10.0.0.5", "10.0.0.6"), Range("10.0.0.7", "10.0.0.7")};
    model->Open(filter);
    EXPECT_EQ(model->PairsText(), "120");
    EXPECT_EQ(model->Selected(IpRuleList::Include), 0);
    EXPECT_EQ(model->Selected(IpRuleList::Exclude), 0);
    EXPECT_FALSE(model->IsModified());
    const auto row = CStatisticsOptionsPageModel::RowTexts(model->Rules(IpRuleList::Include)[0]);
    EXPECT_EQ(row[0], "10.0.0.0");
    EXPECT_EQ(row[1], "10.0.0.255");
    EXPECT_EQ(row[2], "6");
    EXPECT_EQ(row[3], "80");
    EXPECT_EQ(CStatisticsOptionsPageModel::RowTexts(Range("1.2.3.4", "1.2.3.5"))[2], "*");

    model->SetPairsText("120");
    EXPECT_FALSE(model->IsModified());
    model->SetPairsText("121");
    EXPECT_TRUE(model->IsModified());
}

TEST_F(StatisticsOptionsModel, ExcludeRangesInsideAnIncludeRulePassAndPartialOnesAreAskedAgain) {
    CIpRuleSet filter;
    filter.m_include = {Range("10.0.0.0", "10.0.0.255")};
    model->Open(filter);
    answers = {Range("10.0.0.5", "10.0.0.6")};
    EXPECT_TRUE(model->Add(IpRuleList::Exclude));
    EXPECT_TRUE(model->IsModified());
    EXPECT_TRUE(prompt.Boxes().empty());

    answers = {Range("10.0.0.200", "10.0.1.10"), std::nullopt};
    EXPECT_FALSE(model->Add(IpRuleList::Exclude));
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_OVERLAPS_INCLUDE));
    EXPECT_EQ(prompt.Boxes()[0].caption, "IP Range Error");
    EXPECT_EQ(asked.size(), 3u); // shown again after the refusal, then cancelled
    EXPECT_EQ(model->Rules(IpRuleList::Exclude).size(), 1u);

    // An include range with an end inside an exclude rule, then one that covers it.
    answers = {Range("10.0.0.6", "10.0.0.20"), Range("10.0.0.1", "10.0.0.20")};
    EXPECT_TRUE(model->Add(IpRuleList::Include));
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text,
              "The IP range overlaps with one or more IPs defined in the Exclude IPs list.");
    EXPECT_EQ(model->Rules(IpRuleList::Include).back(), Range("10.0.0.1", "10.0.0.20"));
    EXPECT_EQ(model->Selected(IpRuleList::Include), 1);
}

TEST_F(StatisticsOptionsModel, EditReplacesTheSelectedRowAndNeedsASelection) {
    CIpRuleSet filter;
    filter.m_exclude = {Range("10.0.0.1", "10.0.0.2"), Range("10.0.0.3", "10.0.0.4")};
    model->Open(filter);
    model->Select(IpRuleList::Exclude, 1);
    answers = {Range("10.0.0.8", "10.0.0.9", 53, 17)};
    EXPECT_TRUE(model->Edit(IpRuleList::Exclude));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].edit);
    EXPECT_EQ(asked[0].start, Range("10.0.0.3", "10.0.0.4"));
    ASSERT_EQ(model->Rules(IpRuleList::Exclude).size(), 2u);
    EXPECT_EQ(model->Rules(IpRuleList::Exclude)[0], Range("10.0.0.1", "10.0.0.2"));
    EXPECT_EQ(model->Rules(IpRuleList::Exclude)[1], Range("10.0.0.8", "10.0.0.9", 53, 17));

    for (auto action : {&CStatisticsOptionsPageModel::Edit, &CStatisticsOptionsPageModel::Duplicate,
                        &CStatisticsOptionsPageModel::Remove})
        EXPECT_FALSE(((*model).*action)(IpRuleList::Include)); // the include list is empty
    ASSERT_EQ(prompt.Boxes().size(), 3u);
    for (const auto& box : prompt.Boxes()) {
        EXPECT_EQ(box.text, "Please choose an IP address range and then click the button.");
        EXPECT_EQ(box.caption, "Select Item");
        EXPECT_EQ(box.flags, MB_OK | MB_ICONEXCLAMATION);
    }

    EXPECT_TRUE(model->Remove(IpRuleList::Exclude));
    EXPECT_EQ(model->Selected(IpRuleList::Exclude), 0); // the new last row
    EXPECT_TRUE(model->Remove(IpRuleList::Exclude));
    EXPECT_EQ(model->Selected(IpRuleList::Exclude), -1);
}

TEST_F(StatisticsOptionsModel, ApplyChecksThePairLimitAndReportsDuplicatesExcludeListFirst) {
    CIpRuleSet filter;
    filter.m_include = {Range("10.1.0.0", "10.1.0.9")};
    filter.m_exclude = {Range("10.2.0.0", "10.2.0.9")};
    model->Open(filter);
    CIpRuleSet target;
    for (const char* bad : {"0", "401", "", "abc"}) {
        model->SetPairsText(bad);
        EXPECT_FALSE(model->Apply(target)) << bad;
    }
    ASSERT_EQ(prompt.Boxes().size(), 4u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Please enter an integer between 1 and 400.");
    model->SetPairsText("400");
    EXPECT_TRUE(model->Apply(target));
    EXPECT_EQ(CClientSettings().GetMaxPairs(), 400u);
    EXPECT_EQ(target.m_include, filter.m_include);

    EXPECT_TRUE(model->Duplicate(IpRuleList::Include));
    EXPECT_TRUE(model->Duplicate(IpRuleList::Exclude));
    EXPECT_FALSE(model->Apply(target));
    EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_DUPLICATE_EXCLUDE));
    EXPECT_EQ(prompt.Boxes().back().caption, "IP Range Error");
    EXPECT_TRUE(model->Remove(IpRuleList::Exclude));
    EXPECT_FALSE(model->Apply(target));
    EXPECT_EQ(prompt.Boxes().back().text,
              "There are duplicate ranges in the Include IPs list. Please remove the redundant "
              "ranges.");
    EXPECT_TRUE(model->Remove(IpRuleList::Include));
    EXPECT_TRUE(model->Apply(target));
    EXPECT_EQ(target.m_include.size(), 1u);
}

TEST_F(StatisticsOptionsModel, OwnAddressInARangeWarnsUntilDontShowAgainIsTicked) {
    adapter = "10.0.0.7";
    model->Open(CIpRuleSet());
    answers = {Range("10.0.0.1", "10.0.0.9")};
    ASSERT_TRUE(model->Add(IpRuleList::Include));
    CIpRuleSet target;
    messageDialog.tick = true;
    EXPECT_TRUE(model->Apply(target));
    ASSERT_EQ(messageDialog.shown.size(), 1u);
    EXPECT_EQ(messageDialog.shown[0],
              "Local Host in Range|" + LoadClientString(IDS_LOCAL_HOST_IN_RANGE));
    EXPECT_FALSE(CClientSettings().IsLocalHostInRangeMsg());

    // With LocalHostInRangeMsg 0 a new range around the address warns no more.
    model->Open(target);
    answers = {Range("10.0.0.7", "10.0.0.8")};
    ASSERT_TRUE(model->Add(IpRuleList::Include));
    EXPECT_TRUE(model->Apply(target));
    EXPECT_EQ(messageDialog.shown.size(), 1u);

    ASSERT_TRUE(registry.SetDword("LocalHostInRangeMsg", 1));
    messageDialog.tick = false;
    model->Open(CIpRuleSet());
    answers = {Range("10.9.0.0", "10.9.0.1")};
    ASSERT_TRUE(model->Add(IpRuleList::Include)); // the address is outside it
    EXPECT_TRUE(model->Apply(target));
    EXPECT_EQ(messageDialog.shown.size(), 1u);
    answers = {Range("10.0.0.7", "10.0.0.7")};
    ASSERT_TRUE(model->Add(IpRuleList::Exclude));
    EXPECT_TRUE(model->Apply(target));
    EXPECT_EQ(messageDialog.shown.size(), 2u);
    EXPECT_TRUE(CClientSettings().IsLocalHostInRangeMsg());
}

} // namespace
