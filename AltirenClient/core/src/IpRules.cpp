#include "AltirenClient/IpRules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool FieldMatches(uint32_t rule, uint32_t point) {
    return rule == 0 || point == 0 || rule == point;
}

bool AnyContains(const std::vector<CIpRangeRule>& rules, const CIpPoint& point) {
    for (const CIpRangeRule& r : rules)
        if (r.Contains(point))
            return true;
    return false;
}

} // namespace

bool CIpRangeRule::Contains(const CIpPoint& point) const {
    return point.m_address >= m_first && point.m_address <= m_last &&
           FieldMatches(m_port, point.m_port) && FieldMatches(m_protocol, point.m_protocol);
}

bool CIpRangeRule::Covers(const CIpRangeRule& other) const {
    return Contains(other.FirstPoint()) && Contains(other.LastPoint());
}

bool CIpRuleSet::IsIncluded(const CIpPoint& point) const {
    return m_include.empty() || AnyContains(m_include, point);
}

bool CIpRuleSet::IsExcluded(const CIpPoint& point) const {
    return !m_exclude.empty() && AnyContains(m_exclude, point);
}

bool CIpRuleSet::Passes(const CIpPoint& point) const {
    return !IsExcluded(point) && IsIncluded(point);
}

bool PassesOverlapTest(const CIpRuleSet& set, IpRuleList target, const CIpRangeRule& range) {
    const std::vector<CIpRangeRule>& other =
        target == IpRuleList::Exclude ? set.m_include : set.m_exclude;
    for (const CIpRangeRule& rule : other) {
        bool nested = target == IpRuleList::Exclude ? rule.Covers(range) : range.Covers(rule);
        if (nested)
            continue;
        if (rule.Contains(range.FirstPoint()) || rule.Contains(range.LastPoint()))
            return false;
    }
    return true;
}

bool HasDuplicateRules(const std::vector<CIpRangeRule>& rules) {
    for (size_t i = 0; i < rules.size(); ++i)
        for (size_t j = i + 1; j < rules.size(); ++j)
            if (rules[i] == rules[j])
                return true;
    return false;
}

uint32_t DottedToIp(const char* text) {
    uint32_t address = 0;
    if (!text)
        return 0;
    const char* part = text;
    for (int i = 0; i < 3; ++i) {
        const char* dot = std::strchr(part, '.');
        if (!dot)
            return address;
        address = (address << 8) | (static_cast<uint32_t>(std::atoi(part)) & 0xFF);
        part = dot + 1;
    }
    return (address << 8) | (static_cast<uint32_t>(std::atoi(part)) & 0xFF);
}

std::string IpToDotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", int((address >> 24) & 0xFF),
                  int((address >> 16) & 0xFF), int((address >> 8) & 0xFF), int(address & 0xFF));
    return text;
}
