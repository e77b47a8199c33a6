#include "QuellinEdges/Log.h"

#include <cstdio>

namespace quellin::edges {

LogSink stderr_log() {
    return [](int severity, const std::string& message) {
        const char tag = severity >= kLogError ? 'E' : severity == kLogWarning ? 'W' : 'I';
        std::fprintf(stderr, "quellin %c %s\n", tag, message.c_str());
    };
}

} // namespace quellin::edges
