#include "AltirenAPI/DriverLog.h"

#include "platform/AccessGroup.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <syslog.h>

namespace altiren_api {

namespace {
std::mutex g_mutex;
std::string g_last;
std::function<void(const std::string&)> g_sink;
} // namespace

std::string unreachable_cause(const std::string& path, int error) {
    std::string why;
    switch (error) {
    case ENOENT:
        why = "no daemon: there is no control socket";
        break;
    case ECONNREFUSED:
        why = "no daemon listens on the control socket";
        break;
    case EACCES:
    case EPERM:
        why = "permission refused: the control socket is for " + platform::access_group_advice();
        break;
    default:
        why = "the control socket cannot be reached";
        break;
    }
    return why + " (" + path + ": errno " + std::to_string(error) + ", " + std::strerror(error) +
           ")";
}

std::string lost_cause(const std::string& path, uint32_t win32Error) {
    return "the daemon on " + path + " did not answer (error " + std::to_string(win32Error) + ")";
}

std::string not_installed_cause(const std::string& root, const std::string& missing) {
    return "the driver is not installed: " + missing + " (registry store " + root +
           "; quellin --install writes it)";
}

void report_cause(const std::string& cause) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (cause == g_last)
            return;
        g_last = cause;
        sink = g_sink;
    }
    if (sink)
        sink(cause);
    else
        ::syslog(LOG_USER | LOG_WARNING, "AltirenAPI: %s", cause.c_str());
}

void clear_cause() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_last.clear();
}

void set_cause_sink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
    g_last.clear();
}

} // namespace altiren_api
