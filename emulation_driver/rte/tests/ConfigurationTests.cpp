#include "quellin_rte/Configuration.h"

#include <gtest/gtest.h>

#include <map>

using namespace quellin;

namespace {
struct MapStore : ConfigStore {
    std::map<std::string, uint32_t> values;
    std::optional<uint32_t> read(const std::string& name) override {
        auto it = values.find(name);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void write(const std::string& name, uint32_t value) override { values[name] = value; }
};
} // namespace

TEST(Configuration, DefaultsAreWrittenBackAndOtherPoolSizesGetTen) {
    MapStore store;
    auto c = configure_driver(store);
    EXPECT_EQ(c.packetPoolSize, 510u);
    EXPECT_EQ(store.values.at("PacketPoolSize"), 510u);
    EXPECT_EQ(store.values.at("ResidualPoolSize"), 510u);
    EXPECT_EQ(store.values.at("MaxMemoryUsage"), 0u);
    EXPECT_EQ(store.values.at("DebugLevel"), 0u);

    store.values["PacketPoolSize"] = 100;
    store.values["LookaheadPoolSize"] = 2000;
    store.values["DebugMask"] = 0xFF;
    c = configure_driver(store);
    EXPECT_EQ(c.packetPoolSize, 110u);
    EXPECT_EQ(c.lookaheadPoolSize, 2010u);
    EXPECT_EQ(c.residualPoolSize, 510u);
    EXPECT_EQ(c.debugMask, 0xFFu);
    EXPECT_EQ(store.values.at("PacketPoolSize"), 100u); // the stored value stays
}

TEST(Configuration, ForwardPacketsRaisedTo500) {
    MapStore tcpip;
    ensure_forward_packets(tcpip);
    EXPECT_EQ(tcpip.values.at("NumForwardPackets"), 500u);
    tcpip.values["NumForwardPackets"] = 100;
    ensure_forward_packets(tcpip);
    EXPECT_EQ(tcpip.values.at("NumForwardPackets"), 500u);
    tcpip.values["NumForwardPackets"] = 900;
    ensure_forward_packets(tcpip);
    EXPECT_EQ(tcpip.values.at("NumForwardPackets"), 900u);
}
