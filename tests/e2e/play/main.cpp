// altiren-play: plays an emulation through libAltirenAPI, for scripts and the benchmark.
//
//   altiren-play [--address A] [--delay-ms N] [--kbps K] [--bucket-kb B] [--loss-pct P]
//                [--reset] [-- COMMAND [ARG]...]
//
// Run it in the station's namespace (the library finds the adapter by the station's
// address, A, default $LAB_STATION_V4). --kbps limits the station's outbound direction
// ("East out"), --bucket-kb gives that gateway a bucket of B KB, --loss-pct is random loss,
// --delay-ms a fixed delay each way. --reset first ends an emulation a client left behind.
// With a COMMAND it plays, runs COMMAND, prints the East bucket's drops, stops and exits
// with COMMAND's status; without one it leaves the emulation playing, as a client that
// went away does.
#include "AltirenAPI.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int usage() {
    std::fputs("usage: altiren-play [--address A] [--delay-ms N] [--kbps K] [--bucket-kb B]\n"
               "                    [--loss-pct P] [--reset] [-- COMMAND [ARG]...]\n",
               stderr);
    return 2;
}

bool number(const char* text, double& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    out = std::strtod(text, &end);
    return *end == '\0' && out >= 0;
}

int run(char** argv) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        ::execvp(argv[0], argv);
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    const char* envAddress = std::getenv("LAB_STATION_V4");
    std::string address = envAddress ? envAddress : "198.18.0.1";
    double delay = 0, kbps = 0, bucket = 0, loss = 0;
    bool reset = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "--address" && v)
            address = v;
        else if (a == "--delay-ms")
            ok = number(v, delay);
        else if (a == "--kbps")
            ok = number(v, kbps);
        else if (a == "--bucket-kb")
            ok = number(v, bucket);
        else if (a == "--loss-pct")
            ok = number(v, loss);
        else if (a == "--reset") {
            reset = true;
            continue;
        } else
            return usage();
        if (!ok)
            return usage();
        ++i;
    }

    PlayParameters p;
    NuvexSetDefaultPlayParams(&p);
    in_addr ip{};
    if (::inet_pton(AF_INET, address.c_str(), &ip) != 1)
        return usage();
    p.adapterAddress = ip.s_addr;
    p.minDelay = p.maxDelay = static_cast<uint16_t>(delay);
    if (kbps > 0)
        p.eastOutBandwidth = kbps;
    if (bucket > 0) {
        p.eastBucketMode = 0;
        p.eastBucketSize = static_cast<uint16_t>(bucket);
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
    std::printf("playing: delay %.0f ms each way, East out %s, bucket %s, loss %.1f %%\n", delay,
                rate.c_str(), size.c_str(), loss);
    std::fflush(stdout);
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

    const int status = run(argv + i);
    uint32_t stats[12] = {};
    if (GetLastSecondStatistics(stats) == 0)
        std::printf("driver: East bucket drops %u\n", stats[10]);
    const int stopped = NuvexStopEmulation();
    if (stopped == 0)
        std::printf("stopped\n");
    else
        std::printf("stop failed: %d %s\n", stopped, NuvexResultText(stopped));
    return status;
}
