// quellin: the emulation driver as a daemon.
#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/ServiceConfig.h"
#include "QuellinLinux/ClientFolders.h"
#include "QuellinLinux/Daemon.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/SignalWatch.h"

#include "platform/Registry.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#ifndef QUELLIN_VERSION
#define QUELLIN_VERSION "unknown"
#endif

namespace {

// The edges' reports go to syslog (and to stderr in the foreground, or where there is no
// system log to take them).
void log_to_syslog(int severity, const std::string& message) {
    const int priority = severity >= quellin::edges::kLogError     ? LOG_ERR
                         : severity == quellin::edges::kLogWarning ? LOG_WARNING
                                                                   : LOG_INFO;
    ::syslog(priority, "%s", message.c_str());
}

// Whether a system logger listens on /dev/log; without one, syslog() drops every line.
bool system_log_present() {
    struct stat st;
    if (::stat("/dev/log", &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/dev/log");
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
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

// The client's folders of an installed tree go in with the service keys (and out with them).
long install_client_folders(const platform::registry::Registry& registry,
                            const std::string& daemonPath, std::vector<std::string>& report) {
    using namespace quellin::os;
    const ClientFolders folders = installed_client_folders(daemonPath);
    const long rc = write_client_folders(registry, folders);
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kClientInstallKey;
    if (rc == 0 && folders.installFolder)
        report.push_back(key + ": InstallFolder = " + *folders.installFolder + " (written)");
    if (rc == 0 && folders.helpFolder)
        report.push_back(key + ": HelpFolder = " + *folders.helpFolder + " (written)");
    return rc;
}

int install(const platform::registry::Registry& registry, const char* argv0) {
    std::vector<std::string> report;
    long rc = quellin::edges::install_service(registry, own_path(argv0), &report);
    if (rc == 0)
        rc = install_client_folders(registry, own_path(argv0), report);
    if (rc != 0) {
        std::fprintf(stderr, "quellin: --install failed (error %ld) in %s\n", rc,
                     registry.root().c_str());
        return 1;
    }
    std::printf("quellin: installed in the registry store %s\n", registry.root().c_str());
    for (const auto& line : report)
        std::printf("%s\n", line.c_str());
    std::printf("PacketPoolSize is the number of packets the emulation may hold in one direction"
                " of an adapter;\n%u holds a 1 Gbit/s flow of 1,500-byte packets delayed 500 ms.\n",
                quellin::edges::kInstalledPacketPoolSize);
    return 0;
}

int uninstall(const platform::registry::Registry& registry) {
    std::string why;
    long rc = quellin::edges::uninstall_service(registry, &why);
    if (rc == 0)
        rc = quellin::os::remove_client_folders(registry);
    if (rc != 0) {
        std::fprintf(stderr, "quellin: --uninstall failed (error %ld) in %s%s%s\n", rc,
                     registry.root().c_str(), why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    std::printf("quellin: the service keys are removed from %s\n", registry.root().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quellin::os;
    std::string error;
    auto options = parse_daemon_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quellin: %s\n%s", error.c_str(), daemon_usage().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(daemon_usage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("quellin %s\n", QUELLIN_VERSION);
        return 0;
    }
    platform::registry::Registry registry;
    if (options->install)
        return install(registry, argv[0]);
    if (options->uninstall)
        return uninstall(registry);
    // From here on a stop signal waits for the loop, and a write to a closed log only fails.
    block_stop_signals();

    const bool systemLog = system_log_present();
    ::openlog("quellin", LOG_PID | (options->foreground || !systemLog ? LOG_PERROR : 0),
              LOG_DAEMON);
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
    // Without a system log the background process keeps standard error for its lines.
    if (!options->foreground && ::daemon(0, systemLog ? 0 : 1) != 0) {
        ::syslog(LOG_ERR, "cannot run in the background: %m");
        return 1;
    }
    if (!systemLog)
        ::syslog(LOG_WARNING, "no system log at /dev/log: logging to standard error");
    for (const auto& b : config->bindings)
        if (b.kind == quellin::edges::StationKind::Tap) {
            const std::string warning = quellin::edges::mount_namespace_warning(
                quellin::edges::check_mount_namespace(), b.lower);
            if (!warning.empty())
                ::syslog(LOG_WARNING, "%s", warning.c_str());
            break;
        }

    Daemon daemon(*options, config->driver, config->bindings, log_to_syslog);
    SignalWatch signals(daemon.loop(), [&](int) { daemon.request_stop(); });
    if (!daemon.start(error)) {
        ::syslog(LOG_ERR, "start-up failed: %s", error.c_str());
        return 1;
    }
    ::syslog(LOG_INFO,
             "control device on %s, seed %u, packet pools of %u descriptors per adapter and "
             "direction, %zu adapter(s) bound of %zu",
             options->device.c_str(), daemon.seed(), config->driver.packetPoolSize,
             daemon.edges().bound_count(), config->bindings.size());
    daemon.run();
    // Everything is given back: a second stop signal must not end the process as killed.
    SignalWatch::ignore_further();
    ::syslog(LOG_INFO,
             "stopped; %llu packets were lost at the pool floor, refused, unread or not taken",
             static_cast<unsigned long long>(daemon.packets_lost()));
    ::closelog();
    return 0;
}
