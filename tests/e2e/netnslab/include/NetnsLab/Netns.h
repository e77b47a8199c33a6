// Network namespaces by name (the /run/netns entries that `ip netns` keeps), and
// small queries of interfaces inside them.
#pragma once

#include <string>
#include <vector>

namespace netnslab {

// Enters a network namespace for the calling thread and returns to the former
// one when destroyed. Throws std::runtime_error when the namespace cannot be
// entered.
class NetnsGuard {
public:
    explicit NetnsGuard(const std::string& netns);
    ~NetnsGuard();
    NetnsGuard(const NetnsGuard&) = delete;
    NetnsGuard& operator=(const NetnsGuard&) = delete;

private:
    int m_home = -1;
};

// A socket that lives in `netns` (it stays there after the thread returns).
int socket_in(const std::string& netns, int domain, int type, int protocol = 0);

// A TAP device (no packet information, non-blocking) made in `netns`; its descriptor, or
// std::runtime_error.
int tap_in(const std::string& netns, const std::string& name);

std::vector<std::string> list_netns();
bool netns_exists(const std::string& netns);
void add_netns(const std::string& netns);    // throws when it cannot
bool delete_netns(const std::string& netns); // false when `ip netns del` failed

// Writes a value under /proc/sys/ as seen from `netns`, e.g. "net/ipv6/conf/all/forwarding".
void write_sysctl(const std::string& netns, const std::string& key, const std::string& value);

bool link_exists(const std::string& netns, const std::string& ifname);
// Names of every link in `netns` (empty name: the caller's namespace).
std::vector<std::string> list_links(const std::string& netns);
// Hardware address as "xx:xx:xx:xx:xx:xx"; throws when the link is missing.
std::string mac_address(const std::string& netns, const std::string& ifname);
int link_mtu(const std::string& netns, const std::string& ifname);

} // namespace netnslab
