// Network namespaces of the daemon's own. A named one lives under /run/netns as `ip netns`
// keeps them: a bind mount holds it, so it outlives the process that made it (a SIGKILL
// included) until it is deleted. NetnsScope enters one for a while on the calling thread;
// sockets made meanwhile stay in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quellin::edges {

inline constexpr const char* kNetnsFolder = "/run/netns";

// Makes a named namespace; its descriptor, or -1 with errno (EEXIST: the name is taken).
int create_named_netns(const std::string& name);
// The descriptor of a named namespace, or -1 with errno.
int open_named_netns(const std::string& name);
// Unmounts and removes a named namespace; true when it is gone (or was never there).
bool delete_named_netns(const std::string& name);

// The named namespace in `folder` in which a running daemon of this network namespace holds
// `interface` ("quellin-PID-INTERFACE" with PID alive there), and that daemon's process id.
struct HoldingNamespace {
    std::string name;
    long pid = 0;
};
std::optional<HoldingNamespace> holding_namespace(const std::string& interface,
                                                  const std::string& folder = kNetnsFolder);

// The descriptor of the calling thread's network namespace, or -1.
int open_current_netns();
// The inode that names the calling thread's network namespace (0 when unreadable).
uint64_t current_netns_id();
// Whether this process shares the mount namespace of process 1, where the mounts that hold
// named namespaces outlive it. Unknown when either namespace cannot be read (`unread` then
// names the path and the reason).
enum class MountNamespaceMatch { Shared, Private, Unknown };
struct MountNamespaceCheck {
    MountNamespaceMatch match = MountNamespaceMatch::Unknown;
    std::string unread;
};
MountNamespaceCheck check_mount_namespace(const std::string& self = "/proc/self/ns/mnt",
                                          const std::string& init = "/proc/1/ns/mnt");
// The start-up warning for a daemon that holds `lower` in a named namespace: what the check
// found, and no more; empty when the namespace is shared.
std::string mount_namespace_warning(const MountNamespaceCheck& check, const std::string& lower);

class NetnsScope {
public:
    // Enters the namespace of `netnsFd`; entered() tells whether that worked.
    explicit NetnsScope(int netnsFd);
    ~NetnsScope(); // back to the namespace the thread was in; aborts when that fails
    NetnsScope(const NetnsScope&) = delete;
    NetnsScope& operator=(const NetnsScope&) = delete;
    bool entered() const { return m_entered; }

private:
    int m_home = -1;
    bool m_entered = false;
};

} // namespace quellin::edges
