// Default play parameters: zero everywhere but the documented defaults.
#pragma once

#include "AltirenAPI.h"

namespace altiren_api {

void set_default_play_params(PlayParameters& p);

} // namespace altiren_api
