#include "AltirenClient/AdapterTable.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class FakeSource : public IAdapterSource {
public:
    bool ListDriverAdapters(std::vector<std::string>& list) override {
        list = names;
        return deviceOpens;
    }
    bool QueryAdapter(const std::string& id, AdapterEntry& entry) override {
        asked.push_back(id);
        auto it = addresses.find(id);
        if (it == addresses.end())
            return false;
        entry.description = "desc " + id;
        entry.serviceName = id;
        entry.ipAddress = it->second;
        entry.subnetMask = "255.255.255.0";
        return true;
    }
    bool deviceOpens = true;
    std::vector<std::string> names;
    std::map<std::string, std::string> addresses;
    std::vector<std::string> asked;
};

TEST(AdapterTable, TwelveDriverAdaptersGiveTheFirstTen) {
    FakeSource source;
    for (int i = 0; i < 12; ++i) {
        source.names.push_back("eth" + std::to_string(i));
        source.addresses["eth" + std::to_string(i)] = "198.18.0." + std::to_string(i + 1);
    }
    CAdapterTable table;
    EXPECT_EQ(FindAdapters2000(source, table), 10);
    ASSERT_EQ(table.Count(), 10u);
    EXPECT_EQ(table.At(0).adapterName, "eth0");
    EXPECT_EQ(table.At(9).ipAddress, "198.18.0.10");
}

TEST(AdapterTable, AClosedDeviceGivesMinusOneAndAnEmptyTable) {
    FakeSource source;
    source.deviceOpens = false;
    CAdapterTable table;
    table.Add({"old", "old", "1.2.3.4", "", 0, "old"});
    EXPECT_EQ(FindAdapters2000(source, table), -1);
    EXPECT_EQ(table.Count(), 0u);
}

TEST(AdapterTable, NamesAreTakenFromTheirBraceAndUnknownAdaptersKeepNoAddress) {
    FakeSource source;
    source.names = {"\\Device\\QL_{ABC}", "tap0", "gone0"};
    source.addresses["{ABC}"] = "10.0.0.1";
    source.addresses["tap0"] = "0.0.0.0";
    CAdapterTable table;
    ASSERT_EQ(FindAdapters2000(source, table), 3);
    EXPECT_EQ(table.At(0).adapterName, "{ABC}");
    EXPECT_EQ(table.At(0).ipAddress, "10.0.0.1");
    // "0.0.0.0" counts as no address.
    EXPECT_EQ(table.At(1).ipAddress, "");
    EXPECT_EQ(table.At(2).adapterName, "gone0");
    EXPECT_EQ(table.At(2).ipAddress, "");
    EXPECT_EQ(table.Addresses(), (std::vector<std::string>{"10.0.0.1", "", ""}));
}

TEST(AdapterTable, TextsAreHeldToTheirFieldSizes) {
    CAdapterTable table;
    AdapterEntry entry;
    entry.description = std::string(400, 'd');
    entry.serviceName = std::string(40, 's');
    entry.ipAddress = std::string(2000, '1');
    entry.subnetMask = std::string(2000, '2');
    entry.adapterName = std::string(300, 'n');
    ASSERT_TRUE(table.Add(entry));
    EXPECT_EQ(table.At(0).description.size(), 249u);
    EXPECT_EQ(table.At(0).serviceName.size(), 29u);
    EXPECT_EQ(table.At(0).ipAddress.size(), 1499u);
    EXPECT_EQ(table.At(0).subnetMask.size(), 1499u);
    EXPECT_EQ(table.At(0).adapterName.size(), 249u);
}

TEST(AdapterTable, RealSourceFindsTheLoopbackInterface) {
    CDriverAdapterSource source;
    AdapterEntry entry;
    ASSERT_TRUE(source.QueryAdapter("lo", entry));
    EXPECT_EQ(entry.description, "lo");
    if (!entry.ipAddress.empty()) {
        EXPECT_EQ(entry.ipAddress, "127.0.0.1");
        EXPECT_EQ(entry.subnetMask, "255.0.0.0");
    }
    EXPECT_FALSE(source.QueryAdapter("no-such-if9", entry));
}

} // namespace
