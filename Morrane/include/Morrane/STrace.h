// Process-wide diagnostic log: one text file per process run, gated by a level.
#pragma once

#include <string>

class CSTrace {
public:
    enum eTraceSeverity { eNone = 0, eInformation = 1, eWarning = 2, eError = 3 };

    static CSTrace* instance();
    // Closes the file. The remembered file name stays, so a later record reopens
    // (and truncates) the same file.
    static void Delete();
    static void SetTraceDir(const char* dir);
    static void SetFileNamePrefix(const char* prefix);

    CSTrace() = default;
    CSTrace(const CSTrace&) {}
    CSTrace& operator=(const CSTrace&) { return *this; }
    virtual ~CSTrace();

    void SetCurrentErrorLevel(eTraceSeverity level);
    eTraceSeverity GetCurrentErrorLevel() const;

    // Writes one record when the level is above 0 and the severity reaches it.
    void Trace(eTraceSeverity severity, const char* message, const char* className,
               const char* methodName, const char* sourceFile, int line);
    void Trace(int severity, const char* message, const char* className, const char* methodName,
               const char* sourceFile, int line) {
        Trace(static_cast<eTraceSeverity>(severity), message, className, methodName, sourceFile,
              line);
    }
    // Writes the text as it stands (line ends made CR LF).
    void Normal_Trace(const char* text);

protected:
    // The writer.
    void Trace(const std::string& text);
    static void GetFullTraceFileName(std::string& name);
    // Closes the file and puts every process-wide setting back to its start value
    // (level 0, default directory and prefix, no file name chosen), as in a new
    // process: for tests that run one after the other in one process.
    static void Reset();

private:
    static bool bCreateTraceFile();
};
