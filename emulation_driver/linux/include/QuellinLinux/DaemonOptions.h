// The daemon's command line: --device PATH, --foreground, --wait, --seed N, --bind BINDING
// (any number), --install, --uninstall, --test-adapter, --help, --version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quellin::os {

struct DaemonOptions {
    std::string device; // control socket path: --device, else QL_DEVICE, else the default
    bool foreground = false;
    bool wait = false; // in the foreground: wait for missing interfaces instead of failing
    std::optional<uint32_t> seed;   // random seed for repeatable runs; none: from the clock
    std::vector<std::string> binds; // "tap:NAME=LOWER" or "if:STATION=LOWER"; over the registry's
    bool install = false;           // write the service keys and end
    bool uninstall = false;         // remove them and end
    bool testAdapter = false;       // an adapter "test0" whose frames are counted and dropped
    bool help = false;
    bool version = false;
};

// What --help prints.
std::string daemon_usage();

// Parses argv; on a bad or unknown argument gives nothing and a message in error.
std::optional<DaemonOptions> parse_daemon_options(int argc, const char* const* argv,
                                                  std::string& error);

} // namespace quellin::os
