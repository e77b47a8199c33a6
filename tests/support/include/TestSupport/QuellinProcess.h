// The quellin daemon in a process of its own for a test: started on a control socket (by
// default in the foreground with the test adapter and a fixed seed), ended by a signal and
// waited for.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

// True when the Unix stream socket at `path` takes a connection (closed again at once).
inline bool can_connect_unix(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

class QuellinProcess {
public:
    QuellinProcess() = default;
    ~QuellinProcess() { stop(SIGTERM); }
    QuellinProcess(const QuellinProcess&) = delete;
    QuellinProcess& operator=(const QuellinProcess&) = delete;

    // Runs `binary` on the control socket `device` and waits up to 5 s for the socket to
    // take connections; false when the fork fails or nothing listens by then. The process
    // inherits this one's environment (the registry root it reads).
    bool start(const std::string& binary, const std::string& device) {
        return start(binary, {"--foreground", "--device", device, "--seed", "5", "--test-adapter"},
                     device);
    }

    // The same with the arguments `args` after the program's name, and standard error
    // into the file `errFile` unless it is empty.
    bool start(const std::string& binary, const std::vector<std::string>& args,
               const std::string& device, const std::string& errFile = {}) {
        stop(SIGTERM);
        std::vector<char*> argv{const_cast<char*>("quellin")};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            if (!errFile.empty())
                std::freopen(errFile.c_str(), "w", stderr);
            ::execv(binary.c_str(), argv.data());
            ::_exit(127);
        }
        for (int i = 0; i < 250; ++i) {
            if (can_connect_unix(device))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Sends `signal` and waits for the process: its wait status, or nothing when none was
    // running or the wait failed.
    std::optional<int> stop(int signal) {
        if (m_pid <= 0)
            return std::nullopt;
        const pid_t pid = m_pid;
        m_pid = -1;
        ::kill(pid, signal);
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid)
            return std::nullopt;
        return status;
    }

    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

} // namespace testsupport
