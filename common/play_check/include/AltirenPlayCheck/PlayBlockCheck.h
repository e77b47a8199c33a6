// The library's checks applied to a play block as the driver receives it: the block is read
// back into the caller's parameters it stands for, and those meet check_and_convert. So the
// driver refuses every field the library refuses, with one set of checks for both.
#pragma once

#include "quellin_wire/DriverPlayBlock.h"

namespace altiren_api {

// 0 when every field of the block passes, else the result code of the first check that
// fails. The adapter fields are not checked (the library fills them itself), nor the loss
// half of the tail when the loss type is not a recorded one (its content is undefined).
int check_play_block_fields(const quellin::wire::DriverPlayBlock& block);

} // namespace altiren_api
