#include "QuellinEdges/ServiceConfig.h"

#include "QuellinEdges/RestoreRecords.h"

#include <algorithm>

namespace quellin::edges {

namespace reg = platform::registry;

namespace {
constexpr reg::Hive kHive = reg::Hive::LocalMachine;

// The values of "Parameters" the daemon reads.
constexpr const char* kKnownValues[] = {
    "PacketPoolSize", "LookaheadPoolSize", "ResidualPoolSize",  "MaxMemoryUsage",
    "DebugMask",      "DebugLevel",        "NumForwardPackets", kBindingsValue};

// Where bindings come from, said when none came: a misspelt value name otherwise starts a
// daemon that serves with nothing bound.
std::string no_binding_text(const reg::Registry& registry) {
    std::string text = std::string("no binding is configured: give --bind or the multi-string "
                                   "value ") +
                       kBindingsValue + " under HKEY_LOCAL_MACHINE\\" + kParametersKey +
                       " in the registry store " + registry.root();
    std::vector<std::string> names, unknown;
    registry.enumValues(kHive, kParametersKey, names);
    for (const auto& name : names)
        if (!name.empty() && std::find(std::begin(kKnownValues), std::end(kKnownValues), name) ==
                                 std::end(kKnownValues))
            unknown.push_back(name);
    for (size_t i = 0; i < unknown.size(); ++i)
        text += (i == 0 ? "; the daemon does not read the value(s) " : ", ") + unknown[i];
    return text;
}
} // namespace

RegistryConfigStore::RegistryConfigStore(const reg::Registry& registry, std::string key,
                                         LogSink log)
    : m_registry(registry), m_key(std::move(key)), m_log(std::move(log)) {}

std::optional<uint32_t> RegistryConfigStore::read(const std::string& name) {
    uint32_t v = 0;
    const long rc = m_registry.queryDword(kHive, m_key, name, v);
    if (rc == reg::kSuccess)
        return v;
    if (rc == reg::kInvalidData && m_log)
        m_log(kLogWarning, "value " + name + " is not a number; its default is used");
    return std::nullopt;
}

void RegistryConfigStore::write(const std::string& name, uint32_t value) {
    long rc = m_registry.createKey(kHive, m_key);
    if (rc == reg::kSuccess)
        rc = m_registry.setValue(kHive, m_key, name, reg::Value::Dword(value));
    if (rc != reg::kSuccess && m_log)
        m_log(kLogWarning,
              "cannot write " + name + " under " + m_key + " (error " + std::to_string(rc) + ")");
}

std::optional<ServiceConfiguration>
load_service_configuration(const reg::Registry& registry,
                           const std::vector<std::string>& bindOptions, const LogSink& log,
                           std::string& error) {
    ServiceConfiguration out;
    RegistryConfigStore store(registry, kParametersKey, log);
    out.driver = configure_driver(store);

    uint32_t ignored = 0;
    if (registry.queryDword(kHive, kParametersKey, "NumForwardPackets", ignored) == reg::kSuccess &&
        log)
        log(kLogInfo, "NumForwardPackets is ignored: the daemon forwards no packets itself");

    std::vector<std::string> texts = bindOptions;
    if (texts.empty()) {
        reg::Value v;
        const long rc = registry.queryValue(kHive, kParametersKey, kBindingsValue, v);
        if (rc == reg::kSuccess) {
            if (v.type == reg::ValueType::MultiSz)
                texts = v.strings;
            else if (v.type == reg::ValueType::Sz)
                texts = {v.text};
            else {
                error = "value Bindings is neither a string nor a list of strings";
                return std::nullopt;
            }
        }
    }
    // Empty entries of a multi-string value carry nothing.
    std::erase_if(texts, [](const std::string& s) { return s.empty(); });
    auto bindings = parse_bindings(texts, error);
    if (!bindings)
        return std::nullopt;
    out.bindings = std::move(*bindings);
    if (out.bindings.empty() && log)
        log(kLogWarning, no_binding_text(registry));
    return out;
}

namespace {
// The driver's store for --install: PacketPoolSize gets its installed value in place of the
// driver's default, and every value is reported once, as kept or as written.
class InstallStore final : public ConfigStore {
public:
    InstallStore(const reg::Registry& registry, std::vector<std::string>* report)
        : m_store(registry, kParametersKey, [this](int, const std::string&) { m_failed = true; }),
          m_report(report) {}
    std::optional<uint32_t> read(const std::string& name) override {
        auto v = m_store.read(name);
        if (v && name == "PacketPoolSize" && *v < kInstalledPacketPoolSize)
            say(name, *v,
                "kept; below the " + std::to_string(kInstalledPacketPoolSize) +
                    " a 1 Gbit/s flow of 1,500-byte packets delayed 500 ms needs: altiren-reg "
                    "set 'HKLM\\" +
                    kParametersKey + "' " + name + " REG_DWORD " +
                    std::to_string(kInstalledPacketPoolSize) + " raises it");
        else if (v)
            say(name, *v, "kept");
        else if (name == "PacketPoolSize")
            write(name, kInstalledPacketPoolSize);
        return v ? v : name == "PacketPoolSize" ? std::optional(kInstalledPacketPoolSize) : v;
    }
    void write(const std::string& name, uint32_t value) override {
        m_store.write(name, value);
        say(name, value, "written");
    }
    bool failed() const { return m_failed; }

private:
    void say(const std::string& name, uint32_t value, const std::string& how) {
        if (!m_report || std::find(m_said.begin(), m_said.end(), name) != m_said.end())
            return;
        m_said.push_back(name);
        m_report->push_back("  " + name + " = " + std::to_string(value) + " (" + how + ")");
    }

    RegistryConfigStore m_store;
    std::vector<std::string>* m_report;
    std::vector<std::string> m_said;
    bool m_failed = false;
};
} // namespace

long install_service(const reg::Registry& registry, const std::string& imagePath,
                     std::vector<std::string>* report) {
    long rc = registry.createKey(kHive, kServiceKey);
    if (rc == reg::kSuccess)
        rc = registry.setValue(kHive, kServiceKey, "ImagePath", reg::Value::Sz(imagePath));
    if (rc == reg::kSuccess)
        rc = registry.createKey(kHive, kParametersKey);
    if (rc != reg::kSuccess)
        return rc;
    if (report) {
        report->push_back(std::string("HKEY_LOCAL_MACHINE\\") + kServiceKey +
                          ": ImagePath = " + imagePath + " (written)");
        report->push_back(std::string("HKEY_LOCAL_MACHINE\\") + kParametersKey + ":");
    }
    InstallStore store(registry, report);
    configure_driver(store);
    if (store.failed())
        return reg::kAccessDenied;
    rc = registry.createKey(kHive, kEnumKey);
    if (rc == reg::kSuccess && report)
        report->push_back(std::string("HKEY_LOCAL_MACHINE\\") + kEnumKey + " (made)");
    return rc;
}

long uninstall_service(const reg::Registry& registry, std::string* error) {
    std::vector<std::string> held;
    if (registry.enumSubkeys(kHive, kRestoreKey, held) == reg::kSuccess && !held.empty()) {
        if (error) {
            // Records lie under their network namespace (an earlier release's by name).
            *error = "the registry store holds what a daemon must give back of";
            for (const auto& key : held) {
                std::vector<std::string> names;
                registry.enumSubkeys(kHive, std::string(kRestoreKey) + "\\" + key, names);
                if (names.empty())
                    names.push_back(key);
                for (const auto& name : names)
                    *error += " " + name;
            }
            *error += ": stop the daemon (or start and stop it once) first";
        }
        return reg::kAccessDenied;
    }
    for (const char* key : {kEnumKey, kServiceKey}) {
        if (registry.openKey(kHive, key) != reg::kSuccess)
            continue;
        const long rc = registry.deleteTree(kHive, key);
        if (rc != reg::kSuccess)
            return rc;
    }
    return reg::kSuccess;
}

} // namespace quellin::edges
