// What the "Statistics" options page decides without a widget: the pair limit of the Top
// Talkers list (1 to 400, setting MaxPairs), a working copy of the statistics address
// filter with its include and exclude rows, Add/Edit/Duplicate/Remove with the overlap
// test against the other list, and Apply with its duplicate check (exclude list first)
// and the warning about the workstation's own address.
#pragma once

#include "AltirenClient/IpRules.h"
#include "AltirenClient/MessageDialogPrompt.h"
#include "AltirenClient/Prompt.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

class CStatisticsOptionsPageModel {
public:
    static constexpr unsigned kMinPairs = 1;
    static constexpr unsigned kMaxPairs = 400;

    // Runs the range dialog (edit: pre-filled with start); nullopt when cancelled.
    using RangeAsker =
        std::function<std::optional<CIpRangeRule>(bool edit, const CIpRangeRule& start)>;

    struct Services {
        IPrompt* prompt = nullptr;
        IMessageDialogPrompt* messageDialog = nullptr; // null: the warning is not shown
        RangeAsker askRange;
        // The address of the adapter the client emulates on (dotted).
        std::function<std::string()> activeAdapterAddress;
    };

    explicit CStatisticsOptionsPageModel(Services services);

    // The page opens: the pair limit from MaxPairs, the working filter from filter, the
    // first row of each list selected, nothing changed.
    void Open(const CIpRuleSet& filter);

    // The four cells of a row: "From IP", "To IP", "Protocol" ("*" for 0), "Port".
    static std::array<std::string, 4> RowTexts(const CIpRangeRule& rule);

    const std::vector<CIpRangeRule>& Rules(IpRuleList list) const;
    const CIpRuleSet& Working() const { return m_working; }
    int Selected(IpRuleList list) const;
    void Select(IpRuleList list, int row);

    // The buttons of either list; true when the rows changed.
    bool Add(IpRuleList list);
    bool Edit(IpRuleList list);
    bool Duplicate(IpRuleList list);
    bool Remove(IpRuleList list);

    const std::string& PairsText() const { return m_pairsText; }
    void SetPairsText(const std::string& text);

    bool IsModified() const { return m_bModified; }
    bool IsChanged() const { return m_bChanged; }

    // Apply: false keeps the page open (a pair limit outside 1..400 or duplicate rules).
    // Writes MaxPairs and hands the working filter to target.
    bool Apply(CIpRuleSet& target);

private:
    std::vector<CIpRangeRule>& RulesOf(IpRuleList list);
    int& SelectionOf(IpRuleList list);
    // Shows the range dialog until it is cancelled or its range passes the overlap test.
    std::optional<CIpRangeRule> AskPassingRange(IpRuleList list, bool edit,
                                                const CIpRangeRule& start);
    // The selected row, or -1 after the message "choose a range".
    int SelectedOrTell(IpRuleList list);
    void WarnAboutOwnAddress();

    Services m_services;
    CIpRuleSet m_working;
    int m_selectedInclude = -1;
    int m_selectedExclude = -1;
    std::string m_pairsText;
    bool m_bModified = false;
    bool m_bChanged = false;
};
