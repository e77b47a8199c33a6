// quellin: the emulation driver as a daemon.
#include "QuellinLinux/Daemon.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/SignalWatch.h"

#include <cstdio>
#include <filesystem>
#include <syslog.h>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace quellin::os;
    std::string error;
    auto options = parse_daemon_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr,
                     "quellin: %s\n"
                     "usage: quellin [--device PATH] [--foreground] [--seed N]\n",
                     error.c_str());
        return 2;
    }
    ::openlog("quellin", LOG_PID | (options->foreground ? LOG_PERROR : 0), LOG_DAEMON);
    // The background process runs from "/": keep a relative socket path where it was meant.
    std::error_code ec;
    if (auto absolute = std::filesystem::absolute(options->device, ec); !ec)
        options->device = absolute.string();
    if (!options->foreground && ::daemon(0, 0) != 0) {
        ::syslog(LOG_ERR, "cannot run in the background: %m");
        return 1;
    }

    Daemon daemon(*options);
    SignalWatch signals(daemon.loop(), [&](int) { daemon.request_stop(); });
    if (!daemon.start(error)) {
        ::syslog(LOG_ERR, "start-up failed: %s", error.c_str());
        return 1;
    }
    ::syslog(LOG_INFO, "control device on %s, seed %u", options->device.c_str(), daemon.seed());
    daemon.run();
    ::syslog(LOG_INFO, "stopped");
    ::closelog();
    return 0;
}
