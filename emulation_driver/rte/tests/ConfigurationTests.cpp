#include "quellin_rte/Configuration.h"
#include "quellin_rte/PacketLayer.h"
#include "quellin_rte/TestSeams.h"

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

TEST(Configuration, HugePoolSizesSaturateAndAreRefusedAtStart) {
    // Adding ten must not wrap a size near the top of the range into a tiny pool.
    MapStore store;
    store.values["PacketPoolSize"] = 0xFFFFFFFF;
    store.values["ResidualPoolSize"] = 0xFFFFFFF8;
    const auto c = configure_driver(store);
    EXPECT_EQ(c.packetPoolSize, 0xFFFFFFFFu);
    EXPECT_EQ(c.residualPoolSize, 0xFFFFFFFFu);

    // Nor may the memory pool's block count wrap: the packet layer refuses to start.
    rte::test::VirtualClock clock{0, 0};
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink{&clock};
    RteConfig cfg;
    cfg.packetPoolSize = c.packetPoolSize;
    EXPECT_FALSE(rte_init(cfg, {&clock, &random, &timers, &sink}));
    EXPECT_FALSE(rte_initialised());
}
