// The emulation manager window's own address filter. The manager window owns it; the
// filter definition dialog edits it in place; the manager applies it to every play from
// the Basic and Advanced pages and, when the override is set, to an imported scenario.
#pragma once

#include <string>
#include <vector>

struct CEmulationFilter {
    // "Override imported network filter": the filter also replaces an imported scenario's.
    bool overrideImported = false;
    // 0 exclude, 1 include (the dialog's Policy).
    int mode = 0;
    // Dotted IPv4 addresses, in the dialog's order.
    std::vector<std::string> addresses;
};
