// What a restore record may make the daemon do: only what concerns the one interface it
// names. A record is checked before anything of it is acted on; one that asks for anything
// else is kept and reported, never acted on.
#pragma once

#include "QuellinEdges/RestoreRecords.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace quellin::edges {

// The name of the namespace the daemon with process id `pid` holds `interface` in.
std::string held_namespace_name(pid_t pid, const std::string& interface);
// Whether `netns` is a namespace of the daemon's own for `interface`
// ("quellin-PID-INTERFACE"); `pid` gets its process id.
bool is_held_namespace(const std::string& netns, const std::string& interface,
                       pid_t* pid = nullptr);

// Why the record must not be acted on, or nothing when it may: its interface's name; for a
// held interface, a namespace of the daemon's own form for that interface and the owner's
// process; sysctls of that interface's own folders only; addresses, routes (every next hop)
// and static neighbours on that interface only.
std::optional<std::string> record_problem(const RestoreRecord& record);

// What of a damaged record's settings may be given back: the parts that pass the checks
// above (none when the name does not).
InterfaceSettings checked_part(const InterfaceSettings& settings);

} // namespace quellin::edges
