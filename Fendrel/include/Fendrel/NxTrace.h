// Trace records of the library's methods: "Entered Method" when a method starts,
// "Exited Method" on every way out, and its failure texts in between.
#pragma once

namespace fendrel {

class MethodTrace {
public:
    // With `traced` false the method writes no entry and exit records, only its
    // failure records.
    MethodTrace(const char* className, const char* method, const char* sourceFile,
                bool traced = true, int line = __builtin_LINE());
    ~MethodTrace();
    MethodTrace(const MethodTrace&) = delete;
    MethodTrace& operator=(const MethodTrace&) = delete;

    void Info(const char* message, int line = __builtin_LINE()) const;
    void Warning(const char* message, int line = __builtin_LINE()) const;
    void Error(const char* message, int line = __builtin_LINE()) const;
    void Write(int severity, const char* message, int line = __builtin_LINE()) const;

    // For a method without entry and exit records: its failure records (Error) are
    // followed by an exit record all the same.
    void ExitAfterFailure() { m_bExitAfterFailure = true; }

private:
    const char* m_pClass;
    const char* m_pMethod;
    const char* m_pFile;
    bool m_bTraced;
    int m_nLine; // of the entry record; the exit record carries it too
    bool m_bExitAfterFailure = false;
    mutable bool m_bFailed = false;
};

} // namespace fendrel

// The usual record of a method: "trace", named after the enclosing function.
#define NX_METHOD_TRACE(className, sourceFile)                                                     \
    ::fendrel::MethodTrace trace(className, __func__, sourceFile)
