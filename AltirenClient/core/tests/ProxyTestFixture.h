// A client configured in a private registry store, talking to an in-process
// management-server stand-in on 127.0.0.1.
#pragma once

#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"

#include <MgmtServer/MgmtServer.h>
#include <Morrane/STrace.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceDir(); // made under the TMPDIR of the program, not this test's
        std::filesystem::create_directories(dir / "registry");
        std::filesystem::create_directories(dir / "tmp");
        std::filesystem::create_directories(dir / "files");
        const char* tmp = std::getenv("TMPDIR");
        savedTmp = tmp ? std::optional<std::string>(tmp) : std::nullopt;
        setenv("ALTIREN_REGISTRY_ROOT", (dir / "registry").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        // The trace file is the process's: it is named once, at its first record, so
        // every test of the program traces into one folder and reads only what it added.
        CSTrace::SetTraceDir(TraceDir().str().c_str());
        traceStart.clear();
        for (const auto& entry : std::filesystem::directory_iterator(TraceDir().path()))
            traceStart[entry.path()] = std::filesystem::file_size(entry.path());
        CSTrace::instance()->SetCurrentErrorLevel(CSTrace::eError);
        ClientState::SetServerOnline(true);

        mgmt::ServerOptions options;
        options.filesDir = (dir / "files").string();
        server = std::make_unique<mgmt::MgmtServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& s) {
            s.AddUser({"ann", "Secret1", "ACC-7", "ann@example.org"});
        });

        platform::registry::Registry registry;
        ASSERT_EQ(registry.createKey(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kSettingsKey),
                  0);
        SetString("AltirenServerIP", server->HostPort());
        SetString("AltirenBrowser", "browse.php");
        SetString("AccountID", "ACC-7");
        SetTimeout(5000);
        SetUser("ann", "Secret1");
    }

    void TearDown() override {
        if (server)
            server->Stop();
        WaitForRequestsToEnd();
        // The next fixture's TempDir is made before its SetUp, in the folder this one
        // is about to remove.
        if (savedTmp)
            setenv("TMPDIR", savedTmp->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    void SetString(const char* name, const std::string& value) {
        platform::registry::Registry registry;
        ASSERT_EQ(registry.setValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kSettingsKey, name,
                                    platform::registry::Value::Sz(value)),
                  0);
    }
    void SetTimeout(uint32_t ms) {
        platform::registry::Registry registry;
        ASSERT_EQ(registry.setValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kSettingsKey, "CommunicationTimeout",
                                    platform::registry::Value::Dword(ms)),
                  0);
    }
    void SetUser(const std::string& user, const std::string& password) {
        CClientSettings settings;
        ASSERT_TRUE(settings.bSetUserDetails(user, password, true));
    }

    // Every communication thread has released its context (bounded).
    static bool WaitForRequestsToEnd() {
        for (int i = 0; i < 2000; ++i) {
            if (CAltirenProxy::LiveRequestCount() == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The trace records written since this test began.
    std::string TraceText() {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(TraceDir().path())) {
            const std::string text = testsupport::read_file(entry.path());
            const auto seen = traceStart.find(entry.path());
            const size_t from = seen == traceStart.end() ? 0 : seen->second;
            if (from < text.size())
                all += text.substr(from);
        }
        return all;
    }

    static testsupport::TempDir& TraceDir() {
        static testsupport::TempDir traces{"proxy-trace"};
        return traces;
    }

    mgmt::RecordedRequest LastRequest() {
        auto requests = server->Requests();
        return requests.empty() ? mgmt::RecordedRequest() : requests.back();
    }

    std::optional<std::string> savedTmp;
    std::map<std::filesystem::path, uintmax_t> traceStart;
    testsupport::TempDir dir{"proxy"};
    std::unique_ptr<mgmt::MgmtServer> server;
};
