// Lays the checked play values out as the driver's play block.
#pragma once

#include "AltirenPlayCheck/PlayCheck.h"
#include "quellin_wire/DriverPlayBlock.h"

namespace altiren_api {

// The fixed part and, when there are samples, the tail (delay half, then loss half).
quellin::wire::DriverPlayBlock build_play_block(const PlayBlockValues& v);

} // namespace altiren_api
