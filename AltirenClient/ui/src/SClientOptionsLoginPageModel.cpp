#include "AltirenUi/SClientOptionsLoginPageModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenUi/EmulationManager.h"

namespace {

constexpr const char* kClass = "CSClientOptionsLoginPage";

} // namespace

CSClientOptionsLoginPageModel::CSClientOptionsLoginPageModel(AccountPageContext context)
    : m_context(std::move(context)) {}

int CSClientOptionsLoginPageModel::Show(UINT textId, UINT captionId, UINT flags) {
    return m_context.prompt ? ShowClientMessage(*m_context.prompt, textId, captionId, flags) : 0;
}

void CSClientOptionsLoginPageModel::OnInitDialog() {
    CLIENT_TRACE_ENTERED(kClass);
    CClientSettings settings;
    std::string server, user, password;
    if (settings.bGetServerIP(server, false))
        m_values.serverAddress = server;
    if (settings.bGetUserDetails(user, password, true)) {
        m_values.userName = user;
        m_values.password = password;
    }
    m_bAccountBoxes = ClientState::IsServerOnline();
    m_bChangePassword = true;
}

void CSClientOptionsLoginPageModel::OnServerAddressEdited(const std::string& text) {
    m_values.serverAddress = text;
    std::string stored;
    const bool differs = !CClientSettings().bGetServerIP(stored, false) || stored != text;
    m_bAccountBoxes = m_bChangePassword = differs || ClientState::IsServerOnline();
}

bool CSClientOptionsLoginPageModel::OnApply() {
    CLIENT_TRACE_ENTERED(kClass);
    CClientSettings settings;
    std::string oldServer;
    const bool hadServer = settings.bGetServerIP(oldServer, false);
    if (!settings.bSetServerIP(m_values.serverAddress)) {
        CLIENT_TRACE(CSTrace::eError, "bSetServerIP failed", kClass);
        Show(IDS_CHANGE_LOGIN_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    std::string oldUser, oldPassword;
    const bool hadUser = settings.bGetUserDetails(oldUser, oldPassword, true);
    const bool wasOnline = ClientState::IsServerOnline();

    const bool serverChanged = !hadServer || oldServer != m_values.serverAddress;
    if (!serverChanged && hadUser && oldUser == m_values.userName &&
        oldPassword == m_values.password)
        return true;
    // Without an account no request can be made: the user is told what is missing.
    std::string account;
    if (!settings.bGetAccountID(account) || account.empty()) {
        CLIENT_TRACE(CSTrace::eError, "No account to log on with", kClass);
        settings.bSetServerIP(oldServer);
        Show(IDS_ACCOUNT_MISSING, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }

    if (!settings.bSetUserDetails(m_values.userName, m_values.password, true)) {
        // The server would be asked about the old account and its answer taken for the new.
        CLIENT_TRACE(CSTrace::eError, "bSetUserDetails failed", kClass);
        settings.bSetServerIP(oldServer);
        Show(IDS_CHANGE_LOGIN_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    IEmulationManager* manager = m_context.manager ? m_context.manager() : nullptr;
    if (serverChanged && manager)
        manager->SetIsServerOnline(true);

    std::unique_ptr<IAccountServer> proxy = m_context.server ? m_context.server() : nullptr;
    std::string reply;
    if (proxy && proxy->Send(CLIENT_LAUNCH, reply) && reply == "OK") {
        if (manager)
            manager->ResetUserSettings();
        return true;
    }
    settings.bSetServerIP(oldServer);
    settings.bSetUserDetails(oldUser, oldPassword, true);
    ClientState::SetServerOnline(wasOnline);
    Show(IDS_CHANGE_LOGIN_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return false;
}

void CSClientOptionsLoginPageModel::OnChangePwd(const ChangePasswordDialog& dialog) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!dialog)
        return;
    const std::optional<std::string> fresh = dialog(m_values.userName);
    if (!fresh)
        return;
    std::unique_ptr<IAccountServer> proxy = m_context.server ? m_context.server() : nullptr;
    std::string reply;
    if (proxy) {
        proxy->SetNewPassword(*fresh);
        // The request names the stored account, whatever the page's box shows now.
        CClientSettings settings;
        std::string account, unused;
        if (!settings.bGetUserDetails(account, unused, true))
            account = m_values.userName;
        if (proxy->Send(CHANGE_PASSWORD, reply) && reply == "OK") {
            m_values.password = *fresh;
            if (!settings.bSetUserDetails(account, *fresh, true))
                CLIENT_TRACE(CSTrace::eError, "bSetUserDetails failed", kClass);
            Show(IDS_PASSWORD_CHANGED, IDS_CAPTION_INFORMATION, MB_OK | MB_ICONINFORMATION);
            return;
        }
    }
    Show(IDS_PASSWORD_CHANGE_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
}
