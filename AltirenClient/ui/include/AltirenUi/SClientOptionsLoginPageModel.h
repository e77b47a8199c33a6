// What the log-on page decides: its values, which boxes are enabled (the server's
// on-line state, or a new server address), its apply (store, confirm with CLIENT_LAUNCH,
// put everything back on a refusal) and the password change.
#pragma once

#include "AltirenUi/AccountServer.h"

#include <functional>
#include <optional>
#include <string>

class CSClientOptionsLoginPageModel {
public:
    static constexpr int kMaxUserName = 25;
    static constexpr int kMaxPassword = 25;

    struct Values {
        std::string userName;
        std::string password;
        std::string serverAddress;
    };

    // Opens the change-password dialog for the user name; the new password on OK.
    using ChangePasswordDialog = std::function<std::optional<std::string>(const std::string&)>;

    explicit CSClientOptionsLoginPageModel(AccountPageContext context);

    // Opening: the stored server address, user name and password.
    void OnInitDialog();
    Values& GetValues() { return m_values; }
    const Values& GetValues() const { return m_values; }

    // Whether the user name, password and Change Password controls take input.
    bool AreAccountBoxesEnabled() const { return m_bAccountBoxes; }
    bool IsChangePasswordEnabled() const { return m_bChangePassword; }
    // The server address box changed to text.
    void OnServerAddressEdited(const std::string& text);

    // True when the page may close.
    bool OnApply();
    // Change Password...: the dialog, then CHANGE_PASSWORD through a new proxy.
    void OnChangePwd(const ChangePasswordDialog& dialog);

private:
    int Show(UINT textId, UINT captionId, UINT flags);

    AccountPageContext m_context;
    Values m_values;
    bool m_bAccountBoxes = false;
    bool m_bChangePassword = true;
};
