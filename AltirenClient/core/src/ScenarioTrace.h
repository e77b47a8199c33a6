// Trace records of the scenario code: class name, method, source file and line.
#pragma once

#include <Morrane/STrace.h>

#define SCN_TRACE(severity, message, className, method)                                            \
    CSTrace::instance()->Trace(severity, message, className, method, __FILE__, __LINE__)

// The scenario conversions belong to the driver manager: their records name its source.
#define CONVERSION_TRACE(severity, message, method)                                                \
    CSTrace::instance()->Trace(severity, message, "CDriverMngr", method, "DriverMngr", __LINE__)
