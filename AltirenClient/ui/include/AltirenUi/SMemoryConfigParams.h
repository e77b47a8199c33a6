// The management server's limits for user names and passwords, asked for when they are
// needed (nothing is kept): a process-wide object without data.
#pragma once

#include "AltirenUi/AccountServer.h"

#include <string>

class CSMemoryConfigParams {
public:
    struct Limits {
        long userMin = 0;
        long userMax = 0;
        long passwordMin = 0;
        long passwordMax = 0;
    };

    // The single instance, made on first use (safe from any thread) and never released.
    static CSMemoryConfigParams* instance();

    // Sends GET_CONFIGURABLE_PARAM through a new proxy of the factory; reply receives the
    // reply's whole text.
    bool GetConfigurableParametersFromServer(const AccountServerFactory& server,
                                             std::string& reply);
    // Fetches and reads the limits; false when the server gave none.
    bool InitConfigurableParams(const AccountServerFactory& server, Limits& limits);
    // The name (UTF-8) has no more characters than the server's user-name maximum. Tells the user why not
    // (61264 when the limits cannot be had, 61284 with the maximum).
    bool CheckUserNameLengthValidity(const AccountServerFactory& server, IPrompt& prompt,
                                     const std::string& name);

    // Reads the limits from a reply: the MIN and MAX of its first USER_NAME_LENGTH and
    // PASSWORD_LENGTH elements. False when the text does not parse or one of the four
    // values is missing or not a whole number.
    static bool ParseConfigurableParams(const std::string& reply, Limits& limits);

private:
    CSMemoryConfigParams() = default;
};
