// Where the edges report what happens to them: severities 1 information, 2 warning,
// 3 error. The daemon routes it to its trace log; the default writes to stderr.
#pragma once

#include <functional>
#include <string>

namespace quellin::edges {

using LogSink = std::function<void(int severity, const std::string& message)>;

inline constexpr int kLogInfo = 1;
inline constexpr int kLogWarning = 2;
inline constexpr int kLogError = 3;

LogSink stderr_log();

} // namespace quellin::edges
