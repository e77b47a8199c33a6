// The driver's configuration in the registry store: the service key, its "Parameters"
// with the pool sizes, debug values and bindings, and the install and uninstall steps.
#pragma once

#include "QuellinEdges/Bindings.h"
#include "QuellinEdges/Log.h"

#include "platform/Registry.h"
#include "quellin_rte/Configuration.h"

#include <optional>
#include <string>
#include <vector>

namespace quellin::edges {

inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\QL";
inline constexpr const char* kParametersKey = "SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters";
inline constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\Root\\SH_QUELLIN";
inline constexpr const char* kBindingsValue = "Bindings";

// DWORD values of one key of the local-machine hive. A value of another type reads as
// missing; a write creates the key when needed. Failed writes are logged.
class RegistryConfigStore final : public ConfigStore {
public:
    RegistryConfigStore(const platform::registry::Registry& registry, std::string key,
                        LogSink log = stderr_log());
    std::optional<uint32_t> read(const std::string& name) override;
    void write(const std::string& name, uint32_t value) override;

private:
    const platform::registry::Registry& m_registry;
    std::string m_key;
    LogSink m_log;
};

struct ServiceConfiguration {
    DriverConfiguration driver;
    std::vector<Binding> bindings;
};

// The start-up configuration: the values of the "Parameters" key with their defaults
// (missing ones written back), and the bindings: `bindOptions` (the --bind values) when
// any are given, else the multi-string "Bindings". "NumForwardPackets" has no meaning
// here and is only logged as ignored. Nullopt with a reason for malformed bindings.
std::optional<ServiceConfiguration>
load_service_configuration(const platform::registry::Registry& registry,
                           const std::vector<std::string>& bindOptions, const LogSink& log,
                           std::string& error);

// The PacketPoolSize --install writes: the packets of a 1 Gbit/s flow of 1,500-byte packets
// delayed 500 ms (41,667) fit one direction's pool, with room to spare.
inline constexpr uint32_t kInstalledPacketPoolSize = 42000;

// --install: the service key with "ImagePath" (the daemon's path), its "Parameters" with
// every default (PacketPoolSize kInstalledPacketPoolSize), and the enumeration key. Values
// already set in "Parameters" are kept. `report` gets a line per value: written or kept.
long install_service(const platform::registry::Registry& registry, const std::string& imagePath,
                     std::vector<std::string>* report = nullptr);
// --uninstall: removes both keys with everything below them; success when already gone.
// Refused (kAccessDenied, with the reason in `error`) while a daemon's restore records are
// there: they are the way back for interfaces it holds.
long uninstall_service(const platform::registry::Registry& registry, std::string* error = nullptr);

} // namespace quellin::edges
