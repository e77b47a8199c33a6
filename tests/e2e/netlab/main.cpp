// altiren-netlab: builds the test lab, runs one command beside it, removes it.
//
//   altiren-netlab [--tag T] [--timeout-s S] [--wire-cmd CMD [--wire-log FILE]
//                  [--station-tap IF]] -- COMMAND [ARG]...
//
// Without --wire-cmd the wire namespace bridges the station and the network
// with a kernel bridge. With it, CMD runs under `sh -c` in the wire namespace
// in place of the bridge; with --station-tap it must create that interface and
// move it into the station namespace, and the lab then gives it the station's
// addresses. COMMAND runs in the caller's namespace with these variables set:
// LAB_STATION, LAB_WIRE, LAB_NETWORK (namespace names), LAB_STATION_IF,
// LAB_STATION_V4, LAB_NETWORK_V4, LAB_STATION_V6, LAB_NETWORK_V6, ALTIREN_TRAFFIC.
// The exit status is COMMAND's. `altiren-netlab --sweep` only removes the
// namespaces that lab processes no longer running left behind.
#include "NetnsLab/Flows.h"
#include "NetnsLab/Lab.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<int> g_signal{0};

void on_signal(int sig) {
    g_signal = sig;
}

int usage() {
    std::fputs("usage: altiren-netlab [--tag T] [--timeout-s S] [--wire-cmd CMD [--wire-log FILE]"
               " [--station-tap IF]] -- COMMAND [ARG]...\n"
               "       altiren-netlab --sweep\n",
               stderr);
    return 2;
}

int run_command(const std::vector<std::string>& cmd, int timeoutS) {
    std::vector<char*> args;
    for (const auto& a : cmd)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::execvp(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    ::setpgid(pid, pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutS);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 && errno != EINTR)
            return 1;
        if (g_signal || std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "altiren-netlab: %s, ending the command\n",
                         g_signal ? "interrupted" : "time is up");
            ::kill(-pid, SIGTERM);
            std::this_thread::sleep_for(std::chrono::seconds(1));
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return 124;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

int main(int argc, char** argv) {
    netnslab::LabOptions opts;
    std::string wireCmd;
    std::string wireLog;
    std::string stationTap;
    int timeoutS = 600;
    std::vector<std::string> cmd;
    if (argc == 2 && std::string(argv[1]) == "--sweep") {
        std::printf("removed %d namespaces\n", netnslab::Lab::sweep_stale());
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            cmd.assign(argv + i + 1, argv + argc);
            break;
        }
        if (i + 1 >= argc)
            return usage();
        std::string v = argv[++i];
        if (a == "--tag")
            opts.tag = v;
        else if (a == "--timeout-s")
            timeoutS = std::atoi(v.c_str());
        else if (a == "--wire-cmd")
            wireCmd = v;
        else if (a == "--wire-log")
            wireLog = v;
        else if (a == "--station-tap")
            stationTap = v;
        else
            return usage();
    }
    if (cmd.empty() || timeoutS <= 0 || (!stationTap.empty() && wireCmd.empty()))
        return usage();
    if (auto why = netnslab::Lab::unavailable_reason()) {
        std::fprintf(stderr, "altiren-netlab: %s\n", why->c_str());
        return 77;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGHUP, on_signal);

    // Known before the lab exists, so that the wire command can use them too.
    ::setenv("LAB_STATION", netnslab::Lab::namespace_name("st", opts.tag).c_str(), 1);
    ::setenv("LAB_WIRE", netnslab::Lab::namespace_name("wi", opts.tag).c_str(), 1);
    ::setenv("LAB_NETWORK", netnslab::Lab::namespace_name("nw", opts.tag).c_str(), 1);
    ::setenv("LAB_STATION_V4", netnslab::kStationV4, 1);
    ::setenv("LAB_NETWORK_V4", netnslab::kNetworkV4, 1);
    ::setenv("LAB_STATION_V6", netnslab::kStationV6, 1);
    ::setenv("LAB_NETWORK_V6", netnslab::kNetworkV6, 1);
    ::setenv("ALTIREN_TRAFFIC", netnslab::traffic_program().c_str(), 1);

    if (!wireCmd.empty()) {
        opts.wire = netnslab::WirePath::Hook;
        if (!stationTap.empty())
            opts.station = netnslab::StationLink::External;
        opts.start_wire = [&](netnslab::Lab& lab) {
            lab.spawn(lab.wire(), {"sh", "-c", wireCmd}, wireLog.empty() ? "/dev/null" : wireLog);
            if (!stationTap.empty())
                lab.attach_station(stationTap, netnslab::Millis(10000));
        };
    }
    int status = 1;
    try {
        netnslab::Lab lab(opts);
        ::setenv("LAB_STATION_IF", lab.station_if().c_str(), 1);
        status = run_command(cmd, timeoutS);
        if (!lab.teardown()) {
            std::fputs("altiren-netlab: some namespaces could not be removed\n", stderr);
            if (status == 0)
                status = 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "altiren-netlab: %s\n", e.what());
        return 1;
    }
    return status;
}
