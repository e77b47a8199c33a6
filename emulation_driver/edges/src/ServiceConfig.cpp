#include "QuellinEdges/ServiceConfig.h"

namespace quellin::edges {

namespace reg = platform::registry;

namespace {
constexpr reg::Hive kHive = reg::Hive::LocalMachine;
}

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
    return out;
}

long install_service(const reg::Registry& registry, const std::string& imagePath) {
    long rc = registry.createKey(kHive, kServiceKey);
    if (rc == reg::kSuccess)
        rc = registry.setValue(kHive, kServiceKey, "ImagePath", reg::Value::Sz(imagePath));
    if (rc == reg::kSuccess)
        rc = registry.createKey(kHive, kParametersKey);
    if (rc != reg::kSuccess)
        return rc;
    long writeFailure = reg::kSuccess;
    RegistryConfigStore store(registry, kParametersKey,
                              [&](int, const std::string&) { writeFailure = reg::kAccessDenied; });
    configure_driver(store);
    if (writeFailure != reg::kSuccess)
        return writeFailure;
    return registry.createKey(kHive, kEnumKey);
}

long uninstall_service(const reg::Registry& registry) {
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
