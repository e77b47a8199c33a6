// Child processes for network tests: started in a network namespace, with their
// output read through pipes, every wait bounded in time.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace netnslab {

using Millis = std::chrono::milliseconds;

// Result of a command run to its end.
struct RunResult {
    int status = -1;        // exit code; 128 + signal when killed by one
    bool timed_out = false; // killed because it outlived its time
    std::string out;
    std::string err;
    bool ok() const { return status == 0 && !timed_out; }
};

// A running child. Its stdout and stderr are pipes; the destructor ends it
// (SIGTERM, then SIGKILL after a grace period) and reaps it.
class Process {
public:
    // Starts argv[0] (searched in PATH) with the network namespace `netns`
    // entered first; an empty name keeps the caller's namespace. Inside a
    // namespace the child also gets its own mount namespace with /sys of that
    // network namespace, as `ip netns exec` does. With `log_path`, stdout and
    // stderr are appended to that file instead of read through pipes (for
    // long-running chatty children). Throws std::runtime_error.
    static Process start(const std::string& netns, const std::vector<std::string>& argv,
                         const std::string& log_path = "");

    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    pid_t pid() const { return m_pid; }
    // False once the child has ended (it is reaped then).
    bool running();
    bool started() const { return m_pid > 0; }
    const std::string& name() const { return m_name; }

    // Next line of stdout (without the newline), or nothing when the child
    // closed stdout or the time ran out.
    std::optional<std::string> read_line(Millis timeout);
    // Waits for a stdout line that starts with `prefix`; lines before it are kept
    // in the output buffer. Nothing when the time runs out or stdout closes.
    std::optional<std::string> wait_for_line(const std::string& prefix, Millis timeout);

    // Waits up to `timeout` for the child to end, draining its output; kills it
    // when the time runs out. Returns everything read from stdout and stderr.
    RunResult wait(Millis timeout);
    // Sends SIGTERM, waits up to `grace`, then SIGKILL; returns like wait().
    RunResult stop(Millis grace = Millis(2000));

    // Output read so far (wait_for_line keeps the lines it passed over here).
    const std::string& stdout_text() const { return m_out; }
    const std::string& stderr_text() const { return m_err; }

private:
    bool pump(Millis timeout); // reads what the pipes hold; false when both closed
    void close_pipes();
    bool reap(bool block);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    int m_status = -1;
    bool m_reaped = false;
    std::string m_name;
    std::string m_out;
    std::string m_err;
    std::string m_lineBuf; // stdout not yet handed out as lines
    std::size_t m_lineScan = 0;
};

// Runs a command to its end in `netns` (empty: the caller's), killing it after
// `timeout`.
RunResult run(const std::string& netns, const std::vector<std::string>& argv,
              Millis timeout = Millis(10000));

// Runs a command and throws std::runtime_error with its stderr when it fails.
std::string run_checked(const std::string& netns, const std::vector<std::string>& argv,
                        Millis timeout = Millis(10000));

} // namespace netnslab
