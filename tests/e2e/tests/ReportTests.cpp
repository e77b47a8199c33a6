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
