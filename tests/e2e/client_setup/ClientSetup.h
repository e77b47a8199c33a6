// The client's settings for a run in the lab: the management server, the account and the
// user (the password sealed as the client seals it), a trace, registration at the first
// start and failures to the trace rather than to a box.
#pragma once

#include <string>

namespace client_setup {

struct LabClient {
    std::string server; // host:port of the management server
    std::string account;
    std::string user;
    std::string password;
    std::string traceFolder;
    // The management server's scenario list page.
    std::string browsePage = "browse.php";
};

// Writes them into the registry store at `root`; false with the reason in `error`.
bool write_lab_client(const std::string& root, const LabClient& client, std::string& error);

} // namespace client_setup
