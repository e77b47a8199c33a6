// Driving the built program from outside as a person would: xdotool on the X display, the
// client's settings written where it reads them, the management-server stand-in's record
// and the program's trace read back.
#pragma once

#include "AltirenClient/ClientSettings.h"
#include "ClientSetup.h"
#include "MgmtServer/MgmtServer.h"
#include "NetnsLab/Process.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace programtest {

using Clock = std::chrono::steady_clock;

constexpr const char* kManagerTitle = "Pramitone Client";

// xdotool's output (trimmed); empty when it failed.
inline std::string Xdo(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"env", "DISPLAY=" + display, "xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    netnslab::RunResult r = netnslab::run("", argv, netnslab::Millis(5000));
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return r.status == 0 ? out : std::string();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The ids of the visible windows titled `title`.
inline std::vector<std::string> VisibleWindows(const std::string& display,
                                               const std::string& title) {
    return Lines(Xdo(display, {"search", "--onlyvisible", "--name", title}));
}

template <class F>
bool Within(std::chrono::milliseconds limit, F done) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Everything the program traced into the folder.
inline std::string TraceText(const std::string& folder) {
    std::string all;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        all += ReadText(file.path().string());
    return all;
}

// True once the stand-in has been sent the event.
inline bool Requested(const mgmt::MgmtServer& server, const std::string& event) {
    for (const mgmt::RecordedRequest& r : server.Requests())
        for (const auto& [name, value] : r.attributes)
            if (name == "EVENT_TYPE" && value == event)
                return true;
    return false;
}

// The client's settings in the registry store at `root` for a run in the lab.
inline void ProvisionClient(const std::string& root, const std::string& server,
                            const std::string& account, const std::string& user,
                            const std::string& password, const std::string& traceFolder) {
    std::string error;
    ASSERT_TRUE(
        client_setup::write_lab_client(root, {server, account, user, password, traceFolder}, error))
        << error;
}

} // namespace programtest
