// The Internet checksum under the names the driver's code and the control messages use:
// the one routine of AltirenChecksum, nothing of its own.
#pragma once

#include "AltirenChecksum/InternetChecksum.h"

namespace quellin::wire {

using altiren::internet_checksum;
using altiren::internet_fold;
using altiren::internet_sum;
using altiren::ipv4_header_checksum_ok;

} // namespace quellin::wire
