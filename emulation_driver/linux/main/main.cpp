// quellin: the emulation driver as a daemon.
#include "QuellinEdges/ServiceConfig.h"
#include "QuellinLinux/ClientFolders.h"
#include "QuellinLinux/Daemon.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/SignalWatch.h"

#include "platform/Registry.h"

#include <cstdio>
#include <filesystem>
#include <syslog.h>
#include <unistd.h>

namespace {

// The edges' reports go to syslog (and to stderr in the foreground).
void log_to_syslog(int severity, const std::string& message) {
    const int priority = severity >= quellin::edges::kLogError     ? LOG_ERR
                         : severity == quellin::edges::kLogWarning ? LOG_WARNING
                                                                   : LOG_INFO;
    ::syslog(priority, "%s", message.c_str());
}

// The daemon's own path, for the service key's "ImagePath".
std::string own_path(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return self.string();
    auto absolute = std::filesystem::absolute(argv0, ec);
    return ec ? std::string(argv0) : absolute.string();
}

// The client's folders of an installed tree go in with the service keys and out with them.
long install_client_folders(const platform::registry::Registry& registry, bool install,
                            const std::string& daemonPath) {
    using namespace quellin::os;
    return install ? write_client_folders(registry, installed_client_folders(daemonPath))
                   : remove_client_folders(registry);
}

} // namespace

int main(int argc, char** argv) {
    using namespace quellin::os;
    std::string error;
    auto options = parse_daemon_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr,
                     "quellin: %s\n"
                     "usage: quellin [--device PATH] [--foreground] [--seed N]\n"
                     "               [--bind tap:NAME=LOWER | --bind if:STATION=LOWER]...\n"
                     "       quellin --install | --uninstall\n",
                     error.c_str());
        return 2;
    }
    platform::registry::Registry registry;
    if (options->install || options->uninstall) {
        long rc = options->install ? quellin::edges::install_service(registry, own_path(argv[0]))
                                   : quellin::edges::uninstall_service(registry);
        if (rc == 0)
            rc = install_client_folders(registry, options->install, own_path(argv[0]));
        if (rc != 0) {
            std::fprintf(stderr, "quellin: %s failed (%ld) in %s\n",
                         options->install ? "--install" : "--uninstall", rc,
                         registry.root().c_str());
            return 1;
        }
        return 0;
    }

    ::openlog("quellin", LOG_PID | (options->foreground ? LOG_PERROR : 0), LOG_DAEMON);
    auto config =
        quellin::edges::load_service_configuration(registry, options->binds, log_to_syslog, error);
    if (!config) {
        ::syslog(LOG_ERR, "bad configuration: %s", error.c_str());
        return 2;
    }
    // The background process runs from "/": keep a relative socket path where it was meant.
    std::error_code ec;
    if (auto absolute = std::filesystem::absolute(options->device, ec); !ec)
        options->device = absolute.string();
    if (!options->foreground && ::daemon(0, 0) != 0) {
        ::syslog(LOG_ERR, "cannot run in the background: %m");
        return 1;
    }

    Daemon daemon(*options, config->driver, config->bindings, log_to_syslog);
    SignalWatch signals(daemon.loop(), [&](int) { daemon.request_stop(); });
    if (!daemon.start(error)) {
        ::syslog(LOG_ERR, "start-up failed: %s", error.c_str());
        return 1;
    }
    ::syslog(LOG_INFO, "control device on %s, seed %u, %zu adapter(s) bound of %zu",
             options->device.c_str(), daemon.seed(), daemon.edges().bound_count(),
             config->bindings.size());
    daemon.run();
    ::syslog(LOG_INFO, "stopped");
    ::closelog();
    return 0;
}
