// The adapter check and the adapter choice over the adapter table.
#include "AppFakes.h"
#include "FakeNuvexControl.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <gtest/gtest.h>

using namespace appfakes;

namespace {

class AdapterCheckTest : public ::testing::Test {
protected:
    using DWORD = CClientSettings::DWORD;
    void SetUp() override {
        guitest::App();
        adapters.names.clear();
        adapters.addresses.clear();
        services.adapters = &adapters;
        services.prompt = &prompt;
        services.windows = &windows;
        services.control = &control;
        prompt.script.SetDefaultAnswer(IDOK);
        windows.manager.window = nullptr;
    }
    CAltirenClientApp& App() {
        app = std::make_unique<CAltirenClientApp>(services, std::vector<std::string>{});
        return *app;
    }
    std::optional<DWORD> Stored() {
        DWORD index = 0;
        if (!CClientSettings().bGetQuellinNumber(index))
            return std::nullopt;
        return index;
    }
    int Boxes(UINT textId) const {
        int n = 0;
        for (const auto& box : prompt.script.Boxes())
            n += box.text == LoadClientString(textId);
        return n;
    }

    guitest::TestRegistry registry;
    FakeAdapters adapters;
    FakePrompt prompt;
    FakeWindows windows;
    FakeNuvexControl control;
    AppServices services;
    std::unique_ptr<CAltirenClientApp> app;
};

TEST_F(AdapterCheckTest, TwelveAdaptersGiveTen) {
    for (int i = 0; i < 12; ++i)
        adapters.Add("eth" + std::to_string(i), "198.18.0." + std::to_string(i + 1));
    registry.SetDword("QuellinNumber", 9);
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(a.AdapterCount(), 10);
    EXPECT_EQ(a.Adapters().Count(), 10u);
    EXPECT_EQ(a.SelectedAdapter(), 9);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.10");
    EXPECT_EQ(ClientState::GetChosenAdapterAddress(), "198.18.0.10");
}

TEST_F(AdapterCheckTest, AStoredIndexOfAnUnusableAdapterGivesTheFirstUsableWrittenBack) {
    adapters.Add("tap0", "");
    adapters.Add("tap1", "0.0.0.0");
    adapters.Add("tap2", "198.18.0.3");
    adapters.Add("tap3", "198.18.0.4");
    registry.SetDword("QuellinNumber", 1);
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(a.SelectedAdapter(), 2);
    EXPECT_EQ(Stored(), 2u);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.3");
    EXPECT_TRUE(a.IsAdapterSelected());
    EXPECT_EQ(windows.adapterChoices, 0);

    // An index beyond the table is as unusable.
    registry.SetDword("QuellinNumber", 40);
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(Stored(), 2u);
}

TEST_F(AdapterCheckTest, WithoutAStoredIndexTheUserChoosesAndTheChoiceIsKept) {
    adapters.Add("tap0", "198.18.0.1");
    adapters.Add("tap1", "198.18.0.2");
    windows.chosen = 1;
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(windows.adapterChoices, 1);
    EXPECT_EQ(windows.currentShown, std::nullopt);
    EXPECT_EQ(windows.shownAdapters, 2u);
    EXPECT_EQ(a.SelectedAdapter(), 1);
    EXPECT_EQ(Stored(), 1u);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.2");
}

TEST_F(AdapterCheckTest, ACancelledChoiceTakesTheFirstUsableAdapter) {
    adapters.Add("tap0", "");
    adapters.Add("tap1", "198.18.0.2");
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(Stored(), 1u);
}

TEST_F(AdapterCheckTest, AChoiceOfAnAdapterWithoutAddressFallsBackToAUsableOne) {
    adapters.Add("tap0", "");
    adapters.Add("tap1", "198.18.0.2");
    windows.chosen = 0;
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    EXPECT_EQ(a.SelectedAdapter(), 1);
    EXPECT_EQ(Stored(), 1u);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.2");
}

TEST_F(AdapterCheckTest, NoAdaptersClearTheSelection) {
    adapters.Add("tap0", "198.18.0.1");
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    adapters.names.clear();
    EXPECT_FALSE(a.CheckActiveAdapter(false));
    EXPECT_TRUE(prompt.script.Boxes().empty());
    // Before a play the user is told why nothing plays.
    EXPECT_FALSE(a.CheckActiveAdapter(true));
    EXPECT_EQ(a.SelectedAdapter(), 0xFFFF);
    EXPECT_FALSE(a.IsAdapterSelected());
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "");
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(Boxes(IDS_NO_VALID_ADAPTER_CHECK), 1);
    EXPECT_EQ(prompt.script.Boxes()[0].flags, MB_OK | MB_ICONERROR);

    adapters.opens = false; // the daemon cannot be asked: said so, with where it was asked
    EXPECT_FALSE(a.CheckActiveAdapter(false));
    EXPECT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_FALSE(a.CheckActiveAdapter(true));
    ASSERT_EQ(prompt.script.Boxes().size(), 2u);
    EXPECT_EQ(prompt.script.Boxes()[1].text,
              FormatClientString(IDS_DRIVER_UNREACHABLE, CDriverMngr::ControlDevicePath().c_str()));
    EXPECT_NE(prompt.script.Boxes()[1].text.find(CDriverMngr::ControlDevicePath()),
              std::string::npos);
}

TEST_F(AdapterCheckTest, BeforeAPlayAnUnusableSelectionAsksTheUser) {
    adapters.Add("tap0", "198.18.0.1");
    adapters.Add("tap1", "198.18.0.2");
    registry.SetDword("QuellinNumber", 0);
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    // The selected adapter loses its address; the user picks the other one.
    adapters.addresses["tap0"] = "";
    windows.chosen = 1;
    ASSERT_TRUE(a.CheckActiveAdapter(true));
    EXPECT_EQ(Boxes(IDS_NO_VALID_ADAPTER_CHECK), 1);
    EXPECT_EQ(prompt.script.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(windows.currentShown, std::optional<size_t>(0));
    EXPECT_EQ(a.SelectedAdapter(), 1);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.2");

    // A usable selection asks nothing.
    ASSERT_TRUE(a.CheckActiveAdapter(true));
    EXPECT_EQ(Boxes(IDS_NO_VALID_ADAPTER_CHECK), 1);
}

TEST_F(AdapterCheckTest, BeforeAPlayAChoiceOfNothingUsableFails) {
    adapters.Add("tap0", "");
    CAltirenClientApp& a = App();
    windows.chosen = 0;
    EXPECT_FALSE(a.CheckActiveAdapter(true));
    EXPECT_EQ(Boxes(IDS_NO_VALID_ADAPTER_CHECK), 1);
}

TEST_F(AdapterCheckTest, TheAdapterCommandShowsAFreshTableWithTheCurrentAdapter) {
    adapters.Add("tap0", "198.18.0.1");
    adapters.Add("tap1", "198.18.0.2");
    registry.SetDword("QuellinNumber", 0);
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.CheckActiveAdapter(false));
    adapters.Add("tap2", "198.18.0.3");
    windows.chosen = 2;
    a.ChooseActiveAdapter();
    EXPECT_EQ(windows.shownAdapters, 3u);
    EXPECT_EQ(windows.currentShown, std::optional<size_t>(0));
    EXPECT_EQ(Stored(), 2u);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.3");

    windows.chosen.reset(); // Cancel stores nothing
    a.ChooseActiveAdapter();
    EXPECT_EQ(Stored(), 2u);
}

} // namespace
