// The driver's configuration values under its service's "Parameters" key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quellin {

// Where the values live; the daemon puts the registry store behind it.
class ConfigStore {
public:
    virtual ~ConfigStore() = default;
    virtual std::optional<uint32_t> read(const std::string& name) = 0;
    virtual void write(const std::string& name, uint32_t value) = 0;
};

struct DriverConfiguration {
    uint32_t packetPoolSize = 510;
    uint32_t lookaheadPoolSize = 510;
    uint32_t residualPoolSize = 510;
    uint32_t maxMemoryUsage = 0;
    uint32_t debugMask = 0;
    uint32_t debugLevel = 0;
};

inline constexpr uint32_t kDefaultPoolSize = 510;

// A pool size as configured: the default stays, any other value gets 10 added.
uint32_t configured_pool_size(uint32_t value);

// Reads every value; a missing one is written back with its default. DebugMask and
// DebugLevel are written back in any case.
DriverConfiguration configure_driver(ConfigStore& parameters);

} // namespace quellin
