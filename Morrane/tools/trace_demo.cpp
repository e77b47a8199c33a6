// Writes a few trace records into a folder and prints the file's name.
#include "Morrane/STrace.h"

#include <cstdio>
#include <dirent.h>
#include <string>

int main(int argc, char** argv) {
    const char* dir = argc > 1 ? argv[1] : "/tmp/altiren-trace";
    CSTrace::SetTraceDir(dir);
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eInformation, "Entered Method", "CTraceDemo", "main", __FILE__, __LINE__);
    trace->Trace(CSTrace::eWarning, "a warning with %d in it", "CTraceDemo", "main", __FILE__,
                 __LINE__);
    trace->Trace(CSTrace::eError, "an error\nover two lines", "CTraceDemo", "main", __FILE__,
                 __LINE__);
    CSTrace::Delete();
    std::printf("trace records written to %s\n", dir);
    return 0;
}
