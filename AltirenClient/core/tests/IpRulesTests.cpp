#include "AltirenClient/IpRules.h"

#include <gtest/gtest.h>

namespace {

const uint32_t k10_0_0_1 = 0x0A000001;

CIpRangeRule Rule(const char* first, const char* last, uint32_t port = 0, uint32_t proto = 0) {
    return CIpRangeRule(DottedToIp(first), DottedToIp(last), port, proto);
}

CIpPoint Point(const char* address, uint32_t port = 0, uint32_t proto = 0) {
    return CIpPoint(DottedToIp(address), port, proto);
}

} // namespace

TEST(IpRules, DottedTextConversions) {
    EXPECT_EQ(DottedToIp("10.0.0.1"), k10_0_0_1);
    EXPECT_EQ(IpToDotted(k10_0_0_1), "10.0.0.1");
    EXPECT_EQ(IpToDotted(0xFFFFFFFF), "255.255.255.255");
    EXPECT_EQ(DottedToIp("192.168.1.200"), 0xC0A801C8u);
    EXPECT_EQ(DottedToIp("10.2"), 10u); // stops at the first missing dot
    EXPECT_EQ(DottedToIp("10.2.3"), 0x0A02u);
    EXPECT_EQ(DottedToIp(""), 0u);
    // A part out of byte range stays in its own byte.
    EXPECT_EQ(DottedToIp("1.2.3.256"), 0x01020300u);
    EXPECT_EQ(DottedToIp("1.-1.3.4"), 0x01FF0304u);
}

TEST(IpRules, ContainsTreatsZeroPortAndProtocolAsAny) {
    CIpRangeRule any = Rule("10.0.0.1", "10.0.0.20");
    EXPECT_TRUE(any.Contains(Point("10.0.0.1", 80, 6)));
    EXPECT_TRUE(any.Contains(Point("10.0.0.20", 53, 17))); // the last address counts
    EXPECT_FALSE(any.Contains(Point("10.0.0.21")));
    EXPECT_FALSE(any.Contains(Point("10.0.0.0")));

    CIpRangeRule web = Rule("10.0.0.1", "10.0.0.20", 80, 6);
    EXPECT_TRUE(web.Contains(Point("10.0.0.5", 80, 6)));
    EXPECT_TRUE(web.Contains(Point("10.0.0.5", 0, 0))); // a point of any port matches
    EXPECT_FALSE(web.Contains(Point("10.0.0.5", 443, 6)));
    EXPECT_FALSE(web.Contains(Point("10.0.0.5", 80, 17)));

    EXPECT_TRUE(any.Covers(web));
    EXPECT_TRUE(web.Covers(Rule("10.0.0.2", "10.0.0.3", 80, 6)));
    EXPECT_FALSE(web.Covers(Rule("10.0.0.2", "10.0.0.30", 80, 6)));
    EXPECT_FALSE(web.Covers(Rule("10.0.0.2", "10.0.0.3", 81, 6)));
}

TEST(IpRules, RuleSetIncludeAndExcludeLists) {
    CIpRuleSet set;
    EXPECT_TRUE(set.IsIncluded(Point("1.2.3.4")));  // empty include list: everything
    EXPECT_FALSE(set.IsExcluded(Point("1.2.3.4"))); // empty exclude list: nothing
    EXPECT_TRUE(set.Passes(Point("1.2.3.4")));

    set.m_include.push_back(Rule("10.0.0.0", "10.0.0.255"));
    set.m_exclude.push_back(Rule("10.0.0.10", "10.0.0.10", 22, 6));
    EXPECT_TRUE(set.Passes(Point("10.0.0.10", 80, 6)));
    EXPECT_FALSE(set.Passes(Point("10.0.0.10", 22, 6)));
    EXPECT_FALSE(set.Passes(Point("10.0.1.1", 80, 6)));

    CIpRuleSet copy = set;
    EXPECT_EQ(copy.m_include, set.m_include);
    EXPECT_EQ(copy.m_exclude, set.m_exclude);
}

TEST(IpRules, OverlapAndDuplicateChecks) {
    CIpRuleSet set;
    set.m_include.push_back(Rule("10.0.0.0", "10.0.0.255"));
    // Excluding a part of an included range is allowed; reaching out of it is not.
    EXPECT_TRUE(PassesOverlapTest(set, IpRuleList::Exclude, Rule("10.0.0.5", "10.0.0.9")));
    EXPECT_FALSE(PassesOverlapTest(set, IpRuleList::Exclude, Rule("10.0.0.250", "10.0.1.5")));
    EXPECT_TRUE(PassesOverlapTest(set, IpRuleList::Exclude, Rule("10.0.1.0", "10.0.1.5")));

    CIpRuleSet other;
    other.m_exclude.push_back(Rule("10.0.0.10", "10.0.0.20"));
    // Including a range around an excluded one is allowed; an end inside it is not.
    EXPECT_TRUE(PassesOverlapTest(other, IpRuleList::Include, Rule("10.0.0.0", "10.0.0.255")));
    EXPECT_FALSE(PassesOverlapTest(other, IpRuleList::Include, Rule("10.0.0.15", "10.0.0.40")));
    EXPECT_TRUE(PassesOverlapTest(other, IpRuleList::Include, Rule("10.0.0.30", "10.0.0.40")));

    std::vector<CIpRangeRule> rules{Rule("1.1.1.1", "1.1.1.9", 80, 6), Rule("1.1.1.1", "1.1.1.9")};
    EXPECT_FALSE(HasDuplicateRules(rules));
    rules.push_back(rules[0]);
    EXPECT_TRUE(HasDuplicateRules(rules));
}
