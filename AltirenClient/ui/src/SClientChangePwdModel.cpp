#include "AltirenUi/SClientChangePwdModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"

namespace {

constexpr const char* kClass = "CSClientChangePwd";

} // namespace

CSClientChangePwdModel::CSClientChangePwdModel(IPrompt& prompt, std::string userName)
    : m_prompt(prompt) {
    m_values.userName = std::move(userName);
}

bool CSClientChangePwdModel::OnOK() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_values.newPassword != m_values.confirmPassword) {
        ShowClientMessage(m_prompt, IDS_PASSWORD_MISMATCH, IDS_CAPTION_WARNING,
                          MB_OK | MB_ICONEXCLAMATION);
        CLIENT_TRACE(CSTrace::eError, "password mismatch", kClass);
        return false;
    }
    std::string user, stored;
    if (!CClientSettings().bGetUserDetails(user, stored, true)) {
        ShowClientMessage(m_prompt, IDS_OLD_PASSWORD_INVALID, IDS_CAPTION_WARNING,
                          MB_OK | MB_ICONEXCLAMATION);
        CLIENT_TRACE(CSTrace::eError, "bGetUserDetails failed", kClass);
        return false;
    }
    if (m_values.oldPassword != stored) {
        ShowClientMessage(m_prompt, IDS_OLD_PASSWORD_INVALID, IDS_CAPTION_WARNING,
                          MB_OK | MB_ICONEXCLAMATION);
        CLIENT_TRACE(CSTrace::eError, "Wrong old password", kClass);
        return false;
    }
    return true;
}
