#include "quellin_wire/Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace quellin::wire;

TEST(Records, PacketRecordAndListEntryLayout) {
    PacketRecord r;
    r.sequence = 0x01020304;
    r.side = 1;
    r.data[0] = 0x45;
    r.data[67] = 0x99;
    uint8_t buf[kPacketRecordSize];
    std::memset(buf, 0xAA, sizeof buf);
    r.encode(buf);
    EXPECT_EQ(buf[0], 0x04);
    EXPECT_EQ(buf[3], 0x01);
    EXPECT_EQ(buf[4], 1);
    EXPECT_EQ(buf[6], 0x45);
    EXPECT_EQ(buf[73], 0x99);
    EXPECT_EQ(buf[74], 0);
    const auto back = PacketRecord::decode(buf);
    EXPECT_EQ(back.sequence, r.sequence);
    EXPECT_EQ(back.data, r.data);

    PacketListEntry e{7, 0x3A1, 86399999};
    uint8_t eb[kPacketListEntrySize];
    e.encode(eb);
    EXPECT_EQ(eb[4], 0xA1);
    EXPECT_EQ(eb[5], 0x03);
    const auto eback = PacketListEntry::decode(eb);
    EXPECT_EQ(eback.sequence, 7u);
    EXPECT_EQ(eback.flags, 0x3A1);
    EXPECT_EQ(eback.timeOfDayMs, 86399999u);
}

TEST(Records, StatusRecordCarriesCountersAtSixteen) {
    DriverStatus s;
    s.driverState = 6;
    s.sequence = 99;
    s.capturedWaiting = 5;
    s.packetPoolFree = 500;
    s.residualPoolFree = 510;
    s.counters.values[0] = 11;
    s.counters.values[18] = 0xDEADBEEF;
    const auto bytes = s.encode();
    EXPECT_EQ(bytes[0], 6);
    EXPECT_EQ(bytes[2], 6);
    EXPECT_EQ(bytes[16], 11);
    EXPECT_EQ(bytes[88], 0xEF);
    const auto back = DriverStatus::decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->packetPoolFree, 500);
    EXPECT_EQ(back->counters.values[18], 0xDEADBEEFu);
    EXPECT_FALSE(DriverStatus::decode(bytes.data(), 91));
}

TEST(Records, AdapterListCutsLongNamesAndChecksLength) {
    std::vector<AdapterListEntry> list{{1, "eth0"}, {2, std::string(200, 'x')}};
    const auto bytes = encode_adapter_list(list);
    ASSERT_EQ(bytes.size(), 2u + 2 * 130);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[2 + 130], 2);
    EXPECT_EQ(bytes[2 + 130 + 2 + 126], 'x');
    EXPECT_EQ(bytes[2 + 130 + 2 + 127], 0); // terminating zero kept
    const auto back = decode_adapter_list(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)[0].name, "eth0");
    EXPECT_EQ((*back)[1].name.size(), 127u);
    EXPECT_FALSE(decode_adapter_list(bytes.data(), bytes.size() - 1));
}
