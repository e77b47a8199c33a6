// What the trace log writes while a piece of a test runs.
#pragma once

#include "Morrane/STrace.h"
#include "TestSupport/TempDir.h"

#include <filesystem>
#include <string>

namespace fendrel_test {

// The trace is process-wide: a capture starts from the state of a new process and
// leaves that state behind, so tests pass one per process and all in one.
struct CFreshTrace : CSTrace {
    static void Start() { Reset(); }
};

// Runs `body` with tracing at the information level into a folder of its own and
// returns what was written.
template <class Body>
std::string Traced(Body&& body) {
    testsupport::TempDir dir("fendrel-trace");
    CFreshTrace::Start();
    CSTrace::SetTraceDir(dir.str().c_str());
    CSTrace::instance()->SetCurrentErrorLevel(CSTrace::eInformation);
    body();
    CFreshTrace::Start();
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        text += testsupport::read_file(entry.path());
    return text;
}

} // namespace fendrel_test
