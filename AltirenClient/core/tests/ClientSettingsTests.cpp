#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/MessageCoder.h"

#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

class ClientSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, CClientSettings::kSettingsKey), 0);
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, CClientSettings::kRunKey), 0);
    }
    void Put(const char* name, const Value& v, const char* key = CClientSettings::kSettingsKey) {
        ASSERT_EQ(reg.setValue(Hive::LocalMachine, key, name, v), 0);
    }

    testsupport::TempDir dir{"settings"};
    Registry reg{dir.str()};
    CClientSettings settings{reg};
};

} // namespace

TEST_F(ClientSettingsTest, EmptyStoreGivesEveryDefaultAndFailsTheRest) {
    EXPECT_EQ(settings.GetPollingInterval(), 1000u);
    EXPECT_EQ(settings.GetStatGuiRefresh(), 1000u);
    EXPECT_EQ(settings.GetLastSecondMapListSize(), 900u);
    EXPECT_EQ(settings.GetMaxPairs(), 50u);
    EXPECT_TRUE(settings.IsStatisticsEnabled());
    EXPECT_TRUE(settings.IsExcludeServerIP());
    EXPECT_TRUE(settings.IsBootMessage());
    EXPECT_TRUE(settings.IsLocalHostInRangeMsg());
    EXPECT_EQ(settings.GetUpgradeInterval(), 3600000u);
    EXPECT_EQ(settings.GetCommunicationTimeout(), 15000u);
    EXPECT_EQ(settings.GetOnlineServerTimerInterval(), 15000u);
    EXPECT_FALSE(settings.IsStartWithWindows());

    std::string text = "unchanged", user = "u", password = "p";
    CClientSettings::DWORD number = 77;
    bool flag = true;
    EXPECT_FALSE(settings.bGetServerIP(text, false));
    EXPECT_FALSE(settings.bGetAltirenBrowser(text));
    EXPECT_FALSE(settings.bGetInstalledStatus(flag));
    EXPECT_FALSE(settings.bGetTraceFolder(text));
    EXPECT_FALSE(settings.bGetTraceLevel(number));
    EXPECT_FALSE(settings.bGetUserName(text));
    EXPECT_FALSE(settings.bGetUserDetails(user, password, true));
    EXPECT_FALSE(settings.bGetAccountID(text));
    EXPECT_FALSE(settings.bGetQuellinNumber(number));
    EXPECT_FALSE(settings.bGetInstallFolder(text));
    EXPECT_FALSE(settings.bGetHelpFolder(text));
    EXPECT_FALSE(settings.bGetSplashExePath(text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(number, 77u);
    EXPECT_EQ(user, "u");
    EXPECT_STREQ(CClientSettings::GetRequestPage(), "requestevent.php");
}

TEST_F(ClientSettingsTest, MissingKeyFailsSettersAndGivesDefaults) {
    Registry empty{(dir / "other").string()};
    CClientSettings none{empty};
    EXPECT_EQ(none.GetMaxPairs(), 50u);
    EXPECT_TRUE(none.IsStatisticsEnabled());
    EXPECT_FALSE(none.bSetMaxPairs(10));
    EXPECT_FALSE(none.bSetServerIP("10.0.0.1"));
    EXPECT_FALSE(none.bSetUserDetails("u", "p", true));
    EXPECT_FALSE(none.DisableStartWithWindows());
    std::string text;
    EXPECT_FALSE(none.bGetServerIP(text, false));
}

TEST_F(ClientSettingsTest, WritesReadBackAndStoredZerosAreKept) {
    EXPECT_TRUE(settings.bSetMaxPairs(0));
    EXPECT_EQ(settings.GetMaxPairs(), 0u);
    EXPECT_TRUE(settings.bSetStatisticsEnabled(false));
    EXPECT_FALSE(settings.IsStatisticsEnabled());
    EXPECT_TRUE(settings.bSetStatisticsEnabled(true));
    Value stored;
    ASSERT_EQ(reg.queryValue(Hive::LocalMachine, CClientSettings::kSettingsKey, "EnableStatistics",
                             stored),
              0);
    EXPECT_EQ(stored, Value::Dword(1)); // a flag is stored as 0 or 1
    Put("BootMessage", Value::Dword(7));
    EXPECT_TRUE(settings.IsBootMessage());

    EXPECT_TRUE(settings.bSetInstalledStatus(true));
    bool installed = false;
    EXPECT_TRUE(settings.bGetInstalledStatus(installed));
    EXPECT_TRUE(installed);
    EXPECT_TRUE(settings.bSetQuellinNumber(3));
    CClientSettings::DWORD index = 0;
    EXPECT_TRUE(settings.bGetQuellinNumber(index));
    EXPECT_EQ(index, 3u);

    EXPECT_TRUE(settings.bSetServerIP("127.0.0.1"));
    std::string address;
    EXPECT_TRUE(settings.bGetServerIP(address, false));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_TRUE(settings.bSetServerIP("localhost"));
    EXPECT_TRUE(settings.bGetServerIP(address, true));
    EXPECT_EQ(address, "127.0.0.1");

    Put("AccountID", Value::Sz(""));
    std::string account = "kept";
    EXPECT_FALSE(settings.bGetAccountID(account)); // empty counts as missing
    EXPECT_EQ(account, "kept");
    Put("accountid", Value::Sz("ACC-1"));
    EXPECT_TRUE(settings.bGetAccountID(account));
    EXPECT_EQ(account, "ACC-1");

    Put("TraceLevel", Value::Sz("3")); // another type reads as missing
    CClientSettings::DWORD level = 0;
    EXPECT_FALSE(settings.bGetTraceLevel(level));
}

TEST_F(ClientSettingsTest, ServerAddressWithAPortResolvesToItsHost) {
    std::string address;
    ASSERT_TRUE(settings.bSetServerIP("localhost:8080"));
    ASSERT_TRUE(settings.bGetServerIP(address, true));
    EXPECT_EQ(address, "127.0.0.1");
    ASSERT_TRUE(settings.bGetServerIP(address, false));
    EXPECT_EQ(address, "localhost:8080") << "read as stored without resolution";
    ASSERT_TRUE(settings.bSetServerIP("127.0.0.1:80"));
    ASSERT_TRUE(settings.bGetServerIP(address, true));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(CClientSettings::HostOfServerAddress("198.18.0.1:8080"), "198.18.0.1");
    EXPECT_EQ(CClientSettings::HostOfServerAddress("server"), "server");
    EXPECT_EQ(CClientSettings::HostOfServerAddress("server:"), "server:");
    EXPECT_EQ(CClientSettings::HostOfServerAddress("server:http"), "server:http");
    // IPv6 text keeps its colons; a port goes with brackets only.
    EXPECT_EQ(CClientSettings::HostOfServerAddress("2001:2::1"), "2001:2::1");
    EXPECT_EQ(CClientSettings::HostOfServerAddress("[2001:2::1]:8080"), "2001:2::1");
    // A name that does not resolve still fails, port or not.
    ASSERT_TRUE(settings.bSetServerIP("no-such-host.invalid:8080"));
    address = "kept";
    EXPECT_FALSE(settings.bGetServerIP(address, true));
    EXPECT_EQ(address, "kept");
}

TEST_F(ClientSettingsTest, UserDetailsThatCannotBeReadBackAreNotStored) {
    ASSERT_TRUE(settings.bSetUserDetails("alice", "first", true));
    // The stored form of this password (encrypted, then encoded) passes the read buffer.
    EXPECT_FALSE(settings.bSetUserDetails("bob", std::string(1600, 'p'), true));
    EXPECT_FALSE(settings.bSetUserDetails("bob", std::string(2000, 'p'), false));
    EXPECT_FALSE(settings.bSetUserDetails(std::string(2000, 'u'), "second", true));
    std::string user, password;
    ASSERT_TRUE(settings.bGetUserDetails(user, password, true));
    EXPECT_EQ(user, "alice") << "a refused change writes neither value";
    EXPECT_EQ(password, "first");
    // The longest that fits is stored and read back.
    ASSERT_TRUE(settings.bSetUserDetails("bob", std::string(1999, 'p'), false));
    ASSERT_TRUE(settings.bGetUserDetails(user, password, false));
    EXPECT_EQ(password.size(), 1999u);
    EXPECT_FALSE(settings.bSetServerIP(std::string(2000, 's')));
}

// A reader never sees one account's name with another's password, however the reads
// and writes of two threads fall.
TEST_F(ClientSettingsTest, UserNameAndPasswordChangeAndReadTogether) {
    ASSERT_TRUE(settings.bSetUserDetails("ann", "ann-password", false));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        CClientSettings mine{reg};
        for (int i = 0; i < 80; ++i) {
            const std::string who = i % 2 ? "ann" : "bob";
            EXPECT_TRUE(mine.bSetUserDetails(who, who + "-password", false));
        }
        done = true;
    });
    int mismatched = 0, reads = 0;
    CClientSettings reader{reg};
    while (!done) {
        std::string user, password;
        ASSERT_TRUE(reader.bGetUserDetails(user, password, false));
        ++reads;
        if (password != user + "-password")
            ++mismatched;
    }
    writer.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(mismatched, 0) << "of " << reads << " reads";
}

TEST_F(ClientSettingsTest, PasswordIsStoredEncryptedForThisMachine) {
    ASSERT_TRUE(settings.bSetUserDetails("alice", "Pa'ss", true));
    std::string raw;
    ASSERT_EQ(
        reg.queryString(Hive::LocalMachine, CClientSettings::kSettingsKey, "UserPassword", raw), 0);
    EXPECT_NE(raw, "Pa'ss");
    std::string user, password;
    ASSERT_TRUE(settings.bGetUserDetails(user, password, true));
    EXPECT_EQ(user, "alice");
    EXPECT_EQ(password, "Pa'ss");
    ASSERT_TRUE(settings.bGetUserDetails(user, password, false));
    EXPECT_EQ(password, raw);

    Put("UserPassword", Value::Sz("plain text"));
    EXPECT_FALSE(settings.bGetUserDetails(user, password, true));
}

TEST_F(ClientSettingsTest, InstallFolderPaths) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, CClientSettings::kInstallKey), 0);
    Put("InstallFolder", Value::Sz("/opt/altiren/"), CClientSettings::kInstallKey);
    std::string path;
    EXPECT_TRUE(settings.bGetSplashExePath(path));
    EXPECT_EQ(path, "/opt/altiren/Splash.exe");

    EXPECT_TRUE(settings.EnableStartWithWindows());
    EXPECT_TRUE(settings.IsStartWithWindows());
    std::string command;
    ASSERT_EQ(
        reg.queryString(Hive::LocalMachine, CClientSettings::kRunKey, "AltirenClient", command), 0);
    EXPECT_EQ(command, "\"/opt/altiren/Pramitone.exe\" NO_SPLASH"); // no doubled separator

    Put("InstallFolder", Value::Sz("/opt/altiren"), CClientSettings::kInstallKey);
    EXPECT_TRUE(settings.bGetSplashBmpPath(path));
    EXPECT_EQ(path, "/opt/altiren/Splash.bmp");

    EXPECT_TRUE(settings.DisableStartWithWindows());
    EXPECT_FALSE(settings.IsStartWithWindows());

    Put("InstallFolder", Value::Sz(""), CClientSettings::kInstallKey);
    EXPECT_FALSE(settings.EnableStartWithWindows()); // an empty folder writes nothing
    EXPECT_FALSE(settings.IsStartWithWindows());
}

TEST(ClientSettingsAdapters, UsableAdapterQueries) {
    std::vector<std::string> addresses{"", "0.0.0.0", "192.168.1.5", "10.0.0.2"};
    std::string address;
    EXPECT_EQ(CClientSettings::GetFirstUsableAdapter(addresses, address), 2);
    EXPECT_EQ(address, "192.168.1.5");
    EXPECT_FALSE(CClientSettings::IsAdapterUsable(addresses, 1));
    EXPECT_TRUE(CClientSettings::IsAdapterUsable(addresses, 3));
    EXPECT_FALSE(CClientSettings::IsAdapterUsable(addresses, 4));
    EXPECT_FALSE(CClientSettings::IsAdapterUsable(addresses, -1));
    EXPECT_EQ(CClientSettings::GetFirstUsableAdapter({"", "0.0.0.0"}, address), -1);
}
