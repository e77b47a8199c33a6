#include "Morrane/STrace.h"

#include "Morrane/Mutex.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxPath = 260;

using orvane::morrane::CMutex;
using orvane::morrane::CMutexLock;

// All state is process-wide. The instance is never destroyed: Delete() only closes
// the file, so a thread still inside Trace() never runs on a destroyed object.
struct TraceState {
    CSTrace object;
    std::atomic<CSTrace*> instance{nullptr};
    std::atomic<int> level{0};
    char directory[kMaxPath + 1] = "/var/log/";
    char prefix[kMaxPath + 1] = "cgi_trace_";
    // Whole, however long the directory makes it: a reopen finds the same file.
    std::string fullName;
    FILE* file = nullptr;
    bool fileOpen = false;
    CMutex lock;
};

TraceState& state() {
    // Leaked on purpose: traces from static destructors of other units stay safe.
    static TraceState* s = new TraceState;
    return *s;
}

void copy_bounded(char (&target)[kMaxPath + 1], const char* source) {
    size_t n = source ? strnlen(source, kMaxPath) : 0;
    if (n)
        std::memcpy(target, source, n);
    target[n] = '\0';
}

// strftime under the C locale: month names stay English whatever the process locale.
std::string format_time(const char* format) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char buffer[128];
    size_t n = cLocale ? strftime_l(buffer, sizeof buffer, format, &local, cLocale)
                       : strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

const char* severity_letter(int severity) {
    switch (severity) {
    case CSTrace::eInformation:
        return "I";
    case CSTrace::eWarning:
        return "W";
    case CSTrace::eError:
        return "E";
    default:
        return " ";
    }
}

// Every line of the file ends in CR LF: each bare LF becomes CR LF.
std::string with_crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace

CSTrace::~CSTrace() = default;

CSTrace* CSTrace::instance() {
    TraceState& s = state();
    CSTrace* current = s.instance.load(std::memory_order_acquire);
    if (!current) {
        CMutexLock guard(s.lock);
        current = s.instance.load(std::memory_order_relaxed);
        if (!current) {
            current = &s.object;
            s.instance.store(current, std::memory_order_release);
        }
    }
    return current;
}

namespace {

void close_file(TraceState& s) {
    if (s.fileOpen) {
        std::fclose(s.file);
        s.file = nullptr;
        s.fileOpen = false;
    }
}

} // namespace

void CSTrace::Delete() {
    TraceState& s = state();
    CMutexLock guard(s.lock);
    if (!s.instance.load())
        return;
    close_file(s);
    s.instance.store(nullptr);
}

void CSTrace::Reset() {
    TraceState& s = state();
    CMutexLock guard(s.lock);
    close_file(s);
    s.instance.store(nullptr);
    s.level.store(eNone);
    copy_bounded(s.directory, "/var/log/");
    copy_bounded(s.prefix, "cgi_trace_");
    s.fullName.clear();
}

void CSTrace::SetTraceDir(const char* dir) {
    TraceState& s = state();
    CMutexLock guard(s.lock);
    copy_bounded(s.directory, dir);
}

void CSTrace::SetFileNamePrefix(const char* prefix) {
    TraceState& s = state();
    CMutexLock guard(s.lock);
    copy_bounded(s.prefix, prefix);
}

void CSTrace::SetCurrentErrorLevel(eTraceSeverity level) {
    state().level.store(level);
}

CSTrace::eTraceSeverity CSTrace::GetCurrentErrorLevel() const {
    return static_cast<eTraceSeverity>(state().level.load());
}

void CSTrace::Trace(eTraceSeverity severity, const char* message, const char* className,
                    const char* methodName, const char* sourceFile, int line) {
    int level = state().level.load(std::memory_order_relaxed);
    if (level <= 0 || severity < level)
        return;
    auto text = [](const char* s) { return s ? s : ""; };
    std::string record;
    record.reserve(160);
    record += "[";
    record += format_time("%d-%B %H:%M:%S");
    record += "] [";
    record += severity_letter(severity);
    record += "]\t";
    record += text(message);
    record += "\n ";
    record += text(className);
    record += "::";
    record += text(methodName);
    record += "() ";
    record += text(sourceFile);
    record += " ";
    record += std::to_string(line);
    record += " Thread ID = [ ";
    record += std::to_string(static_cast<long>(gettid()));
    record += " ]\n\n";
    Trace(record);
}

void CSTrace::Normal_Trace(const char* text) {
    if (text)
        Trace(std::string(text));
}

void CSTrace::Trace(const std::string& text) {
    TraceState& s = state();
    if (s.level.load(std::memory_order_relaxed) <= 0)
        return;
    const std::string out = with_crlf(text);
    CMutexLock guard(s.lock);
    if (!guard.locked())
        return;
    if (!s.fileOpen && !bCreateTraceFile())
        return;
    std::fwrite(out.data(), 1, out.size(), s.file);
    std::fflush(s.file);
}

void CSTrace::GetFullTraceFileName(std::string& name) {
    TraceState& s = state();
    if (s.directory[0])
        ::mkdir(s.directory, 0755);
    if (!s.fullName.empty()) {
        name = s.fullName;
        return;
    }
    name = s.directory;
    if (!name.empty() && name.back() != '/')
        name += "/";
    name += s.prefix[0] ? s.prefix : "STrc";
    name += format_time("%H_%M_%S.txt");
}

bool CSTrace::bCreateTraceFile() {
    TraceState& s = state();
    std::string name;
    GetFullTraceFileName(name);
    s.fullName = name;
    s.file = std::fopen(name.c_str(), "w+");
    if (!s.file)
        return false;
    s.fileOpen = true;
    return true;
}
