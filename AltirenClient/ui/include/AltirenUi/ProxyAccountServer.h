// The account pages' road to the management server over the client's proxy. Each request
// runs off the GUI thread while the page waits with the event loop going on (a box offers
// Cancel), and only the server's own reply counts: a failure, a time-out, a cancel or an
// answer from the offline table is no agreement.
#pragma once

#include "AltirenUi/AccountServer.h"

class CProxyAccountServer : public IAccountServer {
public:
    void SetEmailAddress(const std::string& email) override { m_email = email; }
    void SetNewPassword(const std::string& password) override { m_newPassword = password; }
    bool Send(ServerEventType event, std::string& reply) override;

    // Makes a CProxyAccountServer.
    static AccountServerFactory Factory();

private:
    std::string m_email;
    std::string m_newPassword;
};
