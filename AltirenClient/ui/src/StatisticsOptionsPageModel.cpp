#include "AltirenUi/StatisticsOptionsPageModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/IpRangeDlgModel.h"

#include <algorithm>

namespace {
constexpr const char* kClass = "CStatisticsOptionsPage";
constexpr UINT kBoxFlags = MB_OK | MB_ICONEXCLAMATION;
} // namespace

CStatisticsOptionsPageModel::CStatisticsOptionsPageModel(Services services)
    : m_services(std::move(services)) {}

void CStatisticsOptionsPageModel::Open(const CIpRuleSet& filter) {
    CLIENT_TRACE_ENTERED(kClass);
    m_pairsText = std::to_string(CClientSettings().GetMaxPairs());
    m_working = filter;
    m_selectedInclude = m_working.m_include.empty() ? -1 : 0;
    m_selectedExclude = m_working.m_exclude.empty() ? -1 : 0;
    m_bModified = false;
    m_bChanged = false;
}

std::array<std::string, 4> CStatisticsOptionsPageModel::RowTexts(const CIpRangeRule& rule) {
    return {IpToDotted(rule.m_first), IpToDotted(rule.m_last),
            rule.m_protocol == 0 ? std::string("*") : std::to_string(rule.m_protocol),
            std::to_string(rule.m_port)};
}

std::vector<CIpRangeRule>& CStatisticsOptionsPageModel::RulesOf(IpRuleList list) {
    return list == IpRuleList::Include ? m_working.m_include : m_working.m_exclude;
}

const std::vector<CIpRangeRule>& CStatisticsOptionsPageModel::Rules(IpRuleList list) const {
    return list == IpRuleList::Include ? m_working.m_include : m_working.m_exclude;
}

int& CStatisticsOptionsPageModel::SelectionOf(IpRuleList list) {
    return list == IpRuleList::Include ? m_selectedInclude : m_selectedExclude;
}

int CStatisticsOptionsPageModel::Selected(IpRuleList list) const {
    return list == IpRuleList::Include ? m_selectedInclude : m_selectedExclude;
}

void CStatisticsOptionsPageModel::Select(IpRuleList list, int row) {
    const int count = static_cast<int>(Rules(list).size());
    SelectionOf(list) = row >= 0 && row < count ? row : -1;
}

int CStatisticsOptionsPageModel::SelectedOrTell(IpRuleList list) {
    const int row = Selected(list);
    if (row < 0 && m_services.prompt)
        ShowClientMessage(*m_services.prompt, IDS_CHOOSE_IP_RANGE, IDS_SELECT_ITEM_CAPTION,
                          kBoxFlags);
    return row;
}

std::optional<CIpRangeRule>
CStatisticsOptionsPageModel::AskPassingRange(IpRuleList list, bool edit,
                                             const CIpRangeRule& start) {
    for (;;) {
        std::optional<CIpRangeRule> range =
            m_services.askRange ? m_services.askRange(edit, start) : std::nullopt;
        if (!range)
            return std::nullopt;
        if (PassesOverlapTest(m_working, list, *range))
            return range;
        if (m_services.prompt)
            ShowClientMessage(*m_services.prompt,
                              list == IpRuleList::Exclude ? IDS_OVERLAPS_INCLUDE
                                                          : IDS_OVERLAPS_EXCLUDE,
                              IDS_RANGE_ERROR_CAPTION, kBoxFlags);
    }
}

bool CStatisticsOptionsPageModel::Add(IpRuleList list) {
    CLIENT_TRACE_ENTERED(kClass);
    std::optional<CIpRangeRule> range = AskPassingRange(list, false, CIpRangeRule());
    if (!range)
        return false;
    RulesOf(list).push_back(*range);
    SelectionOf(list) = static_cast<int>(RulesOf(list).size()) - 1;
    m_bModified = m_bChanged = true;
    return true;
}

bool CStatisticsOptionsPageModel::Edit(IpRuleList list) {
    CLIENT_TRACE_ENTERED(kClass);
    const int row = SelectedOrTell(list);
    if (row < 0)
        return false;
    std::optional<CIpRangeRule> range =
        AskPassingRange(list, true, RulesOf(list)[static_cast<size_t>(row)]);
    if (!range)
        return false;
    RulesOf(list)[static_cast<size_t>(row)] = *range;
    m_bModified = m_bChanged = true;
    return true;
}

bool CStatisticsOptionsPageModel::Duplicate(IpRuleList list) {
    CLIENT_TRACE_ENTERED(kClass);
    const int row = SelectedOrTell(list);
    if (row < 0)
        return false;
    std::vector<CIpRangeRule>& rules = RulesOf(list);
    const CIpRangeRule copy = rules[static_cast<size_t>(row)];
    rules.push_back(copy);
    SelectionOf(list) = static_cast<int>(rules.size()) - 1;
    m_bModified = m_bChanged = true;
    return true;
}

bool CStatisticsOptionsPageModel::Remove(IpRuleList list) {
    CLIENT_TRACE_ENTERED(kClass);
    const int row = SelectedOrTell(list);
    if (row < 0)
        return false;
    std::vector<CIpRangeRule>& rules = RulesOf(list);
    rules.erase(rules.begin() + row);
    const int count = static_cast<int>(rules.size());
    SelectionOf(list) = count == 0 ? -1 : std::min(row, count - 1);
    m_bModified = m_bChanged = true;
    return true;
}

void CStatisticsOptionsPageModel::SetPairsText(const std::string& text) {
    if (text != m_pairsText)
        m_bModified = true;
    m_pairsText = text;
}

bool CStatisticsOptionsPageModel::Apply(CIpRuleSet& target) {
    CLIENT_TRACE_ENTERED(kClass);
    const std::optional<uint32_t> pairs = ReadUnsignedField(m_pairsText, kMinPairs, kMaxPairs);
    if (!pairs) {
        if (m_services.prompt)
            TellIntegerRange(*m_services.prompt, kMinPairs, kMaxPairs);
        return false;
    }
    CClientSettings().bSetMaxPairs(*pairs);
    target = m_working;
    if (!m_bChanged)
        return true;
    for (IpRuleList list : {IpRuleList::Exclude, IpRuleList::Include}) {
        if (!HasDuplicateRules(Rules(list)))
            continue;
        if (m_services.prompt)
            ShowClientMessage(*m_services.prompt,
                              list == IpRuleList::Exclude ? IDS_DUPLICATE_EXCLUDE
                                                          : IDS_DUPLICATE_INCLUDE,
                              IDS_RANGE_ERROR_CAPTION, kBoxFlags);
        return false;
    }
    WarnAboutOwnAddress();
    m_bChanged = false;
    return true;
}

void CStatisticsOptionsPageModel::WarnAboutOwnAddress() {
    const std::string address =
        m_services.activeAdapterAddress ? m_services.activeAdapterAddress() : std::string();
    if (address.empty())
        return;
    const CIpPoint own(DottedToIp(address.c_str()), 0, 0);
    const bool counts =
        (!m_working.m_include.empty() && m_working.IsIncluded(own)) || m_working.IsExcluded(own);
    CClientSettings settings;
    if (!counts || !settings.IsLocalHostInRangeMsg() || !m_services.messageDialog)
        return;
    bool dontShowAgain = false;
    m_services.messageDialog->ShowMessageDialog(LoadClientString(IDS_LOCAL_HOST_IN_RANGE),
                                                LoadClientString(IDS_LOCAL_HOST_CAPTION),
                                                MB_ICONEXCLAMATION, dontShowAgain);
    if (dontShowAgain)
        settings.bSetLocalHostInRangeMsg(false);
}
