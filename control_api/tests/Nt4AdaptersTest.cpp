#include "AltirenAPI/Nt4Adapters.h"

#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace altiren_api;
using namespace altiren_api::nt4;
using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

const std::string kNetBt = "SYSTEM\\CurrentControlSet\\Services\\NetBT\\Adapters\\";
const std::string kCards = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\";

class Nt4AdaptersTest : public ::testing::Test {
protected:
    testsupport::TempDir dir{"nt4"};
    Registry reg{dir.str()};

    void set(const std::string& key, const std::string& name, const Value& v) {
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, key), 0);
        ASSERT_EQ(reg.setValue(Hive::LocalMachine, key, name, v), 0);
    }
    void card(const std::string& number, const std::string& title, const std::string& service) {
        set(kCards + number, "Title", Value::Sz(title));
        set(kCards + number, "Description", Value::Sz(title + " description"));
        set(kCards + number, "ServiceName", Value::Sz(service));
    }
    void adapter(const std::string& name, const std::string& address,
                 const std::string& mask = "255.255.255.0") {
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, kNetBt + name), 0);
        const std::string tcpip =
            "SYSTEM\\CurrentControlSet\\Services\\" + name + "\\Parameters\\Tcpip";
        set(tcpip, "IPAddress", Value::MultiSz({address, "192.0.2.9"}));
        set(tcpip, "SubnetMask", Value::MultiSz({mask}));
    }
    static uint32_t addr(const char* text) { return inet_addr(text); }
};

} // namespace

TEST_F(Nt4AdaptersTest, ChoosesTheSecondOfTwoAdapters) {
    card("1", "Card one", "QL_Adapter1");
    card("2", "Card two", "QL_Adapter2");
    adapter("QL_Adapter1", "10.0.0.1");
    adapter("QL_Adapter2", "10.0.0.2");
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kNetBt + "NdisWan5"), 0); // passed over

    AdapterTable table;
    EXPECT_EQ(read_adapter_table(reg, table), 2u);
    EXPECT_EQ(table.entries[0].title, "Card one");
    EXPECT_EQ(table.entries[1].adapterName, "QL_Adapter2");
    EXPECT_EQ(table.entries[1].cardNumber, 0u); // no card numbers at load
    EXPECT_EQ(table.entries[0].addressText,
              std::string("10.0.0.1") + '\0' + "192.0.2.9" + '\0' + '\0');
    EXPECT_EQ(table.entries[0].addressLength, 20);

    uint32_t number = 99;
    uint16_t index = 99;
    EXPECT_EQ(choose_adapter(reg, table, addr("10.0.0.2"), number, index), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(number, 2u);

    PlayBlockValues b;
    apply_choice(table, index, number, b);
    EXPECT_EQ(std::string(b.adapterName.data(), 11), "QL_Adapter2");
    EXPECT_EQ(b.adapterAddress, 0x0A000002u);
    EXPECT_EQ(b.adapterNumber, 2);
}

TEST_F(Nt4AdaptersTest, DhcpAddressIsStoredAndCompared) {
    card("3", "Dhcp card", "QL_Dhcp3");
    adapter("QL_Dhcp3", "0.0.0.0");
    const std::string tcpip = "SYSTEM\\CurrentControlSet\\Services\\QL_Dhcp3\\Parameters\\Tcpip";
    set(tcpip, "EnableDhcp", Value::Dword(1));
    set(tcpip, "DhcpIPAddress", Value::Sz("10.1.2.3"));
    set(tcpip, "DhcpSubnetMask", Value::Sz("255.0.0.0"));
    AdapterTable table;
    uint32_t number = 0;
    uint16_t index = 0;
    EXPECT_EQ(choose_adapter(reg, table, addr("10.1.2.3"), number, index), 0);
    EXPECT_EQ(number, 3u);
    EXPECT_EQ(table.entries[0].maskText, std::string("255.0.0.0\0", 10));

    // Without DHCP the adapter gets no entry.
    set(tcpip, "EnableDhcp", Value::Dword(0));
    EXPECT_EQ(read_adapter_table(reg, table), 0u);
}

TEST_F(Nt4AdaptersTest, NoMatchLeavesTheOutputsAndUsesTheFirstEntry) {
    card("1", "Card one", "QL_Adapter1");
    adapter("QL_Adapter1", "10.0.0.1");
    AdapterTable table;
    uint32_t number = 0;
    uint16_t index = 0;
    EXPECT_EQ(choose_adapter(reg, table, addr("10.9.9.9"), number, index), 72);
    EXPECT_EQ(number, 0u);
    EXPECT_EQ(index, 0);
    PlayBlockValues b;
    apply_choice(table, index, number, b);
    EXPECT_EQ(b.adapterNumber, 0);
    EXPECT_EQ(b.adapterAddress, 0x0A000001u);
    EXPECT_EQ(std::string(b.adapterName.data()), "QL_Adapter1");
}

TEST_F(Nt4AdaptersTest, NameEndingIn12OpensCard2AndLongNamesAreCut) {
    card("2", "Card two", "QL_VeryLongAdapterName_12");
    adapter("QL_VeryLongAdapterName_12", "10.0.0.12");
    AdapterTable table;
    uint32_t number = 0;
    uint16_t index = 0;
    EXPECT_EQ(choose_adapter(reg, table, addr("10.0.0.12"), number, index), 0);
    EXPECT_EQ(number, 2u);
    PlayBlockValues b;
    apply_choice(table, index, number, b);
    EXPECT_EQ(std::string(b.adapterName.data(), 20), "QL_VeryLongAdapterNa");
}

TEST_F(Nt4AdaptersTest, MissingKeysOnlyLeaveEntriesOut) {
    AdapterTable table;
    EXPECT_EQ(read_adapter_table(reg, table), 0u); // no NetBT key at all
    adapter("QL_Adapter4", "10.0.0.4");            // no NetworkCards entry 4
    EXPECT_EQ(read_adapter_table(reg, table), 0u);
    set(kCards + "4", "Title", Value::Sz("Card four"));
    EXPECT_EQ(read_adapter_table(reg, table), 1u);
    uint32_t number = 0;
    uint16_t index = 7;
    // Matched, but the card has no service name, so its number is 0: 72.
    EXPECT_EQ(choose_adapter(reg, table, addr("10.0.0.4"), number, index), 72);
    EXPECT_EQ(index, 0);
    set(kCards + "4", "Description", Value::Sz("Card four description"));
    set(kCards + "4", "ServiceName", Value::Sz("Other"));
    EXPECT_EQ(card_number(reg, "Card four description", "Other"), 4u);
    EXPECT_EQ(card_number(reg, "Card four description", "other"), 0u);
}
