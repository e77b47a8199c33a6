#include "QuellinEdges/RestoreRecords.h"

#include "QuellinEdges/Namespaces.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quellin::edges {

namespace reg = platform::registry;

namespace {

constexpr reg::Hive kHive = reg::Hive::LocalMachine;

uint64_t namespace_or_current(uint64_t netns) {
    return netns ? netns : current_netns_id();
}

std::string folder_of(uint64_t netns) {
    return std::string(kRestoreKey) + "\\" + std::to_string(namespace_or_current(netns));
}

std::string key_of(const std::string& interface, uint64_t netns) {
    return folder_of(netns) + "\\" + interface;
}

constexpr const char* kRecordValue = "Record";

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<std::vector<uint8_t>> unhex(const std::string& text) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (text.size() % 2)
        return std::nullopt;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::string words_hex(const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return hex(bytes);
}

std::vector<uint32_t> hex_words(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        out.push_back(uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 |
                      uint32_t{bytes[i + 2]} << 16 | uint32_t{bytes[i + 3]} << 24);
    return out;
}

// Field 22 of /proc/PID/stat: the start time, which tells a process from a later one
// that got the same id.
std::string start_time_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return {};
    const auto close = line.rfind(')'); // the command may hold spaces and brackets
    if (close == std::string::npos)
        return {};
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return field;
    return {};
}

} // namespace

std::string self_owner() {
    return std::to_string(::getpid()) + " " + start_time_of(::getpid());
}

bool owner_running(const std::string& owner) {
    std::istringstream in(owner);
    long pid = 0;
    std::string start;
    if (!(in >> pid >> start) || pid <= 0)
        return false;
    return start_time_of(static_cast<pid_t>(pid)) == start;
}

std::string current_boot_id() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

long RestoreRecords::save(const RestoreRecord& r) const {
    // One value, written at once: a crash leaves the record whole or not there.
    const InterfaceSettings& s = r.settings;
    std::vector<std::string> lines = {
        "kind=" + std::string(r.kind == RecordKind::Held ? "held" : "settings"),
        "namespace=" + r.namespaceName,
        "station-namespace=" + std::to_string(r.stationNamespace),
        "owner=" + r.owner,
        "boot-id=" + r.bootId,
        "index=" + std::to_string(s.index),
        "flags=" + std::to_string(s.flags),
        "mtu=" + std::to_string(s.mtu),
        "captured-at=" + std::to_string(s.capturedAt),
        "features=" + words_hex(s.features),
    };
    for (const auto& [k, v] : s.sysctls)
        lines.push_back("sysctl " + k + "=" + v);
    for (auto [tag, list] : {std::pair{"address ", &s.addresses}, std::pair{"route ", &s.routes},
                             std::pair{"neighbour ", &s.neighbours}})
        for (const auto& m : *list)
            lines.push_back(tag + hex(nl::join({m})));
    const std::string key = key_of(s.name, r.stationNamespace);
    long rc = m_registry.createKey(kHive, key);
    if (rc == reg::kSuccess)
        rc = m_registry.setValue(kHive, key, kRecordValue, reg::Value::MultiSz(lines));
    return rc;
}

platform::registry::Registry::Lock RestoreRecords::hold() const {
    return m_registry.lockRootOnly("Restore");
}

std::vector<std::string> RestoreRecords::names(uint64_t netns) const {
    adopt_earlier_records();
    std::vector<std::string> out;
    m_registry.enumSubkeys(kHive, folder_of(netns), out);
    return out;
}

void RestoreRecords::adopt_earlier_records() const {
    // An earlier release kept "Restore\\<interface>" with the record in it; a namespace's
    // folder holds no record of its own.
    std::vector<std::string> keys;
    m_registry.enumSubkeys(kHive, kRestoreKey, keys);
    for (const auto& key : keys) {
        const std::string old = std::string(kRestoreKey) + "\\" + key;
        reg::Value v;
        if (m_registry.queryValue(kHive, old, kRecordValue, v) != reg::kSuccess) {
            // An unfinished one of then (nothing was changed yet) holds nothing at all.
            std::vector<std::string> below;
            if (m_registry.enumSubkeys(kHive, old, below) == reg::kSuccess && below.empty())
                m_registry.deleteKey(kHive, old);
            continue;
        }
        uint64_t netns = 0;
        if (v.type == reg::ValueType::MultiSz)
            for (const auto& line : v.strings)
                if (line.rfind("station-namespace=", 0) == 0)
                    netns = std::strtoull(line.c_str() + 18, nullptr, 10);
        const std::string now = key_of(key, netns);
        if (m_registry.createKey(kHive, now) == reg::kSuccess &&
            m_registry.setValue(kHive, now, kRecordValue, v) == reg::kSuccess)
            m_registry.deleteTree(kHive, old);
    }
}

std::string RestoreRecords::key_text(const std::string& interface, uint64_t netns) const {
    return std::string("HKEY_LOCAL_MACHINE\\") + key_of(interface, netns);
}

std::optional<RestoreRecord> RestoreRecords::load(const std::string& interface, std::string& error,
                                                  uint64_t netns, Fault* fault,
                                                  RestoreRecord* partial) const {
    Fault ignored = Fault::None;
    Fault& state = fault ? *fault : ignored;
    state = Fault::None;
    reg::Value v;
    const long rc = m_registry.queryValue(kHive, key_of(interface, netns), kRecordValue, v);
    if (rc == reg::kSuccess && v.type != reg::ValueType::MultiSz) {
        state = Fault::Damaged;
        error = "the record of " + interface + " is damaged";
        return std::nullopt;
    }
    if (rc != reg::kSuccess) {
        state = rc == reg::kFileNotFound ? Fault::Unfinished : Fault::Unreadable;
        error = rc == reg::kFileNotFound ? "the record of " + interface + " is unfinished"
                                         : "the record of " + interface +
                                               " cannot be read (error " + std::to_string(rc) + ")";
        return std::nullopt;
    }
    RestoreRecord r;
    InterfaceSettings& s = r.settings;
    s.name = interface;
    std::string kind;
    bool damaged = false;
    for (const auto& line : v.strings) {
        const auto space = line.find(' ');
        const auto eq = line.find('=');
        if (space != std::string::npos && (eq == std::string::npos || space < eq)) {
            const std::string tag = line.substr(0, space);
            const std::string rest = line.substr(space + 1);
            if (tag == "sysctl") {
                const auto at = rest.find('=');
                if (at == std::string::npos)
                    damaged = true;
                else
                    s.sysctls.emplace_back(rest.substr(0, at), rest.substr(at + 1));
                continue;
            }
            auto bytes = unhex(rest);
            auto* list = tag == "address"     ? &s.addresses
                         : tag == "route"     ? &s.routes
                         : tag == "neighbour" ? &s.neighbours
                                              : nullptr;
            if (!bytes || !list) {
                damaged = true;
                continue;
            }
            for (auto& m : nl::split(bytes->data(), bytes->size()))
                list->push_back(std::move(m));
            continue;
        }
        if (eq == std::string::npos) {
            damaged = true;
            continue;
        }
        const std::string name = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        const uint64_t number = std::strtoull(value.c_str(), nullptr, 10);
        if (name == "kind")
            kind = value;
        else if (name == "namespace")
            r.namespaceName = value;
        else if (name == "station-namespace")
            r.stationNamespace = number;
        else if (name == "owner")
            r.owner = value;
        else if (name == "boot-id")
            r.bootId = value;
        else if (name == "index")
            s.index = static_cast<int>(number);
        else if (name == "flags")
            s.flags = static_cast<uint32_t>(number);
        else if (name == "mtu")
            s.mtu = static_cast<uint32_t>(number);
        else if (name == "captured-at")
            s.capturedAt = number;
        else if (name == "features") {
            auto bytes = unhex(value);
            damaged |= !bytes;
            if (bytes)
                s.features = hex_words(*bytes);
        }
    }
    r.kind = kind == "held" ? RecordKind::Held : RecordKind::Settings;
    if (damaged || (kind != "held" && kind != "settings") || r.owner.empty()) {
        error = "the record of " + interface + " is damaged";
        state = Fault::Damaged;
        if (partial)
            *partial = std::move(r);
        return std::nullopt;
    }
    return r;
}

long RestoreRecords::remove(const std::string& interface, uint64_t netns) const {
    const long rc = m_registry.deleteTree(kHive, key_of(interface, netns));
    if (rc == reg::kFileNotFound)
        return reg::kSuccess;
    if (rc == reg::kSuccess) {
        // Empty folders go with their last record.
        std::vector<std::string> left;
        if (m_registry.enumSubkeys(kHive, folder_of(netns), left) == reg::kSuccess && left.empty())
            m_registry.deleteKey(kHive, folder_of(netns));
        if (m_registry.enumSubkeys(kHive, kRestoreKey, left) == reg::kSuccess && left.empty())
            m_registry.deleteKey(kHive, kRestoreKey);
    }
    return rc;
}

} // namespace quellin::edges
