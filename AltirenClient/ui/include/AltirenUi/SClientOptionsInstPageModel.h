// What the registration page decides: its values, which boxes are enabled, and its apply,
// which stores the typed account first, confirms it with the server and puts the old one
// back when the server refuses.
#pragma once

#include "AltirenUi/AccountServer.h"

#include <optional>
#include <string>

class CSClientOptionsInstPageModel {
public:
    static constexpr int kNewUser = 0;
    static constexpr int kExistingUser = 1;
    static constexpr int kMaxUserName = 20;
    static constexpr int kMaxPassword = 20;

    // The box the page puts the focus in after an apply that stays.
    enum Focus { kFocusNone, kFocusUserName, kFocusEmail, kFocusPassword };

    struct Values {
        std::string userName;
        int loginType = kNewUser;
        std::string password;
        std::string email;
    };

    explicit CSClientOptionsInstPageModel(AccountPageContext context);

    // Opening: the stored user name and password, "Existing user".
    void OnInitDialog();

    Values& GetValues() { return m_values; }
    const Values& GetValues() const { return m_values; }
    // "New user" takes an e-mail address, "Existing user" a password.
    bool IsEmailEnabled() const { return m_values.loginType == kNewUser; }
    bool IsPasswordEnabled() const { return m_values.loginType == kExistingUser; }

    // The server address typed beside this page (the sheet's Login tab), stored before the
    // server is asked and put back when it refuses; nullopt for none.
    void SetTypedServerAddress(std::optional<std::string> address) {
        m_typedServer = std::move(address);
    }

    // True when the page may close; false when it stays (FocusRequest names the box).
    bool OnApply();
    Focus FocusRequest() const { return m_focus; }

private:
    bool ApplyExistingUser(IAccountServer& proxy);
    bool ApplyNewUser(IAccountServer& proxy);
    void Restore();
    int Show(UINT textId, UINT captionId, UINT flags);

    AccountPageContext m_context;
    Values m_values;
    Focus m_focus = kFocusNone;
    std::string m_oldUser;
    std::string m_oldPassword;
    std::optional<std::string> m_typedServer;
    std::string m_oldServer;
    bool m_bServerStored = false; // the typed server address is stored and not yet agreed
};
