// What the daemon says of the control requests it serves: each open, play (with the
// conditions played), stop, reset and close, with the client's process id.
#pragma once

#include "quellin_wire/DriverPlayBlock.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quellin::os {

// The conditions of a play block in one line: adapter and address, delay, the four
// bandwidths, loss, the packet effects that are switched on and the filter's addresses.
std::string describe_conditions(const wire::DriverPlayBlock& block);

// Follows the control session: which client opened it, what was loaded last.
class ControlLog {
public:
    // A control message from `pid` on `connection` and the driver's reply to it: the line
    // to log, or nothing for messages the log leaves out (flush).
    std::optional<std::string> on_command(int32_t pid, uint64_t connection, uint16_t command,
                                          const uint8_t* data, size_t dataLength, uint16_t result);

private:
    uint64_t m_sessionConnection = 0;
    int32_t m_sessionPid = 0;
    std::string m_loaded; // conditions of the last block loaded without fault
};

} // namespace quellin::os
