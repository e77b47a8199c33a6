// What the tests of the Basic and Professional pages share: a client configured in a
// registry of the test's own, the management-server stand-in on the loopback serving the
// scenario files of the test's folder, temporary files kept in that folder, the XML
// platform, and scenario documents and recordings to serve.
#pragma once

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenUi/PlayButtonSink.h"
#include "AltirenUiTest/GuiTest.h"
#include "WstWriter.h"

#include <Fendrel/FendrelUtils.h>
#include <MgmtServer/MgmtServer.h>
#include <Morrane/STrace.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagestest {

constexpr const char* kUser = "ann";
constexpr const char* kPassword = "Secret1";

// A scenario document the validator accepts: client end point, client gateway, a WAN
// section with a fixed latency, server gateway and a server end point holding
// `serverRanges` (INCLUDE_IPS / EXCLUDE_IPS elements).
inline std::string ScenarioDocument(const std::string& serverRanges, int latencyMs = 60) {
    const std::string nic = "IN_BW_UTIL=\"0\" OUT_BW_UTIL=\"100\" PACKET_OVERHEAD_BYTES=\"0\"";
    return "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
           "<TOPOVEL ID=\"T\" NAME=\"T\" TOPOVEL_VERSION=\"1.2\"><NET_OBJECTS>"
           "<ENDPOINT ID=\"C\" NAME=\"Client\"><INCLUDE_IPS><IP_RANGE FROM_IP=\"198.18.0.1\" "
           "PORT=\"0\" PROTOCOL=\"0\" TO_IP=\"198.18.0.1\"/></INCLUDE_IPS></ENDPOINT>"
           "<GATEWAY ID=\"G1\" NAME=\"Client side\"><NICS><NIC BANDWIDTH=\"0\" ID=\"G1_WAN\" "
           "NAME=\"A\" " +
           nic + "/><NIC BANDWIDTH=\"0\" ID=\"G1_LAN\" NAME=\"B\" " + nic +
           "/></NICS></GATEWAY>"
           "<WAN_NUVEX ID=\"W\" NAME=\"WAN\"><FIXED_LATENCY LATENCY=\"" +
           std::to_string(latencyMs) +
           "\"/></WAN_NUVEX>"
           "<GATEWAY ID=\"G2\" NAME=\"Server side\"><NICS><NIC BANDWIDTH=\"0\" ID=\"G2_LAN\" "
           "NAME=\"A\" " +
           nic + "/><NIC BANDWIDTH=\"0\" ID=\"G2_WAN\" NAME=\"B\" " + nic +
           "/></NICS></GATEWAY>"
           "<ENDPOINT ID=\"S\" NAME=\"Server\">" +
           serverRanges +
           "</ENDPOINT></NET_OBJECTS><LINKS>"
           "<LINK FROM_OBJECT=\"C\" TO_OBJECT=\"G1_LAN\" UNIDIRECTIONAL=\"false\"/>"
           "<LINK FROM_OBJECT=\"G1_WAN\" TO_OBJECT=\"W\" UNIDIRECTIONAL=\"false\"/>"
           "<LINK FROM_OBJECT=\"W\" TO_OBJECT=\"G2_WAN\" UNIDIRECTIONAL=\"false\"/>"
           "<LINK FROM_OBJECT=\"G2_LAN\" TO_OBJECT=\"S\" UNIDIRECTIONAL=\"false\"/>"
           "</LINKS></TOPOVEL>\n";
}

// An address list of the server end point: one range per address.
inline std::string Ranges(const char* list, const std::vector<std::string>& addresses) {
    std::string xml = std::string("<") + list + ">";
    for (const std::string& a : addresses)
        xml += "<IP_RANGE FROM_IP=\"" + a + "\" PORT=\"0\" PROTOCOL=\"0\" TO_IP=\"" + a + "\"/>";
    return xml + "</" + list + ">";
}

// A settings-mode recording with a fixed latency and a filter of the given mode over
// host-order addresses.
inline std::vector<uint8_t> Recording(uint16_t latencyMs, uint32_t filterMode,
                                      const std::vector<uint32_t>& addresses) {
    CWSTScenario s;
    s.m_latency.kindCode = wst::kLatencyFixed;
    s.m_latency.fixedLatency = latencyMs;
    s.m_loss.kindCode = wst::kLossNone;
    s.m_settingsCount = 1;
    s.m_settings.filterMode = filterMode;
    s.m_settings.filterCount = static_cast<uint32_t>(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i)
        s.m_settings.entries[i] = wst::FilterEntry{addresses[i], addresses[i], 0, 0};
    return wst_test::WriteWst(s, wst_test::kSettingsFile);
}

constexpr uint32_t kLoopback = 0x7F000001;    // 127.0.0.1, the stand-in's address
constexpr uint32_t kNetworkHost = 0xC6120002; // 198.18.0.2

// The manager's side of the pages: what they asked of its Play button.
class RecordingSink : public CPlayButtonSink {
public:
    void EnablePlayButton(bool enable) override { calls.push_back(enable); }
    std::optional<bool> Last() const {
        return calls.empty() ? std::nullopt : std::optional<bool>(calls.back());
    }
    std::vector<bool> calls;
};

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        ASSERT_TRUE(XMLInitModule());
        for (const char* sub : {"files", "tmp", "trace"})
            std::filesystem::create_directories(dir / sub);
        if (const char* tmp = std::getenv("TMPDIR"))
            savedTmp = tmp;
        ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        CSTrace::SetTraceDir((dir / "trace").c_str());
        ClientState::SetServerOnline(true);

        StartServer();
        ASSERT_TRUE(server);
        ASSERT_TRUE(registry.SetString("AltirenServerIP", server->HostPort()));
        ASSERT_TRUE(registry.SetString("AltirenBrowser", "browse.php"));
        ASSERT_TRUE(registry.SetString("AccountID", "ACC-7"));
        ASSERT_TRUE(registry.SetDword("CommunicationTimeout", 5000));
        ASSERT_EQ(registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                               CClientSettings::kInstallKey, "InstallFolder",
                                               platform::registry::Value::Sz(FENDREL_DTD_DIR)),
                  platform::registry::kSuccess);
        ASSERT_TRUE(CClientSettings().bSetUserDetails(kUser, kPassword, true));
    }

    void TearDown() override {
        if (server)
            server->Stop();
        if (savedTmp)
            ::setenv("TMPDIR", savedTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    // Options of the stand-in before it starts (the files folder is set).
    virtual void Configure(mgmt::ServerOptions&) {}

    void StartServer() {
        mgmt::ServerOptions options;
        options.filesDir = (dir / "files").string();
        Configure(options);
        server = std::make_unique<mgmt::MgmtServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& s) {
            s.AddUser({kUser, kPassword, "ACC-7", "ann@example.org"});
        });
    }

    void Serve(const std::string& name, const std::string& content) {
        testsupport::write_file(dir / "files" / name, content);
    }
    void Serve(const std::string& name, const std::vector<uint8_t>& bytes) {
        Serve(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string FileUrl(const std::string& name) const {
        return "http://" + server->HostPort() + "/files/" + name;
    }

    // Temporary files left in the test's folder.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "tmp"))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // Requests the stand-in received for a path.
    size_t Hits(const std::string& path) const {
        size_t n = 0;
        for (const std::string& p : server->Paths())
            n += p == path;
        return n;
    }

    testsupport::TempDir dir{"pages"};
    guitest::TestRegistry registry;
    std::unique_ptr<mgmt::MgmtServer> server;
    std::optional<std::string> savedTmp;
};

} // namespace pagestest
