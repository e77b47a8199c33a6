#include "QuellinEdges/ServiceConfig.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::edges;
namespace reg = platform::registry;

namespace {

constexpr auto kHklm = reg::Hive::LocalMachine;

class ServiceConfigTest : public ::testing::Test {
protected:
    testsupport::TempDir dir{"edges-config"};
    reg::Registry registry{dir.str()};
    std::vector<std::string> logged;
    LogSink log = [this](int, const std::string& m) { logged.push_back(m); };

    uint32_t dword(const std::string& key, const std::string& name) {
        uint32_t v = 0xDEAD;
        EXPECT_EQ(registry.queryDword(kHklm, key, name, v), reg::kSuccess) << name;
        return v;
    }
    void set(const std::string& name, const reg::Value& v) {
        ASSERT_EQ(registry.createKey(kHklm, kParametersKey), reg::kSuccess);
        ASSERT_EQ(registry.setValue(kHklm, kParametersKey, name, v), reg::kSuccess);
    }
    std::optional<ServiceConfiguration> load(const std::vector<std::string>& bind = {}) {
        std::string error;
        auto c = load_service_configuration(registry, bind, log, error);
        lastError = error;
        return c;
    }
    std::string lastError;
};

} // namespace

TEST(BindingText, TapAndInterfaceFormsRoundTrip) {
    std::string error;
    auto tap = parse_binding("tap:qtap0=eth0", error);
    ASSERT_TRUE(tap);
    EXPECT_EQ(tap->kind, StationKind::Tap);
    EXPECT_EQ(tap->station, "qtap0");
    EXPECT_EQ(tap->lower, "eth0");
    EXPECT_EQ(format_binding(*tap), "tap:qtap0=eth0");
    auto wire = parse_binding("if:enp1s0=enp2s0", error);
    ASSERT_TRUE(wire);
    EXPECT_EQ(wire->kind, StationKind::Interface);
    EXPECT_EQ(format_binding(*wire), "if:enp1s0=enp2s0");
}

TEST(BindingText, MalformedBindingsAreRefusedWithAReason) {
    for (const char* bad :
         {"", "qtap0=eth0", "tun:a=b", "tap:qtap0", "tap:=eth0", "tap:a=", "tap:a=a",
          "tap:a b=eth0", "tap:a/b=eth0", "tap:a=b=c", "tap:sixteen-chars-xy=eth0", "if:..=eth0"}) {
        std::string error;
        EXPECT_FALSE(parse_binding(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string error;
    EXPECT_TRUE(parse_binding("tap:fifteen-chars-x=e", error)); // 15 bytes fit
}

TEST(BindingText, SeveralBindingsInOneStringAreToldToTakeOneStringEach) {
    for (const char* list :
         {"tap:ql0=eth0,tap:ql1=eth1", "tap:ql0=eth0,if:st0=eth1", "tap:ql0=eth0, tap:ql1=eth1"}) {
        std::string error;
        EXPECT_FALSE(parse_binding(list, error)) << list;
        EXPECT_NE(error.find("one binding per string"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(parse_binding("tap:ql0=eth0,1", error)) << error; // a name may hold a comma
}

TEST(BindingText, AnInterfaceMayServeOneBindingOnly) {
    std::string error;
    EXPECT_TRUE(parse_bindings({"tap:t0=eth0", "tap:t1=eth1"}, error));
    EXPECT_FALSE(parse_bindings({"tap:t0=eth0", "tap:t1=eth0"}, error));
    EXPECT_NE(error.find("eth0"), std::string::npos);
    EXPECT_FALSE(parse_bindings({"tap:t0=eth0", "if:eth0=eth1"}, error));
    EXPECT_FALSE(parse_bindings({"tap:t0=eth0", "bogus"}, error));
}

TEST_F(ServiceConfigTest, MissingValuesGetTheirDefaultsWrittenBack) {
    auto c = load();
    ASSERT_TRUE(c) << lastError;
    EXPECT_EQ(c->driver.packetPoolSize, 510u);
    EXPECT_EQ(c->driver.lookaheadPoolSize, 510u);
    EXPECT_EQ(c->driver.residualPoolSize, 510u);
    EXPECT_TRUE(c->bindings.empty());
    for (const char* name : {"PacketPoolSize", "LookaheadPoolSize", "ResidualPoolSize"})
        EXPECT_EQ(dword(kParametersKey, name), 510u);
    for (const char* name : {"MaxMemoryUsage", "DebugMask", "DebugLevel"})
        EXPECT_EQ(dword(kParametersKey, name), 0u);
}

TEST_F(ServiceConfigTest, ConfiguredPoolSizesGetTenMoreAndDebugValuesAreKept) {
    set("PacketPoolSize", reg::Value::Dword(100));
    set("LookaheadPoolSize", reg::Value::Dword(510));
    set("ResidualPoolSize", reg::Value::Dword(0));
    set("DebugMask", reg::Value::Dword(0x30));
    set("DebugLevel", reg::Value::Dword(2));
    auto c = load();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->driver.packetPoolSize, 110u);
    EXPECT_EQ(c->driver.lookaheadPoolSize, 510u);
    EXPECT_EQ(c->driver.residualPoolSize, 10u);
    EXPECT_EQ(c->driver.debugMask, 0x30u);
    EXPECT_EQ(c->driver.debugLevel, 2u);
    EXPECT_EQ(dword(kParametersKey, "PacketPoolSize"), 100u); // the stored value stays
}

TEST_F(ServiceConfigTest, AValueOfTheWrongTypeIsReportedAndDefaulted) {
    set("PacketPoolSize", reg::Value::Sz("lots"));
    auto c = load();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->driver.packetPoolSize, 510u);
    ASSERT_FALSE(logged.empty());
    EXPECT_NE(logged.front().find("PacketPoolSize"), std::string::npos);
}

TEST_F(ServiceConfigTest, BindingsComeFromTheRegistryUnlessBindOptionsAreGiven) {
    set("Bindings", reg::Value::MultiSz({"tap:qtap0=veth0", "if:st0=veth1"}));
    auto c = load();
    ASSERT_TRUE(c) << lastError;
    ASSERT_EQ(c->bindings.size(), 2u);
    EXPECT_EQ(c->bindings[1], (Binding{StationKind::Interface, "st0", "veth1"}));

    c = load({"tap:other=eth9"});
    ASSERT_TRUE(c);
    ASSERT_EQ(c->bindings.size(), 1u);
    EXPECT_EQ(c->bindings[0].lower, "eth9");

    set("Bindings", reg::Value::MultiSz({"tap:qtap0"}));
    EXPECT_FALSE(load());
    EXPECT_NE(lastError.find("tap:qtap0"), std::string::npos);
    EXPECT_FALSE(load({"nonsense"}));
    set("Bindings", reg::Value::Dword(3));
    EXPECT_FALSE(load());
}

TEST_F(ServiceConfigTest, NumForwardPacketsIsOnlyLoggedAsIgnored) {
    set("Bindings", reg::Value::MultiSz({"tap:qtap0=veth0"}));
    set("NumForwardPackets", reg::Value::Dword(20));
    ASSERT_TRUE(load());
    EXPECT_EQ(dword(kParametersKey, "NumForwardPackets"), 20u);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("NumForwardPackets is ignored"), std::string::npos);
}

TEST_F(ServiceConfigTest, WithoutBindingsItSaysWhereTheyComeFromAndWhatItDidNotRead) {
    set("Binding", reg::Value::MultiSz({"tap:ql0=eth0"})); // misspelt
    auto c = load();
    ASSERT_TRUE(c) << lastError;
    EXPECT_TRUE(c->bindings.empty());
    ASSERT_EQ(logged.size(), 1u);
    const std::string& said = logged[0];
    EXPECT_NE(said.find("no binding is configured"), std::string::npos) << said;
    EXPECT_NE(said.find("--bind"), std::string::npos) << said;
    EXPECT_NE(said.find(std::string("value Bindings under HKEY_LOCAL_MACHINE\\") + kParametersKey),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(dir.str()), std::string::npos) << said;
    EXPECT_NE(said.find("does not read the value(s) Binding"), std::string::npos) << said;
    EXPECT_EQ(said.find("PacketPoolSize"), std::string::npos) << said; // a value it reads

    // An empty list is no binding either; a --bind is.
    set("Bindings", reg::Value::Sz(""));
    logged.clear();
    ASSERT_TRUE(load());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("no binding is configured"), std::string::npos) << logged[0];
    logged.clear();
    ASSERT_TRUE(load({"tap:ql0=eth0"}));
    EXPECT_TRUE(logged.empty());
}

TEST_F(ServiceConfigTest, InstallWritesTheKeysAndUninstallRemovesThem) {
    set("PacketPoolSize", reg::Value::Dword(1000)); // kept by a second install
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin"), reg::kSuccess);
    std::string path;
    EXPECT_EQ(registry.queryString(kHklm, kServiceKey, "ImagePath", path), reg::kSuccess);
    EXPECT_EQ(path, "/usr/sbin/quellin");
    EXPECT_EQ(registry.openKey(kHklm, kEnumKey), reg::kSuccess);
    EXPECT_EQ(dword(kParametersKey, "PacketPoolSize"), 1000u);
    EXPECT_EQ(dword(kParametersKey, "ResidualPoolSize"), 510u);
    EXPECT_EQ(dword(kParametersKey, "DebugLevel"), 0u);

    ASSERT_EQ(registry.createKey(kHklm, "SYSTEM\\CurrentControlSet\\Services\\Other"), 0);
    ASSERT_EQ(uninstall_service(registry), reg::kSuccess);
    EXPECT_EQ(registry.openKey(kHklm, kServiceKey), reg::kFileNotFound);
    EXPECT_EQ(registry.openKey(kHklm, kEnumKey), reg::kFileNotFound);
    EXPECT_EQ(registry.openKey(kHklm, "SYSTEM\\CurrentControlSet\\Services\\Other"), 0);
    EXPECT_EQ(uninstall_service(registry), reg::kSuccess); // already gone
}

TEST_F(ServiceConfigTest, InstallReportsARegistryItCannotWrite) {
    reg::Registry unwritable("/proc/altiren-no-such-root");
    EXPECT_NE(install_service(unwritable, "/usr/sbin/quellin"), reg::kSuccess);
}

TEST_F(ServiceConfigTest, InstallSizesThePoolForAFastLongFlowAndSaysWhatItWroteAndKept) {
    std::vector<std::string> report;
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin", &report), reg::kSuccess);
    EXPECT_EQ(dword(kParametersKey, "PacketPoolSize"), kInstalledPacketPoolSize);
    // The daemon's own reading: the installed size gets the 10 reserved descriptors added.
    const auto c = load();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->driver.packetPoolSize, kInstalledPacketPoolSize + 10);
    // 1 Gbit/s of 1,500-byte packets for 500 ms, in one direction's pool.
    EXPECT_GE(kInstalledPacketPoolSize, 1'000'000'000u / 8 / 1500 / 2);
    std::string all;
    for (const auto& line : report)
        all += line + "\n";
    EXPECT_NE(all.find("ImagePath = /usr/sbin/quellin (written)"), std::string::npos) << all;
    EXPECT_NE(all.find("PacketPoolSize = 42000 (written)"), std::string::npos) << all;
    EXPECT_NE(all.find("DebugMask = 0 (written)"), std::string::npos) << all;
    EXPECT_EQ(all.find("(kept)"), std::string::npos) << all;
    // Each value is told once.
    EXPECT_EQ(all.find("DebugMask"), all.rfind("DebugMask")) << all;

    set("ResidualPoolSize", reg::Value::Dword(77));
    report.clear();
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin", &report), reg::kSuccess);
    all.clear();
    for (const auto& line : report)
        all += line + "\n";
    EXPECT_NE(all.find("ResidualPoolSize = 77 (kept)"), std::string::npos) << all;
    EXPECT_NE(all.find("PacketPoolSize = 42000 (kept)"), std::string::npos) << all;

    // A pool kept from before, smaller than what the written value is for, is said to be.
    set("PacketPoolSize", reg::Value::Dword(510));
    report.clear();
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin", &report), reg::kSuccess);
    all.clear();
    for (const auto& line : report)
        all += line + "\n";
    EXPECT_NE(all.find("PacketPoolSize = 510 (kept; below the 42000 a 1 Gbit/s flow"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find(std::string("altiren-reg set 'HKLM\\") + kParametersKey +
                       "' PacketPoolSize REG_DWORD 42000"),
              std::string::npos)
        << all;
    EXPECT_EQ(dword(kParametersKey, "PacketPoolSize"), 510u); // kept all the same
    set("PacketPoolSize", reg::Value::Dword(100000));
    report.clear();
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin", &report), reg::kSuccess);
    all.clear();
    for (const auto& line : report)
        all += line + "\n";
    EXPECT_NE(all.find("PacketPoolSize = 100000 (kept)"), std::string::npos) << all;
}

TEST_F(ServiceConfigTest, UninstallIsRefusedWhileADaemonsRestoreRecordsAreThere) {
    ASSERT_EQ(install_service(registry, "/usr/sbin/quellin"), reg::kSuccess);
    ASSERT_EQ(registry.createKey(kHklm, std::string(kServiceKey) + "\\Restore\\eth0"), 0);
    ASSERT_EQ(registry.createKey(kHklm, std::string(kServiceKey) + "\\Restore\\4026531840\\eth1"),
              0);
    std::string why;
    EXPECT_EQ(uninstall_service(registry, &why), reg::kAccessDenied);
    EXPECT_NE(why.find(" eth0"), std::string::npos) << why;
    EXPECT_NE(why.find(" eth1"), std::string::npos) << why; // by name, not by namespace
    EXPECT_EQ(registry.openKey(kHklm, kServiceKey), reg::kSuccess);
}
