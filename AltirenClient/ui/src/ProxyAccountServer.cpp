#include "AltirenUi/ProxyAccountServer.h"

#include "AltirenUi/ServerWaitBox.h"

bool CProxyAccountServer::Send(ServerEventType event, std::string& reply) {
    struct Answer {
        bool made = false;
        bool fromServer = false;
        std::string reply;
    };
    const std::string email = m_email;
    const std::string password = m_newPassword;
    // The request, with a proxy of its own, runs off the GUI thread; the page waits for it
    // with the event loop going on.
    const std::optional<Answer> answer =
        CServerWaitBox::Wait<Answer>([event, email, password](const std::atomic<bool>&) {
            CAltirenProxy proxy;
            proxy.SetEmailAddress(email);
            proxy.SetNewPassword(password);
            Answer a;
            a.made = proxy.GetAltirenResponse(a.reply, event) != 0;
            a.fromServer = proxy.LastReplyFromServer();
            return a;
        });
    // Cancelled, failed, timed out or answered from the offline table: the server did not
    // agree to anything.
    if (!answer || !answer->made || !answer->fromServer) {
        reply.clear();
        return false;
    }
    reply = answer->reply;
    return true;
}

AccountServerFactory CProxyAccountServer::Factory() {
    return [] { return std::make_unique<CProxyAccountServer>(); };
}
