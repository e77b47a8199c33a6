#include "AltirenUi/ProxyAccountServer.h"

bool CProxyAccountServer::Send(ServerEventType event, std::string& reply) {
    return m_proxy.GetAltirenResponse(reply, event) != 0;
}

AccountServerFactory CProxyAccountServer::Factory() {
    return [] { return std::make_unique<CProxyAccountServer>(); };
}
