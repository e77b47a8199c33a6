// The command line of altiren-play, apart from the program so that its limits are tested:
// a value its field in the play parameters cannot hold is refused, not cut.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace altiren_play {

struct PlayOptions {
    std::optional<std::string> address; // none: the station's own
    uint16_t delayMs = 0;
    double kbps = 0;       // 0: unlimited
    uint16_t bucketKb = 0; // 0: no bucket
    double lossPct = 0;
    bool reset = false;
    bool help = false; // --help: the usage, nothing else
    int command = 0;   // index of the command's first argument; 0 when there is none
};

// Nullopt with a reason in `error` for an unknown option, a missing value or one out of
// its field's range.
std::optional<PlayOptions> parse_play_options(int argc, const char* const* argv,
                                              std::string& error);

// The usage: the options and what each one plays.
std::string play_usage();

} // namespace altiren_play
