// The control library's own checks of a play record, run on a converted record, and what
// the tests read of a converted record.
#pragma once

#include "AltirenClient/PlayParams.h"

#include <AltirenAPI.h>
#include <AltirenPlayCheck/PlayCheck.h>

#include <cstdint>
#include <vector>

namespace scenario_test {

inline int RealChecks(const PlayParameters& p) {
    altiren_api::PlayBlockValues block;
    return altiren_api::check_and_convert(p, block);
}

using OwnedParams = CPlayParams;

// The first `count` values of a converted record's sample series, none when it has none.
inline std::vector<uint32_t> Series(const uint32_t* samples, uint32_t count) {
    return samples ? std::vector<uint32_t>(samples, samples + count) : std::vector<uint32_t>{};
}

} // namespace scenario_test
