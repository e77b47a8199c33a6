#include "AltirenUi/SClientOptionsInstPageModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/EmulationManager.h"
#include "AltirenUi/SMemoryConfigParams.h"

namespace {

constexpr const char* kClass = "CSClientOptionsInstPage";

} // namespace

CSClientOptionsInstPageModel::CSClientOptionsInstPageModel(AccountPageContext context)
    : m_context(std::move(context)) {}

void CSClientOptionsInstPageModel::OnInitDialog() {
    CLIENT_TRACE_ENTERED(kClass);
    std::string user, password;
    if (CClientSettings().bGetUserDetails(user, password, true)) {
        m_values.userName = user;
        m_values.password = password;
    }
    m_values.loginType = kExistingUser;
}

int CSClientOptionsInstPageModel::Show(UINT textId, UINT captionId, UINT flags) {
    return m_context.prompt ? ShowClientMessage(*m_context.prompt, textId, captionId, flags) : 0;
}

void CSClientOptionsInstPageModel::Restore() {
    CClientSettings settings;
    settings.bSetUserDetails(m_oldUser, m_oldPassword, true);
    if (m_bServerStored) {
        settings.bSetServerIP(m_oldServer);
        m_bServerStored = false;
    }
}

bool CSClientOptionsInstPageModel::OnApply() {
    CLIENT_TRACE_ENTERED(kClass);
    m_focus = kFocusNone;
    if (m_values.userName.empty()) {
        Show(IDS_ENTER_USER_NAME, IDS_CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
        m_focus = kFocusUserName;
        return false;
    }
    if (m_values.loginType == kNewUser && m_values.email.empty()) {
        Show(IDS_ENTER_EMAIL, IDS_CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
        m_focus = kFocusEmail;
        return false;
    }

    CClientSettings settings;
    m_oldUser.clear();
    m_oldPassword.clear();
    m_bServerStored = false;
    const bool stored = settings.bGetUserDetails(m_oldUser, m_oldPassword, true);
    // The server address typed on the sheet's Login tab is the one registered with.
    std::string storedServer;
    const bool hadServer = settings.bGetServerIP(storedServer, false);
    const bool serverChanged = m_typedServer && (!hadServer || storedServer != *m_typedServer);
    if (!serverChanged && stored && m_oldUser == m_values.userName &&
        m_oldPassword == m_values.password)
        return true;
    // Without an account no request can be made: the user is told what is missing, not
    // that the server refused.
    std::string account;
    if (!settings.bGetAccountID(account) || account.empty()) {
        CLIENT_TRACE(CSTrace::eError, "No account to register with", kClass);
        Show(IDS_ACCOUNT_MISSING, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    if (serverChanged) {
        m_oldServer = hadServer ? storedServer : std::string();
        if (!settings.bSetServerIP(*m_typedServer)) {
            Show(IDS_REGISTRATION_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
            return false;
        }
        m_bServerStored = true;
        if (IEmulationManager* manager = m_context.manager ? m_context.manager() : nullptr)
            manager->SetIsServerOnline(true);
    }
    if (!settings.bSetUserDetails(m_values.userName, m_values.password, true)) {
        CLIENT_TRACE(CSTrace::eError, "bSetUserDetails failed", kClass);
        Restore();
        Show(IDS_REGISTRATION_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }

    std::unique_ptr<IAccountServer> proxy = m_context.server ? m_context.server() : nullptr;
    if (!proxy) {
        Restore();
        Show(IDS_REGISTRATION_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    proxy->SetEmailAddress(m_values.email);
    return m_values.loginType == kExistingUser ? ApplyExistingUser(*proxy) : ApplyNewUser(*proxy);
}

bool CSClientOptionsInstPageModel::ApplyExistingUser(IAccountServer& proxy) {
    CClientSettings settings;
    std::string reply;
    // A client whose registration is not recorded registers first.
    bool installed = false;
    if (!settings.bGetInstalledStatus(installed) || !installed) {
        if (!proxy.Send(CLIENT_INSTALL, reply) || reply != "OK") {
            Restore();
            Show(IDS_REGISTRATION_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
            CLIENT_TRACE(CSTrace::eError, "Failed to install client", kClass);
            return false;
        }
        settings.bSetInstalledStatus(true);
    }
    if (proxy.Send(CLIENT_LAUNCH, reply) && reply == "OK") {
        m_bServerStored = false;
        if (IEmulationManager* manager = m_context.manager ? m_context.manager() : nullptr)
            manager->ResetUserSettings();
        return true;
    }
    Restore();
    // This is the registration page: its failure is a registration's.
    Show(IDS_REGISTRATION_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return false;
}

bool CSClientOptionsInstPageModel::ApplyNewUser(IAccountServer& proxy) {
    if (!m_context.prompt || !CSMemoryConfigParams::instance()->CheckUserNameLengthValidity(
                                 m_context.server, *m_context.prompt, m_values.userName)) {
        Restore();
        return false;
    }
    std::string reply;
    if (proxy.Send(CREATE_USER, reply) && reply == "OK") {
        m_bServerStored = false;
        m_context.prompt->MessageBox(FormatClientString(IDS_NEW_USER_ADDED, m_values.email.c_str()),
                                     LoadClientString(IDS_CAPTION_INFORMATION),
                                     MB_OK | MB_ICONINFORMATION);
        // The user now types the password the server mailed.
        m_values.loginType = kExistingUser;
        m_focus = kFocusPassword;
        return false;
    }
    Restore();
    Show(IDS_NEW_USER_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return false;
}
