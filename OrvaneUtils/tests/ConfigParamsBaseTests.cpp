#include "OrvaneUtils/ConfigParamsBase.h"

#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>

using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

const char* kKey = "Software\\Orvane\\Test";

class ConfigParamsBaseTest : public ::testing::Test {
protected:
    testsupport::TempDir dir{"config"};
    Registry reg{dir.str()};
    CConfigParamsBase params{reg};
};

} // namespace

TEST_F(ConfigParamsBaseTest, MissingKeyLeavesANullHandleAndEveryCallFails) {
    CConfigParamsBase::HKEY key = reinterpret_cast<CConfigParamsBase::HKEY>(&params);
    EXPECT_FALSE(params.OpenRegistry(Hive::LocalMachine, kKey, key));
    EXPECT_EQ(key, nullptr);
    char buffer[16];
    CConfigParamsBase::DWORD value = 7;
    EXPECT_FALSE(params.getRegString(key, "Name", buffer, sizeof buffer));
    EXPECT_FALSE(params.getRegDWORD(key, "Name", value));
    EXPECT_EQ(value, 7u);
    EXPECT_FALSE(params.setRegDWORD(key, "Name", 1));
    params.CloseRegistry(key); // a null handle is ignored
}

TEST_F(ConfigParamsBaseTest, ValuesRoundTripWithNamesComparedWithoutCase) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kKey), 0);
    CConfigParamsBase::HKEY key = nullptr;
    ASSERT_TRUE(params.OpenRegistry(Hive::LocalMachine, "software\\orvane\\TEST", key));
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(params.setRegString(key, "ServerIP", "10.0.0.1"));
    EXPECT_TRUE(params.setRegDWORD(key, "MaxPairs", 0));

    char buffer[2000];
    EXPECT_TRUE(params.getRegString(key, "serverip", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "10.0.0.1");
    CConfigParamsBase::DWORD value = 99;
    EXPECT_TRUE(params.getRegDWORD(key, "MAXPAIRS", value));
    EXPECT_EQ(value, 0u);

    // Another type, or a text that does not fit with its zero, reads as missing.
    EXPECT_FALSE(params.getRegDWORD(key, "ServerIP", value));
    EXPECT_FALSE(params.getRegString(key, "MaxPairs", buffer, sizeof buffer));
    char small[8];
    EXPECT_FALSE(params.getRegString(key, "ServerIP", small, sizeof small));

    EXPECT_TRUE(params.DeleteRegValue(key, "ServerIP"));
    EXPECT_FALSE(params.getRegString(key, "ServerIP", buffer, sizeof buffer));
    EXPECT_FALSE(params.DeleteRegValue(key, "ServerIP"));
    params.CloseRegistry(key);
    EXPECT_EQ(key, nullptr);

    // Another object over the same store sees the writes: nothing is cached.
    Value stored;
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, kKey, "MaxPairs", stored), 0);
    EXPECT_EQ(stored, Value::Dword(0));
}

TEST_F(ConfigParamsBaseTest, DefaultStoreFollowsTheEnvironment) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kKey), 0);
    ASSERT_EQ(::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1), 0);
    CConfigParamsBase fromEnv;
    CConfigParamsBase::HKEY key = nullptr;
    EXPECT_TRUE(fromEnv.OpenRegistry(Hive::LocalMachine, kKey, key));
    fromEnv.CloseRegistry(key);
}
