// The daemon's command line: --device PATH, --foreground, --seed N.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quellin::os {

struct DaemonOptions {
    std::string device; // control socket path: --device, else QL_DEVICE, else the default
    bool foreground = false;
    std::optional<uint32_t> seed; // random seed for repeatable runs; none: from the clock
};

// Parses argv; on a bad or unknown argument gives nothing and a message in error.
std::optional<DaemonOptions> parse_daemon_options(int argc, const char* const* argv,
                                                  std::string& error);

} // namespace quellin::os
