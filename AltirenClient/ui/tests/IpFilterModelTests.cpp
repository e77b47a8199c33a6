// The emulation filter dialog and its address list without widgets: the row limit, the
// numeric sort of a header click, Add/Edit/Remove with their messages, the buttons while
// an emulation plays, and OK with the management server's address.
#include "AltirenUi/IpFilterDlgModel.h"
#include "AltirenUi/IpListModel.h"

#include "AltirenClient/StringTable.h"
#include "AltirenClientTest/ScriptedPrompt.h"
#include "AltirenUiTest/GuiTest.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

std::vector<std::string> Column(const CIpListModel& list) {
    std::vector<std::string> texts;
    for (const auto& row : list.Rows())
        texts.push_back(row.cells.front());
    return texts;
}

TEST(IpListModel, HoldsItsLimitAndSortsByAddressAlternatingForEveryList) {
    CIpListModel::ResetSortDirection();
    CIpListModel list(3);
    EXPECT_TRUE(list.AddRow({"10.0.0.10"}));
    EXPECT_TRUE(list.AddRow({"9.0.0.1"}));
    EXPECT_TRUE(list.AddRow({"10.0.0.9"}));
    EXPECT_FALSE(list.AddRow({"1.1.1.1"}));
    EXPECT_EQ(list.Rows()[0].data, 0x0A00000Au);
    list.Select(0);
    list.SortByHeaderClick();
    EXPECT_EQ(Column(list), (std::vector<std::string>{"9.0.0.1", "10.0.0.9", "10.0.0.10"}));
    EXPECT_EQ(list.Selected(), 2); // the selection follows its row

    // The next click, in another list too, sorts the other way.
    CIpListModel other;
    other.AddRow({"2.0.0.0"});
    other.AddRow({"3.0.0.0"});
    other.SortByHeaderClick();
    EXPECT_EQ(Column(other), (std::vector<std::string>{"3.0.0.0", "2.0.0.0"}));
    list.SortByHeaderClick();
    EXPECT_EQ(Column(list), (std::vector<std::string>{"9.0.0.1", "10.0.0.9", "10.0.0.10"}));

    EXPECT_EQ(list.Find("10.0.0.9"), 1);
    EXPECT_EQ(list.Find("10.0.0.9", 0, 2), -1);
    EXPECT_EQ(list.Find("10.0.0"), -1); // exact texts only
    list.Select(7);
    EXPECT_EQ(list.Selected(), 2);
    EXPECT_TRUE(list.DeleteSelected());
    EXPECT_EQ(list.Selected(), 1);
    CScriptedPrompt prompt;
    list.Select(-1);
    EXPECT_EQ(list.SelectedOrTell(prompt), -1);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Please choose an IP address and then click the button.");
    CIpListModel::ResetSortDirection();
}

class IpFilterModel : public ::testing::Test {
protected:
    IpFilterModel()
        : model(prompt, [this](const std::string& start) {
              starts.push_back(start);
              if (answers.empty())
                  return std::optional<std::string>();
              auto next = answers.front();
              answers.pop_front();
              return next;
          }) {}

    guitest::TestRegistry registry;
    CScriptedPrompt prompt;
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> starts;
    CIpFilterDlgModel model;
};

TEST_F(IpFilterModel, AddAsksAgainForAListedAddressAndStopsAtTen) {
    CEmulationFilter filter;
    filter.addresses = {"10.0.0.1", "10.0.0.2"};
    model.Load(filter);
    answers = {"10.0.0.2", "10.0.0.3"};
    EXPECT_TRUE(model.Add());
    EXPECT_EQ(starts, (std::vector<std::string>{"0.0.0.0", "10.0.0.2"}));
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "The IP address '10.0.0.2' is already in the list.");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(model.List().Count(), 3u);

    for (int i = 4; i <= 10; ++i) {
        answers = {"10.0.0." + std::to_string(i)};
        ASSERT_TRUE(model.Add());
    }
    starts.clear();
    EXPECT_FALSE(model.Add());
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(prompt.Boxes().back().text,
              "You cannot specify more than 10 IP addresses to filter.");
}

TEST_F(IpFilterModel, EditKeepsItsOwnAddressRefusesAnotherRowsAndRemoveSelectsTheNext) {
    CEmulationFilter filter;
    filter.addresses = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    model.Load(filter);
    model.List().Select(1);
    answers = {"10.0.0.3", "10.0.0.2"};
    EXPECT_TRUE(model.Edit());
    EXPECT_EQ(starts, (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(model.List().Selected(), 1);

    EXPECT_TRUE(model.Remove());
    EXPECT_EQ(Column(model.List()), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(model.List().Selected(), 1);

    EXPECT_TRUE(model.Buttons().edit);
    model.SetLocked(true);
    const auto locked = model.Buttons();
    EXPECT_FALSE(locked.ok || locked.add || locked.edit || locked.remove || locked.policy ||
                 locked.overrideCheck);
}

TEST_F(IpFilterModel, OkWritesTheFilterAndAnEmptyIncludeListStaysOpen) {
    model.Load(CEmulationFilter());
    EXPECT_FALSE(model.Buttons().edit);
    model.SetPolicy(CIpFilterDlgModel::kPolicyInclude);
    CEmulationFilter out;
    out.addresses = {"1.2.3.4"};
    EXPECT_FALSE(model.OnOK(out));
    EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_INCLUDE_LIST_EMPTY));
    EXPECT_EQ(out.addresses.size(), 1u); // untouched

    answers = {"10.0.0.1"};
    ASSERT_TRUE(model.Add());
    model.SetOverride(true);
    EXPECT_TRUE(model.OnOK(out));
    EXPECT_EQ(out.mode, 1);
    EXPECT_TRUE(out.overrideImported);
    EXPECT_EQ(out.addresses, (std::vector<std::string>{"10.0.0.1"}));
}

TEST_F(IpFilterModel, TheServerNamedByHostAndPortIsLeftOutOfAnIncludeList) {
    ASSERT_TRUE(registry.SetString("AltirenServerIP", "localhost:8080"));
    CEmulationFilter filter;
    filter.mode = 1;
    filter.addresses = {"10.0.0.1", "127.0.0.1", "10.0.0.2"};
    model.Load(filter);
    prompt.Answer(IDOK);
    CEmulationFilter out;
    EXPECT_TRUE(model.OnOK(out));
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_SERVER_IP_IN_FILTER));
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(out.addresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(out.mode, 1);

    // Cancel drops the whole list, and an empty list is an exclude list.
    prompt.Answer(IDCANCEL);
    EXPECT_TRUE(model.OnOK(out));
    EXPECT_TRUE(out.addresses.empty());
    EXPECT_EQ(out.mode, 0);

    // Not asked with ExcludeServerIP 0, nor for an exclude list.
    ASSERT_TRUE(registry.SetDword("ExcludeServerIP", 0));
    EXPECT_TRUE(model.OnOK(out));
    EXPECT_EQ(out.addresses.size(), 3u);
    ASSERT_TRUE(registry.SetDword("ExcludeServerIP", 1));
    model.SetPolicy(0);
    EXPECT_TRUE(model.OnOK(out));
    EXPECT_EQ(out.addresses.size(), 3u);
    EXPECT_EQ(prompt.Boxes().size(), 2u);
}

} // namespace
