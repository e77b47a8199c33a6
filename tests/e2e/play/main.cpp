// altiren-play: plays an emulation through libAltirenAPI, for scripts and the benchmark.
//
//   altiren-play [--address A] [--delay-ms N] [--kbps K] [--bucket-kb B] [--loss-pct P]
//                [--reset] [-- COMMAND [ARG]...]
//
// Run it where the station is (the library finds the adapter by the station's address).
// A, by default, is the IPv4 address of the first of the daemon's adapters that has one
// here; 0.0.0.0 names an adapter without one (the station side of an "if:" binding). A
// that matches none of the daemon's adapters is refused, as is any value its field cannot
// hold. --kbps limits the station's outbound direction ("East out") only, --bucket-kb
// gives that gateway a bucket of B KB, --loss-pct is random loss in each direction,
// --delay-ms a fixed delay each way. --reset first ends an emulation a client left behind.
// With a COMMAND it plays, runs COMMAND, tells the East bucket's drops, stops and exits
// with COMMAND's status; without one it leaves the emulation playing, as a client that
// went away does. While COMMAND runs it checks every half second that the daemon still
// plays, and says so when it no longer does (the daemon stopped, or restarted without the
// play). Its own lines go to standard error: standard output is COMMAND's.
#include "AltirenAPI.h"
#include "DaemonAdapters.h"
#include "PlayOptions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int usage(const std::string& why) {
    std::fprintf(stderr, "altiren-play: %s\n%s", why.c_str(), altiren_play::play_usage().c_str());
    return 2;
}

std::string text_of(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The address to play for: the one asked for when an adapter has it, else the station's
// own. Nothing (with the reason said) when there is none.
std::optional<uint32_t> station_address(const std::optional<std::string>& asked) {
    std::string error;
    const auto adapters = altiren_play::daemon_adapters(error);
    if (!adapters) {
        std::fprintf(stderr, "altiren-play: %s\n", error.c_str());
        return std::nullopt;
    }
    if (!asked) {
        for (const auto& a : *adapters)
            if (a.present && a.ipv4 != 0)
                return a.ipv4;
        std::fputs("altiren-play: none of the daemon's adapters has an IPv4 address here; "
                   "name one with --address\n",
                   stderr);
        return std::nullopt;
    }
    in_addr ip{};
    if (::inet_pton(AF_INET, asked->c_str(), &ip) != 1) {
        usage("--address takes an IPv4 address");
        return std::nullopt;
    }
    for (const auto& a : *adapters)
        if (a.present && a.ipv4 == ip.s_addr)
            return ip.s_addr;
    std::string known;
    for (const auto& a : *adapters)
        known += " " + a.name + (a.present ? "=" + text_of(a.ipv4) : " (not here)");
    std::fprintf(stderr,
                 "altiren-play: no adapter of the daemon has the address %s; it would play on "
                 "none (adapters:%s)\n",
                 asked->c_str(), known.empty() ? " none" : known.c_str());
    return std::nullopt;
}

// The daemon no longer plays: its control device cannot be reached, or it does not
// emulate (a daemon restarted under the play holds none).
bool play_lost() {
    uint32_t emulating = 0;
    const int rc = NuvexGetStatus(&emulating);
    return rc == NUVEX_RC_NO_DRIVER || (rc == 0 && !emulating);
}

// Runs the command and watches the play meanwhile; *lost tells whether it went.
int run(char** argv, bool* lost) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        ::execvp(argv[0], argv);
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    for (int tick = 0;; ++tick) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return 1;
        if (!*lost && tick % 10 == 9 && play_lost()) {
            *lost = true;
            std::fputs("altiren-play: the daemon no longer plays the emulation (stopped, or "
                       "restarted without it): the command runs without it\n",
                       stderr);
        }
        ::usleep(50000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto o = altiren_play::parse_play_options(argc, argv, error);
    if (!o)
        return usage(error);
    if (o->help) {
        std::fputs(altiren_play::play_usage().c_str(), stdout);
        return 0;
    }
    const auto address = station_address(o->address);
    if (!address)
        return 1;
    const bool reset = o->reset;
    const double delay = o->delayMs, kbps = o->kbps, bucket = o->bucketKb, loss = o->lossPct;
    const int i = o->command ? o->command : argc;

    PlayParameters p;
    NuvexSetDefaultPlayParams(&p);
    p.adapterAddress = *address;
    p.minDelay = p.maxDelay = o->delayMs;
    if (kbps > 0)
        p.eastOutBandwidth = kbps;
    if (bucket > 0) {
        p.eastBucketMode = 0;
        p.eastBucketSize = o->bucketKb;
    }
    if (loss > 0) {
        p.lossType = 2;
        p.randomLoss = loss;
    }
    if (reset) {
        if (NuvexForceDriverReset() != 0) {
            std::fputs("altiren-play: the driver cannot be reached\n", stderr);
            return 1;
        }
        // The driver stops the emulation it was left with on its own time.
        uint32_t emulating = 1;
        for (int n = 0; n < 250 && emulating; ++n) {
            if (NuvexGetStatus(&emulating) != 0)
                break;
            if (emulating)
                ::usleep(20000);
        }
    }
    const int rc = NuvexPlayEmulation(&p);
    if (rc != 0) {
        std::fprintf(stderr, "altiren-play: %d %s\n", rc, NuvexResultText(rc));
        return 1;
    }
    const std::string rate =
        kbps > 0 ? std::to_string(static_cast<long>(kbps)) + " kbit/s" : "unlimited";
    const std::string size =
        bucket > 0 ? std::to_string(static_cast<long>(bucket)) + " KB" : "unlimited";
    std::fprintf(stderr,
                 "playing for %s: delay %.0f ms each way, East out %s, bucket %s, loss %.1f %% "
                 "each way\n",
                 text_of(*address).c_str(), delay, rate.c_str(), size.c_str(), loss);
    // The emulation begins once the capture thread's requests are in: wait for that, so
    // that neither the command's first packets pass untouched nor a lone play leaves the
    // session open with nothing playing.
    uint32_t emulating = 0;
    for (int n = 0; n < 250 && !emulating; ++n) {
        if (NuvexGetStatus(&emulating) != 0)
            break;
        if (!emulating)
            ::usleep(20000);
    }
    if (i >= argc)
        ::_exit(emulating ? 0 : 1); // leaves the emulation playing
    if (!emulating) {
        std::fputs("altiren-play: the driver did not start emulating\n", stderr);
        NuvexStopEmulation();
        return 1;
    }

    bool lost = false;
    const int status = run(argv + i, &lost);
    uint32_t stats[12] = {};
    if (GetLastSecondStatistics(stats) == 0)
        std::fprintf(stderr, "driver: East bucket drops %u\n", stats[10]);
    const int stopped = NuvexStopEmulation();
    if (stopped == 0)
        std::fputs("stopped\n", stderr);
    else
        std::fprintf(stderr, "stop failed: %d %s\n", stopped, NuvexResultText(stopped));
    return status;
}
