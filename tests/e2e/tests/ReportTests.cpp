#include "NetnsLab/Report.h"

#include <gtest/gtest.h>

using namespace netnslab;

TEST(Report, ParsesFieldsAndNumbers) {
    auto r = parse_report("udp-recv received=10 loss_pct=2.500 delay_us_median=51234.5");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, "udp-recv");
    EXPECT_EQ(r->count("received"), 10u);
    EXPECT_DOUBLE_EQ(r->num("loss_pct"), 2.5);
    EXPECT_DOUBLE_EQ(r->num("delay_us_median"), 51234.5);
    EXPECT_THROW(r->num("missing"), std::runtime_error);
    EXPECT_FALSE(parse_report("udp-recv received"));
    EXPECT_FALSE(parse_report(""));
    auto bad = parse_report("x n=12abc m=-3");
    ASSERT_TRUE(bad);
    EXPECT_THROW(bad->num("n"), std::runtime_error);
    EXPECT_THROW(bad->count("m"), std::runtime_error);
}

TEST(Report, FindsTheLastLineOfAKindAndThePacketLines) {
    std::string text = "ready proto=udp port=1\n"
                       "pkt seq=0 delay_us=10.5 size=64 corrupt=0\n"
                       "pkt seq=2 delay_us=11.0 size=64 corrupt=1\n"
                       "udp-recvx received=1\n"
                       "udp-recv received=1\n"
                       "udp-recv received=2\n";
    auto r = find_report(text, "udp-recv");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->count("received"), 2u);
    EXPECT_FALSE(find_report(text, "tcp-recv"));
    auto pkts = packet_lines(text);
    ASSERT_EQ(pkts.size(), 2u);
    EXPECT_EQ(pkts[1].seq, 2u);
    EXPECT_DOUBLE_EQ(pkts[0].delay_us, 10.5);
    EXPECT_TRUE(pkts[1].corrupt);
    EXPECT_EQ(pkts[0].size, 64u);
}

namespace {

std::vector<PacketLine> arrivals(std::initializer_list<uint32_t> seqs) {
    std::vector<PacketLine> out;
    for (uint32_t s : seqs)
        out.push_back({s, 0, 64, false});
    return out;
}

} // namespace

TEST(Report, MissingDisplacedAndCopiedSequenceNumbers) {
    // 0..9 sent; 3 and 9 lost; 2 held back behind three others; 5 three times.
    auto pkts = arrivals({0, 1, 4, 5, 5, 6, 2, 7, 5, 8});
    EXPECT_EQ(missing_sequences(pkts, 10), (std::vector<uint32_t>{3, 9}));
    auto d = displacements(pkts);
    // Received first copies in order 0 1 4 5 6 2 7 8: 2 comes three places late.
    EXPECT_EQ(d, (std::map<uint32_t, int>{{2, 3}, {4, -1}, {5, -1}, {6, -1}}));
    EXPECT_EQ(copies(pkts), (std::map<uint32_t, int>{{5, 3}}));
    EXPECT_TRUE(displacements(arrivals({0, 1, 2})).empty());
    EXPECT_TRUE(missing_sequences({}, 0).empty());
}
