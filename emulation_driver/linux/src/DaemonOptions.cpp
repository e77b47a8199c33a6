#include "QuellinLinux/DaemonOptions.h"

#include "ControlSocket/DevicePath.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace quellin::os {

namespace {

bool parse_u32(const char* text, uint32_t& out) {
    if (!text || !*text || *text == '-' || *text == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

std::optional<DaemonOptions> parse_daemon_options(int argc, const char* const* argv,
                                                  std::string& error) {
    DaemonOptions options;
    options.device = ctlsock::device_path();
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--foreground") {
            options.foreground = true;
        } else if (arg == "--wait") {
            options.wait = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--device") {
            const char* path = value();
            if (!path || !*path) {
                error = "--device needs a path";
                return std::nullopt;
            }
            options.device = path;
        } else if (arg == "--seed") {
            uint32_t seed = 0;
            if (!parse_u32(value(), seed)) {
                error = "--seed needs a number from 0 to 4294967295";
                return std::nullopt;
            }
            options.seed = seed;
        } else if (arg == "--bind") {
            const char* binding = value();
            if (!binding || !*binding) {
                error = "--bind needs tap:NAME=LOWER or if:STATION=LOWER";
                return std::nullopt;
            }
            options.binds.emplace_back(binding);
        } else if (arg == "--install") {
            options.install = true;
        } else if (arg == "--uninstall") {
            options.uninstall = true;
        } else if (arg == "--test-adapter") {
            options.testAdapter = true;
        } else {
            error = "unknown argument '" + std::string(arg) + "'";
            return std::nullopt;
        }
    }
    if (options.install && options.uninstall) {
        error = "--install and --uninstall exclude each other";
        return std::nullopt;
    }
    return options;
}

std::string daemon_usage() {
    return "usage: quellin [--foreground [--wait]] [--device PATH] [--seed N]\n"
           "               [--bind tap:NAME=LOWER | --bind if:STATION=LOWER]...\n"
           "       quellin --install | --uninstall | --help | --version\n"
           "\n"
           "The network emulation driver. tap:NAME=LOWER takes the interface LOWER from this\n"
           "machine's network stack and puts the TAP NAME in its place, with LOWER's hardware\n"
           "address, MTU, addresses and routes; everything is given back when the daemon\n"
           "stops, or on its next start after a crash. if:STATION=LOWER bridges two\n"
           "interfaces that the stack does not use. --bind overrides the Bindings value of\n"
           "the registry store.\n"
           "\n"
           "  --foreground  stay in the foreground and log to standard error as well\n"
           "  --wait        in the foreground, wait for missing interfaces to appear\n"
           "  --device PATH the control socket (default $QL_DEVICE, else /run/quellin/QL)\n"
           "  --seed N      seed of the random source, for repeatable runs\n"
           "  --install     write the service keys to the registry store and say what\n"
           "  --uninstall   remove them\n";
}

} // namespace quellin::os
