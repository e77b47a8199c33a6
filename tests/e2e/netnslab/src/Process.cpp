#include "NetnsLab/Process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace netnslab {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

[[noreturn]] void child_fail(const char* what) {
    // Only async-signal-safe calls between fork and exec.
    const char* err = strerror(errno);
    ssize_t ignored = write(2, what, strlen(what));
    ignored = write(2, ": ", 2);
    ignored = write(2, err, strlen(err));
    ignored = write(2, "\n", 1);
    (void)ignored;
    _exit(127);
}

} // namespace

Process Process::start(const std::string& netns, const std::vector<std::string>& argv,
                       const std::string& log_path) {
    if (argv.empty())
        throw std::runtime_error("Process::start: empty command");
    int nsFd = -1;
    if (!netns.empty()) {
        std::string path = "/run/netns/" + netns;
        nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0)
            throw std::runtime_error("cannot open network namespace " + path + ": " +
                                     strerror(errno));
    }
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        if (nsFd >= 0)
            ::close(nsFd);
        throw std::runtime_error(std::string("pipe2: ") + strerror(errno));
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        if (nsFd >= 0)
            ::close(nsFd);
        throw std::runtime_error(std::string("pipe2: ") + strerror(errno));
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t parent = ::getpid();

    pid_t pid = ::fork();
    if (pid < 0) {
        int e = errno;
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], nsFd})
            if (fd >= 0)
                ::close(fd);
        throw std::runtime_error(std::string("fork: ") + strerror(e));
    }
    if (pid == 0) {
        // Own process group, so that stop() reaches whatever the command starts;
        // ended with the test process should that die first.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            _exit(127);
        int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, 0);
        if (!log_path.empty()) {
            int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (log < 0)
                child_fail(log_path.c_str());
            ::dup2(log, 1);
            ::dup2(log, 2);
        } else {
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
        }
        if (nsFd >= 0) {
            if (::setns(nsFd, CLONE_NEWNET) != 0)
                child_fail("setns");
            // /sys of the new network namespace, as `ip netns exec` gives it.
            if (::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_SLAVE | MS_REC, nullptr) == 0 &&
                ::umount2("/sys", MNT_DETACH) == 0)
                ::mount(netns.c_str(), "/sys", "sysfs", 0, nullptr);
        }
        ::execvp(args[0], args.data());
        child_fail(args[0]);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (nsFd >= 0)
        ::close(nsFd);
    // Keep the group id valid for kill(-pid) even before the child ran setpgid.
    ::setpgid(pid, pid);
    ::fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);

    Process p;
    p.m_pid = pid;
    p.m_outFd = outPipe[0];
    p.m_errFd = errPipe[0];
    p.m_name = argv[0];
    return p;
}

Process::Process(Process&& other) noexcept {
    *this = std::move(other);
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (started())
            stop(Millis(1000));
        close_pipes();
        m_pid = other.m_pid;
        m_outFd = other.m_outFd;
        m_errFd = other.m_errFd;
        m_status = other.m_status;
        m_reaped = other.m_reaped;
        m_name = std::move(other.m_name);
        m_out = std::move(other.m_out);
        m_err = std::move(other.m_err);
        m_lineScan = other.m_lineScan;
        other.m_pid = -1;
        other.m_outFd = -1;
        other.m_errFd = -1;
        other.m_reaped = false;
    }
    return *this;
}

Process::~Process() {
    if (started() && !m_reaped)
        stop(Millis(1000));
    close_pipes();
}

void Process::close_pipes() {
    if (m_outFd >= 0)
        ::close(m_outFd);
    if (m_errFd >= 0)
        ::close(m_errFd);
    m_outFd = m_errFd = -1;
}

bool Process::pump(Millis timeout) {
    pollfd fds[2];
    int n = 0;
    if (m_outFd >= 0)
        fds[n++] = {m_outFd, POLLIN, 0};
    if (m_errFd >= 0)
        fds[n++] = {m_errFd, POLLIN, 0};
    if (n == 0)
        return false;
    int r = ::poll(fds, n, static_cast<int>(timeout.count()));
    if (r <= 0)
        return true;
    char buf[65536];
    for (int i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        bool isOut = fds[i].fd == m_outFd;
        // Bounded: at most a few reads per call, so a chatty child cannot hold us.
        for (int round = 0; round < 16; ++round) {
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (isOut ? m_out : m_err).append(buf, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                break;
            ::close(fds[i].fd);
            (isOut ? m_outFd : m_errFd) = -1;
            break;
        }
    }
    return m_outFd >= 0 || m_errFd >= 0;
}

std::optional<std::string> Process::read_line(Millis timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto nl = m_out.find('\n', m_lineScan);
        if (nl != std::string::npos) {
            std::string line = m_out.substr(m_lineScan, nl - m_lineScan);
            m_lineScan = nl + 1;
            return line;
        }
        if (m_outFd < 0)
            return std::nullopt;
        int left = remaining_ms(deadline);
        if (left == 0 && Clock::now() >= deadline)
            return std::nullopt;
        pump(Millis(left));
    }
}

std::optional<std::string> Process::wait_for_line(const std::string& prefix, Millis timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto line = read_line(Millis(remaining_ms(deadline)));
        if (!line)
            return std::nullopt;
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
}

bool Process::running() {
    return started() && !reap(false);
}

bool Process::reap(bool block) {
    if (m_reaped || m_pid <= 0)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == m_pid) {
        m_reaped = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
    if (r < 0) { // not our child any more
        m_reaped = true;
        return true;
    }
    return false;
}

RunResult Process::wait(Millis timeout) {
    RunResult res;
    if (!started())
        return res;
    auto deadline = Clock::now() + timeout;
    while (!reap(false)) {
        if (Clock::now() >= deadline) {
            res.timed_out = true;
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            reap(true);
            break;
        }
        int left = std::min(remaining_ms(deadline), 20);
        if (!pump(Millis(left)))
            ::usleep(static_cast<useconds_t>(left) * 1000);
    }
    // Whatever the child wrote before it ended; grandchildren holding the pipes
    // open do not keep us here past a short while.
    auto drainUntil = Clock::now() + Millis(500);
    while ((m_outFd >= 0 || m_errFd >= 0) && Clock::now() < drainUntil)
        pump(Millis(50));
    close_pipes();
    res.status = m_status;
    res.out = m_out;
    res.err = m_err;
    return res;
}

RunResult Process::stop(Millis grace) {
    if (!started())
        return {};
    if (!m_reaped) {
        ::kill(-m_pid, SIGTERM);
        ::kill(m_pid, SIGTERM);
    }
    RunResult res = wait(grace);
    // Leftovers of its group (a shell's children) go too.
    ::kill(-m_pid, SIGKILL);
    return res;
}

RunResult run(const std::string& netns, const std::vector<std::string>& argv, Millis timeout) {
    Process p = Process::start(netns, argv);
    return p.wait(timeout);
}

std::string run_checked(const std::string& netns, const std::vector<std::string>& argv,
                        Millis timeout) {
    RunResult r = run(netns, argv, timeout);
    if (!r.ok()) {
        std::string cmd;
        for (const auto& a : argv)
            cmd += (cmd.empty() ? "" : " ") + a;
        throw std::runtime_error(
            "command failed (" +
            (r.timed_out ? std::string("timed out") : "status " + std::to_string(r.status)) + ")" +
            (netns.empty() ? "" : " in " + netns) + ": " + cmd + ": " + r.err);
    }
    return r.out;
}

} // namespace netnslab
