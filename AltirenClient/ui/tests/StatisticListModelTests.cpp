// The rows of the Top Talkers list without a window: the row limit, the address filter,
// the cell texts, updates in place and the sort rule of the header clicks.
#include "AltirenUi/StatisticListModel.h"

#include <gtest/gtest.h>

#include <set>

namespace {

ConnectionStatistics Connection(const std::string& source, uint16_t sourcePort,
                                const std::string& destination, uint16_t destinationPort,
                                const std::string& protocol = "TCP", uint32_t bytes = 1000,
                                uint32_t frames = 10) {
    ConnectionStatistics record;
    record.sourceAddress = source;
    record.sourcePort = sourcePort;
    record.destinationAddress = destination;
    record.destinationPort = destinationPort;
    record.protocol = protocol;
    record.protocolNumber = protocol == "TCP" ? 6 : (protocol == "UDP" ? 17 : 1);
    record.bytesLastSecond = bytes;
    record.totalBytes = bytes * 3;
    record.framesLastSecond = frames;
    record.totalFrames = frames * 3;
    return record;
}

void Put(StatisticsMap& map, const ConnectionStatistics& record) {
    map[ConnectionKey(record.sourceAddress, record.sourcePort, record.destinationAddress,
                      record.destinationPort, record.protocol)] = record;
}

std::set<uint16_t> SourcePorts(const CStatisticListModel& model) {
    std::set<uint16_t> ports;
    for (int row = 0; row < model.RowCount(); ++row)
        ports.insert(model.GetRow(row).record.sourcePort);
    return ports;
}

TEST(StatisticListModel, RowLimitKeepsTheFirstConnectionsInKeyOrder) {
    StatisticsMap map;
    for (uint16_t i = 0; i < 60; ++i)
        Put(map, Connection("198.18.0.1", static_cast<uint16_t>(10000 + i), "198.18.0.2", 80));
    CStatisticListModel model;
    model.SetRowLimit(50);
    EXPECT_EQ(model.UpdateList(map), 50u);
    EXPECT_EQ(model.RowCount(), 50);
    // The winners are the first 50 keys of the statistics, whatever the refresh.
    std::set<uint16_t> expected;
    for (auto it = map.begin(); expected.size() < 50; ++it)
        expected.insert(it->second.sourcePort);
    EXPECT_EQ(SourcePorts(model), expected);

    // The next refresh updates those 50 and stops there: nothing is added.
    for (auto& [key, record] : map)
        record.bytesLastSecond = 256;
    EXPECT_EQ(model.UpdateList(map), 50u);
    EXPECT_EQ(model.RowCount(), 50);
    EXPECT_EQ(SourcePorts(model), expected);
    for (int row = 0; row < model.RowCount(); ++row)
        EXPECT_EQ(model.GetRow(row).cells[3], "2.00");
}

TEST(StatisticListModel, KnownRowsAreUpdatedInPlaceAndQuietOnesStay) {
    CStatisticListModel model;
    StatisticsMap map;
    Put(map, Connection("198.18.0.1", 5000, "198.18.0.2", 7, "UDP", 100, 1));
    model.UpdateList(map);
    ASSERT_EQ(model.RowCount(), 1);
    EXPECT_EQ(model.GetRow(0).cells[3], "0.78");
    EXPECT_EQ(model.GetRow(0).cells[5], "2.34");

    map.begin()->second.bytesLastSecond = 0;
    map.begin()->second.framesLastSecond = 0;
    map.begin()->second.totalBytes = 1280;
    map.begin()->second.totalFrames = 99;
    model.UpdateList(map);
    ASSERT_EQ(model.RowCount(), 1);
    const auto& cells = model.GetRow(0).cells;
    EXPECT_EQ(cells[0], "198.18.0.1:5000");
    EXPECT_EQ(cells[3], "0.00");
    EXPECT_EQ(cells[4], "0");
    EXPECT_EQ(cells[5], "10.00");
    EXPECT_EQ(cells[6], "99");
    EXPECT_EQ(model.GetRow(0).record.totalFrames, 99u);

    // A connection missing from a later copy keeps its row; an empty copy changes nothing.
    model.UpdateList(StatisticsMap{});
    EXPECT_EQ(model.RowCount(), 1);
    model.Clear();
    EXPECT_EQ(model.RowCount(), 0);
}

TEST(StatisticListModel, ExcludedRemoteAddressNeverGetsARowButTheAdapterIsNotTested) {
    CIpRuleSet filter;
    // Everything of 198.18.0.0/24 is excluded, the adapter's own address included.
    filter.m_exclude.push_back(
        CIpRangeRule(DottedToIp("198.18.0.0"), DottedToIp("198.18.0.255"), 0, 0));
    CStatisticListModel model;
    model.SetFilter(&filter);
    model.SetActiveAdapterAddress("198.18.0.1");

    StatisticsMap map;
    Put(map, Connection("198.18.0.1", 5000, "198.18.0.7", 80)); // remote excluded
    Put(map, Connection("198.18.0.1", 5001, "198.18.1.7", 80)); // own address only
    Put(map, Connection("198.18.1.9", 5002, "198.18.1.7", 80));
    Put(map, Connection("2001:2::1", 5003, "2001:2::2", 80)); // IPv6: never filtered
    for (int tick = 0; tick < 3; ++tick)
        model.UpdateList(map);
    EXPECT_EQ(SourcePorts(model), (std::set<uint16_t>{5001, 5002, 5003}));

    // A port-bound rule only takes its port; include rules keep out what they miss.
    CIpRuleSet ports;
    ports.m_exclude.push_back(
        CIpRangeRule(DottedToIp("198.18.1.7"), DottedToIp("198.18.1.7"), 80, 6));
    ports.m_include.push_back(
        CIpRangeRule(DottedToIp("198.18.0.0"), DottedToIp("198.18.1.255"), 0, 0));
    CStatisticListModel other;
    other.SetFilter(&ports);
    StatisticsMap second;
    Put(second, Connection("198.18.1.9", 6000, "198.18.1.7", 80));        // excluded port
    Put(second, Connection("198.18.1.9", 6001, "198.18.1.7", 81));        // other port
    Put(second, Connection("198.18.1.9", 6002, "198.18.1.7", 80, "UDP")); // other protocol
    Put(second, Connection("203.0.113.5", 6003, "198.18.1.7", 81));       // not included
    other.UpdateList(second);
    EXPECT_EQ(SourcePorts(other), (std::set<uint16_t>{6001, 6002}));
}

TEST(StatisticListModel, AddressCellsOfIpv4Ipv6AndPortlessProtocols) {
    EXPECT_EQ(CStatisticListModel::AddressCell("10.0.0.1", 80), "10.0.0.1:80");
    EXPECT_EQ(CStatisticListModel::AddressCell("2001:2::1", 80), "2001:2::1 Port:80");
    EXPECT_EQ(CStatisticListModel::AddressCell("10.0.0.1", 0), "10.0.0.1");
    EXPECT_EQ(CStatisticListModel::AddressCell("2001:2::1", 0), "2001:2::1");
    // A '.' only in the first place is no IPv4 text.
    EXPECT_EQ(CStatisticListModel::AddressCell(".1", 9), ".1 Port:9");

    const auto icmp = CStatisticListModel::CellTexts(
        Connection("198.18.0.1", 0, "198.18.0.2", 0, "ICMP", 256, 4));
    EXPECT_EQ(icmp[0], "198.18.0.1");
    EXPECT_EQ(icmp[1], "198.18.0.2");
    EXPECT_EQ(icmp[2], "ICMP");
    EXPECT_EQ(icmp[3], "2.00");
    EXPECT_EQ(icmp[4], "4");
    EXPECT_EQ(icmp[5], "6.00");
    EXPECT_EQ(icmp[6], "12");
    EXPECT_EQ(CStatisticListModel::KbText(100), "0.78");
    EXPECT_EQ(CStatisticListModel::KbText(4294967295u), "33554431.99");
}

TEST(StatisticListModel, HeaderClicksFlipTheDirectionWhateverTheColumn) {
    CStatisticListModel model;
    StatisticsMap map;
    Put(map, Connection("198.18.0.3", 1, "198.18.0.9", 1, "TCP", 100));
    Put(map, Connection("198.18.0.1", 1, "198.18.0.9", 1, "TCP", 300));
    Put(map, Connection("198.18.0.2", 1, "198.18.0.9", 1, "TCP", 200));
    model.UpdateList(map);
    // At first: last-second throughput, highest first.
    EXPECT_EQ(model.GetSortColumn(), 3);
    EXPECT_EQ(model.GetSortDirection(), -1);
    EXPECT_EQ(model.GetRow(0).record.bytesLastSecond, 300u);
    EXPECT_EQ(model.GetRow(2).record.bytesLastSecond, 100u);

    model.OnColumnClick(0); // ascending
    EXPECT_EQ(model.GetSortDirection(), 1);
    EXPECT_EQ(model.GetRow(0).record.sourceAddress, "198.18.0.1");
    EXPECT_EQ(model.GetRow(2).record.sourceAddress, "198.18.0.3");

    model.OnColumnClick(3); // another column: descending
    EXPECT_EQ(model.GetSortColumn(), 3);
    EXPECT_EQ(model.GetSortDirection(), -1);
    EXPECT_EQ(model.GetRow(0).record.bytesLastSecond, 300u);

    model.OnColumnClick(3);
    EXPECT_EQ(model.GetSortDirection(), 1);
    EXPECT_EQ(model.GetRow(0).record.bytesLastSecond, 100u);
}

TEST(StatisticListModel, SortWordAndComparisonOfEachColumn) {
    EXPECT_EQ(CStatisticListModel::SortWord(3, -1), 0x0003FFFFu);
    EXPECT_EQ(CStatisticListModel::SortWord(6, 1), 0x00060001u);

    ConnectionStatistics a = Connection("10.0.0.1", 80, "10.0.0.9", 7, "TCP", 5, 9);
    ConnectionStatistics b = Connection("10.0.0.1", 81, "10.0.0.10", 7, "UDP", 6, 2);
    b.totalBytes = 1;
    b.totalFrames = 100;
    const auto cmp = [&](int column, int direction) {
        return CStatisticListModel::SortFunc(&a, &b,
                                             CStatisticListModel::SortWord(column, direction));
    };
    EXPECT_EQ(cmp(0, 1), -1); // same address, port 80 < 81
    EXPECT_EQ(cmp(1, 1), 1);  // "10.0.0.9" > "10.0.0.10" byte-wise
    EXPECT_EQ(cmp(2, 1), -1); // "TCP" < "UDP"
    EXPECT_EQ(cmp(3, 1), -1);
    EXPECT_EQ(cmp(4, 1), 1);
    EXPECT_EQ(cmp(5, 1), 1);
    EXPECT_EQ(cmp(6, 1), -1);
    EXPECT_EQ(cmp(6, -1), 1);
    EXPECT_EQ(cmp(7, 1), 0); // no such column
    EXPECT_EQ(CStatisticListModel::SortFunc(nullptr, &b, CStatisticListModel::SortWord(3, 1)), 0);
    // Unsigned: the largest count is the largest, not a negative one.
    a.bytesLastSecond = 0x80000000u;
    EXPECT_EQ(cmp(3, 1), 1);
}

TEST(StatisticListModel, EqualRowsStayInKeyOrderAndSelectionFollowsItsRow) {
    CStatisticListModel model;
    StatisticsMap map;
    for (uint16_t port : {7, 3, 5})
        Put(map, Connection("198.18.0.1", port, "198.18.0.2", 80, "TCP", 100));
    model.UpdateList(map);
    ASSERT_EQ(model.RowCount(), 3);
    // Same throughput everywhere: key order, source port 3, 5, 7.
    EXPECT_EQ(model.GetRow(0).record.sourcePort, 3u);
    EXPECT_EQ(model.GetRow(2).record.sourcePort, 7u);

    const QPersistentModelIndex held(model.index(2, 0)); // port 7
    for (auto& [key, record] : map)
        if (record.sourcePort == 7)
            record.bytesLastSecond = 900;
    model.UpdateList(map);
    EXPECT_EQ(model.GetRow(0).record.sourcePort, 7u);
    EXPECT_EQ(held.row(), 0);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("198.18.0.1:7"));
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(),
              QStringLiteral("Total Throughput (Kb)"));
}

TEST(StatisticListModel, DoubleClickedRowNamesItsConnection) {
    CStatisticListModel model;
    StatisticsMap map;
    Put(map, Connection("10.0.0.1", 80, "10.0.0.2", 1025, "TCP"));
    // An IPv6 text holding a dotted part still names its own connection.
    Put(map, Connection("::ffff:192.0.2.1", 0, "::ffff:192.0.2.2", 0, "ICMP", 10));
    model.UpdateList(map);
    ASSERT_EQ(model.RowCount(), 2);
    ASSERT_EQ(model.GetRow(0).cells[0], "10.0.0.1:80");
    ASSERT_EQ(model.GetRow(0).cells[1], "10.0.0.2:1025");
    const StatisticsParam param = model.GetItemParam(0);
    EXPECT_EQ(param.sourceAddress, "10.0.0.1");
    EXPECT_EQ(param.sourcePort, 80u);
    EXPECT_EQ(param.destinationAddress, "10.0.0.2");
    EXPECT_EQ(param.destinationPort, 1025u);
    EXPECT_EQ(param.protocol, "TCP");
    const StatisticsParam mapped = model.GetItemParam(1);
    EXPECT_EQ(mapped.sourceAddress, "::ffff:192.0.2.1");
    EXPECT_EQ(mapped.destinationAddress, "::ffff:192.0.2.2");
    EXPECT_EQ(mapped.protocol, "ICMP");
}

TEST(StatisticListModel, ColumnsShareTheWidthByTheirWeightedHeaderTexts) {
    const std::vector<int> widths =
        CStatisticListModel::ColumnWidths({100, 100, 50, 100, 100, 100, 90}, 700);
    ASSERT_EQ(widths.size(), 7u);
    // Weighted: 90 90 60 90 90 90 90, sum 600, factor 700 / 600.
    EXPECT_EQ(widths[0], 105);
    EXPECT_EQ(widths[2], 70);
    EXPECT_EQ(widths[6], 105);
    EXPECT_EQ(CStatisticListModel::ColumnWidths({0, 0}, 500), (std::vector<int>{0, 0}));
}

} // namespace
