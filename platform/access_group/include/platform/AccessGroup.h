// The system group whose members use the daemon and change the registry store: the control
// socket and the store's folder are given to it where it exists (the package makes it).
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace platform {

inline constexpr const char* kAccessGroupName = "altiren";

// The group's id; nothing where the system has no such group.
std::optional<gid_t> access_group_id();

// Whom the control socket and the store are for and how a user joins, for a refusal:
// "root and the group altiren (usermod -aG altiren USER, then log in again)".
std::string access_group_advice();

// True when the group exists and this process is neither root nor of the group (its
// effective or a supplementary group).
bool outside_access_group();

} // namespace platform
