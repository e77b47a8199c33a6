#include "PlayOptions.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace altiren_play {

namespace {

// The largest rate the play block holds: kbit/s times 10 in 32 bits, short of "unlimited".
constexpr double kMaxKbps = 429496729.0;

bool number(const char* text, double& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    out = std::strtod(text, &end);
    return *end == '\0' && std::isfinite(out) && out >= 0;
}

bool whole(const char* text, double max, uint16_t& out) {
    double v = 0;
    if (!number(text, v) || v != std::floor(v) || v > max)
        return false;
    out = static_cast<uint16_t>(v);
    return true;
}

} // namespace

std::optional<PlayOptions> parse_play_options(int argc, const char* const* argv,
                                              std::string& error) {
    PlayOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--") {
            if (i + 1 >= argc) {
                error = "-- needs a command";
                return std::nullopt;
            }
            o.command = i + 1;
            return o;
        }
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        if (a == "--reset") {
            o.reset = true;
            continue;
        }
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = v != nullptr;
        if (a == "--address" && v) {
            o.address = v;
        } else if (a == "--delay-ms") {
            ok = whole(v, 65535, o.delayMs);
            if (!ok)
                error = "--delay-ms takes a whole number of milliseconds from 0 to 65535";
        } else if (a == "--kbps") {
            ok = number(v, o.kbps) && o.kbps <= kMaxKbps;
            if (!ok)
                error = "--kbps takes a rate from 0 (unlimited) to 429496729 kbit/s";
        } else if (a == "--bucket-kb") {
            ok = whole(v, 65534, o.bucketKb);
            if (!ok)
                error = "--bucket-kb takes a whole number of kilobytes from 0 to 65534";
        } else if (a == "--loss-pct") {
            ok = number(v, o.lossPct) && o.lossPct <= 100;
            if (!ok)
                error = "--loss-pct takes a percentage from 0 to 100";
        } else {
            error = "unknown option " + std::string(a);
            return std::nullopt;
        }
        if (!ok) {
            if (error.empty())
                error = std::string(a) + " needs a value";
            return std::nullopt;
        }
        ++i;
    }
    return o;
}

std::string play_usage() {
    return "usage: altiren-play [--address A] [--delay-ms N] [--kbps K] [--bucket-kb B]\n"
           "                    [--loss-pct P] [--reset] [-- COMMAND [ARG]...]\n"
           "Plays an emulation for the station's address A (by default the first of the\n"
           "daemon's adapters with an IPv4 address here), runs COMMAND and stops it; without\n"
           "COMMAND the emulation is left playing.\n"
           "  --delay-ms N   a fixed delay of N ms in each direction\n"
           "  --kbps K       limits East out only, the station's upload, to K kbit/s (2.4 to\n"
           "                 10240); the station's download is not limited\n"
           "  --bucket-kb B  a bucket of B KB for that limit (none: the queue is unbounded)\n"
           "  --loss-pct P   random loss of P % in each direction\n"
           "  --reset        first ends an emulation a client left playing\n"
           "What it plays and the drops at the end go to standard error; standard output is\n"
           "COMMAND's alone. Exit status: COMMAND's; 1 when nothing could be played; 2 usage.\n";
}

} // namespace altiren_play
