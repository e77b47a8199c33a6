// The system group whose members use the daemon and change the registry store: the control
// socket and the store's folder are given to it where it exists (the package makes it).
#pragma once

#include <optional>
#include <sys/types.h>

namespace platform {

inline constexpr const char* kAccessGroupName = "altiren";

// The group's id; nothing where the system has no such group.
std::optional<gid_t> access_group_id();

} // namespace platform
