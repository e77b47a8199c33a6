// The filter dialog, the address entry, the statistics options page and the range dialog
// under a real X server (Xvfb), saved as PNG files in <build>/screenshots for a person to
// look at; nothing compares pixels.
#include "AltirenUi/EnterIpDlg.h"
#include "AltirenUi/IpFilterDlg.h"
#include "AltirenUi/IpRangeDlg.h"
#include "AltirenUi/StatisticsOptionsPage.h"

#include "AltirenClientTest/ScriptedPrompt.h"
#include "AltirenUiTest/Xvfb.h"

#include <gtest/gtest.h>

namespace {

using FilterScreenshots = guitest::XvfbTest;

void Shoot(QWidget* window, const char* name) {
    window->move(40, 40);
    ASSERT_TRUE(guitest::ShowAndWait(window));
    QTest::qWait(200);
    guitest::ExpectScreenshot(guitest::SaveScreenshot(name));
}

TEST_F(FilterScreenshots, TheFilterDialogWithThreeAddresses) {
    CScriptedPrompt prompt;
    CIpFilterDlg dialog(&prompt);
    CEmulationFilter filter;
    filter.mode = 1;
    filter.addresses = {"198.18.0.2", "198.18.0.3", "10.0.0.10"};
    dialog.Load(filter);
    Shoot(&dialog, "filter-definition-348");
}

TEST_F(FilterScreenshots, TheAddressEntryAndTheRangeDialog) {
    CScriptedPrompt prompt;
    CEnterIpDlg entry(&prompt);
    entry.SetText("192.168.10.200");
    Shoot(&entry, "enter-ip-347");
    entry.hide();
    CIpRangeDlg range(&prompt, true, CIpRangeRule(0xC6120002, 0xC61200FE, 80, 6));
    Shoot(&range, "ip-range-243");
}

TEST_F(FilterScreenshots, TheStatisticsOptionsPage) {
    guitest::TestRegistry registry;
    CScriptedPrompt prompt;
    OptionsPageContext context;
    context.prompt = &prompt;
    CIpRuleSet filter;
    filter.m_include = {CIpRangeRule(0xC6120000, 0xC61200FF, 0, 0),
                        CIpRangeRule(0x0A000001, 0x0A000009, 53, 17)};
    filter.m_exclude = {CIpRangeRule(0xC6120005, 0xC6120006, 0, 0)};
    CStatisticsOptionsPage page(context, filter, [] { return std::string("198.18.0.1"); });
    page.resize(520, 460);
    Shoot(&page, "statistics-options-351");
}

} // namespace
