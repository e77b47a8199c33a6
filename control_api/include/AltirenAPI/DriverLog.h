// Why the library answered -1 ("driver missing or unreachable"), for the system log: the
// caller sees the code and its text only. A cause is written once, and again only after
// another one was or after a call reached the daemon, so a client that polls a missing
// daemon does not fill the log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace altiren_api {

// The causes in words.
std::string unreachable_cause(const std::string& socketPath, int error);
std::string lost_cause(const std::string& socketPath, uint32_t win32Error);
std::string not_installed_cause(const std::string& registryRoot, const std::string& missing);

// Writes the cause (syslog, facility user, warning) unless it was the last one written.
void report_cause(const std::string& cause);
// The daemon answered: the next cause is written whatever it is.
void clear_cause();
// Tests: where causes go; an empty function restores syslog.
void set_cause_sink(std::function<void(const std::string&)> sink);

} // namespace altiren_api
