// The account pages' road to the management server over the client's proxy.
#pragma once

#include "AltirenUi/AccountServer.h"

class CProxyAccountServer : public IAccountServer {
public:
    void SetEmailAddress(const std::string& email) override { m_proxy.SetEmailAddress(email); }
    void SetNewPassword(const std::string& password) override { m_proxy.SetNewPassword(password); }
    bool Send(ServerEventType event, std::string& reply) override;

    // Makes a CProxyAccountServer.
    static AccountServerFactory Factory();

private:
    CAltirenProxy m_proxy;
};
