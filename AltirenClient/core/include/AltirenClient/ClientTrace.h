// Trace lines of the client's classes (core and windows): class name, method, file and
// line.
#pragma once

#include <Morrane/STrace.h>

#define CLIENT_TRACE(severity, message, className)                                                 \
    CSTrace::instance()->Trace(severity, message, className, __func__, __FILE__, __LINE__)
#define CLIENT_TRACE_ENTERED(className)                                                            \
    CLIENT_TRACE(CSTrace::eInformation, "Entered Method", className)
#define CLIENT_TRACE_EXITED(className)                                                             \
    CLIENT_TRACE(CSTrace::eInformation, "Exited Method", className)
