#include "Fendrel/NxTrace.h"

#include "Morrane/STrace.h"

namespace fendrel {

MethodTrace::MethodTrace(const char* className, const char* method, const char* sourceFile,
                         bool traced, int line)
    : m_pClass(className), m_pMethod(method), m_pFile(sourceFile), m_bTraced(traced),
      m_nLine(line) {
    if (m_bTraced)
        Write(CSTrace::eInformation, "Entered Method", line);
}

MethodTrace::~MethodTrace() {
    if (m_bTraced || (m_bExitAfterFailure && m_bFailed))
        Write(CSTrace::eInformation, "Exited Method", m_nLine);
}

void MethodTrace::Info(const char* message, int line) const {
    Write(CSTrace::eInformation, message, line);
}

void MethodTrace::Warning(const char* message, int line) const {
    Write(CSTrace::eWarning, message, line);
}

void MethodTrace::Error(const char* message, int line) const {
    m_bFailed = true;
    Write(CSTrace::eError, message, line);
}

void MethodTrace::Write(int severity, const char* message, int line) const {
    try {
        CSTrace::instance()->Trace(severity, message, m_pClass, m_pMethod, m_pFile, line);
    } catch (...) {
        // A trace failure never reaches the caller of a library operation.
    }
}

} // namespace fendrel
