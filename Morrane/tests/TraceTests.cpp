#include "Morrane/STrace.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::TempDir;

namespace {

std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> out;
    if (fs::exists(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            out.push_back(entry.path());
    return out;
}

// The trace is process-wide: each test starts from the state of a new process, so the
// tests pass one per process and all in one.
struct FreshTrace : CSTrace {
    static void Start() { Reset(); }
};

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreshTrace::Start();
        CSTrace::SetTraceDir(dir.str().c_str());
    }
    void TearDown() override { FreshTrace::Start(); }

    std::string only_file_text() {
        auto files = files_in(dir.path());
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : read_file(files.front());
    }

    TempDir dir{"trace"};
};

TEST_F(TraceTest, LevelZeroWritesNothingAndCreatesNoFile) {
    CSTrace* trace = CSTrace::instance();
    for (int severity : {1, 2, 3, 7})
        trace->Trace(severity, "message", "C", "M", "F", 1);
    trace->Normal_Trace("plain");
    EXPECT_TRUE(files_in(dir.path()).empty());
}

TEST_F(TraceTest, LevelGatesSeverities) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eWarning);
    trace->Trace(CSTrace::eInformation, "info", "C", "M", "F", 1);
    trace->Trace(CSTrace::eWarning, "warn", "C", "M", "F", 2);
    trace->Trace(CSTrace::eError, "error", "C", "M", "F", 3);
    std::string text = only_file_text();
    EXPECT_EQ(text.find("info"), std::string::npos);
    EXPECT_NE(text.find("] [W]\twarn\r\n"), std::string::npos);
    EXPECT_NE(text.find("] [E]\terror\r\n"), std::string::npos);
}

TEST_F(TraceTest, RecordLayout) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "Entered Method", "CSTopovelDocParser", "Parse", "STopovel.cpp",
                 42);
    std::string text = only_file_text();
    std::regex layout(
        R"(^\[\d\d-[A-Z][a-z]+ \d\d:\d\d:\d\d\] \[E\]\tEntered Method\r\n)"
        R"( CSTopovelDocParser::Parse\(\) STopovel\.cpp 42 Thread ID = \[ \d+ \]\r\n\r\n$)");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST_F(TraceTest, UnknownSeverityPrintsBlankLetter) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(7, "odd", "C", "M", "F", 1);
    EXPECT_NE(only_file_text().find("] [ ]\todd"), std::string::npos);
}

TEST_F(TraceTest, PercentInMessageIsWrittenVerbatim) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "value %d %s %n", "C", "M", "F", 1);
    trace->Normal_Trace("plain %s\n");
    std::string text = only_file_text();
    EXPECT_NE(text.find("value %d %s %n\r\n"), std::string::npos);
    EXPECT_NE(text.find("plain %s\r\n"), std::string::npos);
}

TEST_F(TraceTest, EveryLineEndsInCrLf) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "one\ntwo\r\nthree\n", "C", "M", "F", 1);
    trace->Normal_Trace("a\nb\n");
    std::string text = only_file_text();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
    EXPECT_NE(text.find("one\r\ntwo\r\nthree\r\n"), std::string::npos);
}

TEST_F(TraceTest, FileNameHasPrefixAndTime) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "x", "C", "M", "F", 1);
    auto files = files_in(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                                 std::regex(R"(cgi_trace_\d\d_\d\d_\d\d\.txt)")));
}

TEST_F(TraceTest, EmptyPrefixGivesSTrc) {
    CSTrace::SetFileNamePrefix("");
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "x", "C", "M", "F", 1);
    auto files = files_in(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("STrc", 0), 0u);
}

TEST_F(TraceTest, EmptyDirectoryWritesIntoCurrentDirectory) {
    TempDir cwd{"cwd"};
    auto previous = fs::current_path();
    fs::current_path(cwd.path());
    CSTrace::SetTraceDir("");
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "x", "C", "M", "F", 1);
    CSTrace::Delete();
    fs::current_path(previous);
    auto files = files_in(cwd.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("cgi_trace_", 0), 0u);
}

TEST_F(TraceTest, MissingDirectoryIsCreatedOneLevel) {
    CSTrace::SetTraceDir((dir / "logs").c_str());
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "x", "C", "M", "F", 1);
    EXPECT_EQ(files_in(dir / "logs").size(), 1u);
}

TEST_F(TraceTest, UnwritableDirectoryDropsRecordsAndRetries) {
    CSTrace::SetTraceDir((dir / "a" / "b").c_str()); // two levels: never created
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "lost", "C", "M", "F", 1);
    EXPECT_FALSE(fs::exists(dir / "a"));
    fs::create_directories(dir / "a" / "b");
    trace->Trace(CSTrace::eError, "kept", "C", "M", "F", 1);
    auto files = files_in(dir / "a" / "b");
    ASSERT_EQ(files.size(), 1u);
    std::string text = read_file(files[0]);
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(TraceTest, ReopenAfterDeleteTruncatesSameFile) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "first run", "C", "M", "F", 1);
    auto before = files_in(dir.path());
    ASSERT_EQ(before.size(), 1u);
    CSTrace::Delete();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // a new time would differ
    CSTrace::instance()->Trace(CSTrace::eError, "second run", "C", "M", "F", 1);
    auto after = files_in(dir.path());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(before[0], after[0]);
    std::string text = read_file(after[0]);
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_NE(text.find("second run"), std::string::npos);
}

TEST_F(TraceTest, MonthNameIsEnglishUnderAnotherLocale) {
    // Whatever locales exist here, the C locale's names must be used.
    std::string previous = setlocale(LC_ALL, nullptr);
    setlocale(LC_ALL, "");
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "x", "C", "M", "F", 1);
    setlocale(LC_ALL, previous.c_str());
    std::string text = only_file_text();
    std::regex english(R"(^\[\d\d-(January|February|March|April|May|June|July|August|September)"
                       R"(|October|November|December) )");
    EXPECT_TRUE(std::regex_search(text, english)) << text;
}

TEST_F(TraceTest, ConcurrentWritersNeverInterleaveWithinARecord) {
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    constexpr int kThreads = 8, kRecords = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([trace, t] {
            std::string message = "writer-" + std::to_string(t) + std::string(200, 'a' + t);
            for (int i = 0; i < kRecords; ++i)
                trace->Trace(CSTrace::eError, message.c_str(), "CWriter", "Run", "F", i);
        });
    for (auto& thread : threads)
        thread.join();
    std::string text = only_file_text();
    std::regex record(R"(\[[^\]]+\] \[E\]\twriter-(\d)([a-z]+)\r\n CWriter::Run\(\) F \d+ )"
                      R"(Thread ID = \[ \d+ \]\r\n\r\n)");
    size_t count = 0;
    auto begin = std::sregex_iterator(text.begin(), text.end(), record);
    size_t consumed = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        ASSERT_EQ(static_cast<size_t>(it->position()), consumed) << "garbage between records";
        consumed += it->length();
        int t = std::stoi((*it)[1]);
        EXPECT_EQ((*it)[2].str(), std::string(200, 'a' + t));
        ++count;
    }
    EXPECT_EQ(consumed, text.size());
    EXPECT_EQ(count, static_cast<size_t>(kThreads * kRecords));
}

TEST_F(TraceTest, DeleteRacingTraceIsSafe) {
    CSTrace::instance()->SetCurrentErrorLevel(CSTrace::eInformation);
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&] {
            while (!stop)
                CSTrace::instance()->Trace(CSTrace::eError, "racing", "C", "M", "F", 1);
        });
    for (int i = 0; i < 200; ++i)
        CSTrace::Delete();
    stop = true;
    for (auto& writer : writers)
        writer.join();
    SUCCEED();
}

TEST_F(TraceTest, ReopenAfterDeleteInALongDirectoryUsesTheSameFile) {
    // A directory of 250 characters: the file name is longer than 260.
    fs::path longDir = dir.path();
    while (longDir.string().size() < 250)
        longDir /= std::string(std::min<size_t>(60, 250 - longDir.string().size() - 1), 'd');
    ASSERT_EQ(longDir.string().size(), 250u);
    fs::create_directories(longDir);
    CSTrace::SetTraceDir(longDir.c_str());
    CSTrace* trace = CSTrace::instance();
    trace->SetCurrentErrorLevel(CSTrace::eInformation);
    trace->Trace(CSTrace::eError, "first run", "C", "M", "F", 1);
    auto before = files_in(longDir);
    ASSERT_EQ(before.size(), 1u);
    CSTrace::Delete();
    CSTrace::instance()->Trace(CSTrace::eError, "second run", "C", "M", "F", 1);
    auto after = files_in(longDir);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(before[0], after[0]);
    std::string text = read_file(after[0]);
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_NE(text.find("second run"), std::string::npos);
}

TEST_F(TraceTest, LongDirectoryIsCutTo260) {
    std::string longDir(400, 'x');
    CSTrace::SetTraceDir(longDir.c_str());
    std::string name;
    struct Probe : CSTrace {
        static void Name(std::string& out) { GetFullTraceFileName(out); }
    };
    Probe::Name(name);
    EXPECT_EQ(name.rfind(std::string(260, 'x') + "/cgi_trace_", 0), 0u);
    EXPECT_EQ(name.find(std::string(261, 'x')), std::string::npos);
}

} // namespace
