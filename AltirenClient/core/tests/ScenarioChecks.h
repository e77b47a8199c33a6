// The control library's own checks of a play record, run on a converted record.
#pragma once

#include "AltirenClient/PlayParams.h"

#include <AltirenAPI.h>
#include <AltirenAPI/PlayCheck.h>

namespace scenario_test {

inline int RealChecks(const PlayParameters& p) {
    altiren_api::PlayBlockValues block;
    return altiren_api::check_and_convert(p, block);
}

using OwnedParams = CPlayParams;

} // namespace scenario_test
