// The management server as the account option pages reach it: one object per proxy (a
// page makes a new one for each request road), and what the pages need beside it.
#pragma once

#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/Prompt.h"

#include <functional>
#include <memory>
#include <string>

class IEmulationManager;

class IAccountServer {
public:
    virtual ~IAccountServer() = default;
    // The e-mail address of CREATE_USER and the new password of CHANGE_PASSWORD.
    virtual void SetEmailAddress(const std::string& email) = 0;
    virtual void SetNewPassword(const std::string& password) = 0;
    // Sends the event; reply receives the reply's value. False when the request could not
    // be made, its reply failed its checks or the reply is not the server's own (a time-out,
    // a failure or an off-line client answered from the offline table): what the account
    // becomes is decided by the server only.
    virtual bool Send(ServerEventType event, std::string& reply) = 0;
};

// Makes a new proxy.
using AccountServerFactory = std::function<std::unique_ptr<IAccountServer>()>;

// What the sheet hands its account pages.
struct AccountPageContext {
    IPrompt* prompt = nullptr;
    AccountServerFactory server;
    // The emulation manager window (ResetUserSettings, the on-line probe); null when
    // there is none.
    std::function<IEmulationManager*()> manager;
};
