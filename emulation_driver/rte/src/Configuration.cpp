#include "quellin_rte/Configuration.h"

#include <cstdint>

namespace quellin {

uint32_t configured_pool_size(uint32_t value) {
    if (value == kDefaultPoolSize)
        return value;
    // Saturates: a wrapped size would make a pool of a few descriptors.
    return value > UINT32_MAX - 10 ? UINT32_MAX : value + 10;
}

namespace {
uint32_t read_or_default(ConfigStore& store, const char* name, uint32_t fallback) {
    if (auto v = store.read(name))
        return *v;
    store.write(name, fallback);
    return fallback;
}
} // namespace

DriverConfiguration configure_driver(ConfigStore& parameters) {
    DriverConfiguration c;
    c.packetPoolSize =
        configured_pool_size(read_or_default(parameters, "PacketPoolSize", kDefaultPoolSize));
    c.lookaheadPoolSize =
        configured_pool_size(read_or_default(parameters, "LookaheadPoolSize", kDefaultPoolSize));
    c.residualPoolSize =
        configured_pool_size(read_or_default(parameters, "ResidualPoolSize", kDefaultPoolSize));
    c.maxMemoryUsage = read_or_default(parameters, "MaxMemoryUsage", 0);
    c.debugMask = read_or_default(parameters, "DebugMask", 0);
    parameters.write("DebugMask", c.debugMask);
    c.debugLevel = read_or_default(parameters, "DebugLevel", 0);
    parameters.write("DebugLevel", c.debugLevel);
    return c;
}

} // namespace quellin
