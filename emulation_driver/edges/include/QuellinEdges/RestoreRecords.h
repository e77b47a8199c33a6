// What the daemon must give back, kept in the registry store from before the first change
// it makes to an interface until it has given everything back: one key per interface and
// network namespace it was taken from, "Restore\\<namespace>\\<interface>" under the
// service's key (root's alone), so that daemons of two namespaces never meet. A daemon that
// was killed finds the records on its next start and gives back what they hold. Whoever
// reads a record, acts on it and removes it holds hold() meanwhile: a second daemon never
// removes a record the first has just written.
#pragma once

#include "QuellinEdges/InterfaceSettings.h"

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <vector>

namespace quellin::edges {

inline constexpr const char* kRestoreKey = "SYSTEM\\CurrentControlSet\\Services\\QL\\Restore";

enum class RecordKind {
    Held,     // moved into the daemon's namespace `namespaceName`; everything comes back
    Settings, // stays where it is; only its offload settings come back
};

struct RestoreRecord {
    RecordKind kind = RecordKind::Settings;
    std::string namespaceName;     // Held
    uint64_t stationNamespace = 0; // where the interface was taken from
    std::string owner;             // the daemon that holds it, "pid start-time"
    std::string bootId;            // a record of an earlier boot is stale
    InterfaceSettings settings;    // settings.name names the record
};

class RestoreRecords {
public:
    explicit RestoreRecords(const platform::registry::Registry& registry) : m_registry(registry) {}

    // Held across load, act and remove (or take and save). Not reentrant.
    platform::registry::Registry::Lock hold() const;

    // Writes the record whole under its interface and station namespace; the owner goes
    // last, so a record cut short by a crash has none and is known for unfinished. A Win32
    // error number, 0 on success.
    long save(const RestoreRecord& record) const;
    // The calls below take the calling thread's network namespace unless given one.
    // Names of the interfaces with a record. Records an earlier release kept by name alone
    // move under their namespace first.
    std::vector<std::string> names(uint64_t netns = 0) const;
    // nullopt with a reason for a missing, unfinished or damaged record; `fault` (when
    // given) tells which, and `partial` gets what of a damaged one could be read.
    enum class Fault { None, Unfinished, Damaged, Unreadable };
    std::optional<RestoreRecord> load(const std::string& interface, std::string& error,
                                      uint64_t netns = 0, Fault* fault = nullptr,
                                      RestoreRecord* partial = nullptr) const;
    long remove(const std::string& interface, uint64_t netns = 0) const;
    // The record's key, for people: "HKEY_LOCAL_MACHINE\\...\\Restore\\<namespace>\\<name>".
    std::string key_text(const std::string& interface, uint64_t netns = 0) const;

private:
    void adopt_earlier_records() const;

    const platform::registry::Registry& m_registry;
};

// This process as a record's owner, and whether an owner still runs (the same process
// id with the same start time).
std::string self_owner();
bool owner_running(const std::string& owner);
// The kernel's boot identifier.
std::string current_boot_id();

} // namespace quellin::edges
