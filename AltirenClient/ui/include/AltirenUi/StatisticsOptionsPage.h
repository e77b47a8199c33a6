// The "Statistics" tab of the options sheet: the pair limit of the Top Talkers list and
// the include and exclude ranges of the statistics address filter, each list with Add,
// Edit, Duplicate and Remove. CStatisticsOptionsPageModel decides; Apply hands the ranges
// to the application's statistics filter.
#pragma once

#include "AltirenClient/IpRules.h"
#include "AltirenUi/OptionsPage.h"
#include "AltirenUi/StatisticsOptionsPageModel.h"

#include <functional>
#include <memory>
#include <string>

class QLineEdit;
class QTreeWidget;

class CStatisticsOptionsPage : public COptionsPage {
    Q_OBJECT

public:
    // filter: the application's statistics filter, read when the page opens and written
    // by Apply. activeAdapterAddress: the emulated adapter's address (the start-up's
    // choice when empty).
    CStatisticsOptionsPage(const OptionsPageContext& context, CIpRuleSet& filter,
                           std::function<std::string()> activeAdapterAddress = {},
                           QWidget* parent = nullptr);
    ~CStatisticsOptionsPage() override;

    // The sheet's maker of this tab over the application's filter.
    static OptionsPageFactory Factory(CIpRuleSet& filter);

    // Replaces the range dialog (tests).
    void SetRangeAsker(CStatisticsOptionsPageModel::RangeAsker ask);

    QString Title() const override { return QStringLiteral("Statistics"); }
    bool OnApply() override;

    CStatisticsOptionsPageModel& Model() { return *m_model; }

private:
    QTreeWidget* MakeList(UINT id);
    void Refresh(IpRuleList list);
    void Run(IpRuleList list, bool (CStatisticsOptionsPageModel::*action)(IpRuleList));

    CIpRuleSet& m_filter;
    CStatisticsOptionsPageModel::RangeAsker m_ask;
    std::unique_ptr<CStatisticsOptionsPageModel> m_model;
    QLineEdit* m_pairs = nullptr;
    QTreeWidget* m_include = nullptr;
    QTreeWidget* m_exclude = nullptr;
};
