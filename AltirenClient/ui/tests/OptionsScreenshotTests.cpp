// The options sheet under a real X server (Xvfb), saved as PNG files in
// <build>/screenshots for a person to look at; nothing compares pixels.
#include "OptionsFakes.h"

#include "AltirenClient/ClientState.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUiTest/Xvfb.h"

#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

class OptionsScreenshots : public guitest::XvfbTest {
protected:
    void Shoot(uint32_t mask, UINT description, uint32_t selected, const char* name) {
        guitest::TestRegistry registry;
        registry.SetString("AltirenServerIP", "mgmt.example:8080");
        CClientSettings().bSetUserDetails("ann", "Secret1", true);
        ClientState::SetServerOnline(true);
        OptionsSheetSetup setup;
        setup.prompt = &prompt;
        setup.server = script.Factory();
        COptionsSheet sheet(std::move(setup));
        sheet.RequestPages(mask);
        sheet.SetDescription(description);
        sheet.Tabs()->setCurrentWidget(sheet.Page(selected));
        sheet.move(40, 40);
        ASSERT_TRUE(guitest::ShowAndWait(&sheet));
        QTest::qWait(200);
        guitest::ExpectScreenshot(guitest::SaveScreenshot(name));
    }

    CScriptedPrompt prompt;
    optionsfakes::ServerScript script;
};

TEST_F(OptionsScreenshots, TheRegistrationPageOfStartUp) {
    Shoot(IOptionsSheet::kPageRegistration | IOptionsSheet::kPageLogin, IDS_SELECT_LOGIN_TYPE,
          IOptionsSheet::kPageRegistration, "options-registration");
}

TEST_F(OptionsScreenshots, TheLogOnAndPreferencesPages) {
    Shoot(0xFFFFFFFE, IDS_OPTIONS_DESCRIPTION, IOptionsSheet::kPageLogin, "options-login");
    Shoot(0xFFFFFFFE, IDS_OPTIONS_DESCRIPTION, IOptionsSheet::kPagePreferences,
          "options-preferences");
}

} // namespace
