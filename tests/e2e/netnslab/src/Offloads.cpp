#include "NetnsLab/Offloads.h"

#include "NetnsLab/Netns.h"

#include <cerrno>
#include <cstring>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace netnslab {

namespace {

struct Feature {
    __u32 get;
    __u32 set;
    bool Offloads::*field;
    const char* name;
};

// Segmentation first: the kernel keeps TSO tied to checksumming and scatter-gather.
constexpr Feature kFeatures[] = {
    {ETHTOOL_GTSO, ETHTOOL_STSO, &Offloads::tso, "tso"},
    {ETHTOOL_GGSO, ETHTOOL_SGSO, &Offloads::gso, "gso"},
    {ETHTOOL_GGRO, ETHTOOL_SGRO, &Offloads::gro, "gro"},
    {ETHTOOL_GSG, ETHTOOL_SSG, &Offloads::scatter_gather, "sg"},
    {ETHTOOL_GTXCSUM, ETHTOOL_STXCSUM, &Offloads::tx_checksum, "tx-checksum"},
};

class Socket {
public:
    Socket(const std::string& netns) : m_fd(socket_in(netns, AF_INET, SOCK_DGRAM)) {}
    ~Socket() { ::close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool ethtool_io(int fd, const std::string& ifname, __u32 cmd, __u32* value) {
    ethtool_value ev{};
    ev.cmd = cmd;
    ev.data = value ? *value : 0;
    ifreq req{};
    if (ifname.empty() || ifname.size() >= IFNAMSIZ)
        throw std::runtime_error("bad interface name '" + ifname + "'");
    std::memcpy(req.ifr_name, ifname.c_str(), ifname.size());
    req.ifr_data = reinterpret_cast<char*>(&ev);
    if (::ioctl(fd, SIOCETHTOOL, &req) != 0)
        return false;
    if (value)
        *value = ev.data;
    return true;
}

Offloads read_with(int fd, const std::string& netns, const std::string& ifname) {
    Offloads out;
    for (const auto& f : kFeatures) {
        __u32 v = 0;
        if (!ethtool_io(fd, ifname, f.get, &v))
            throw std::runtime_error(std::string("SIOCETHTOOL get ") + f.name + " on " + ifname +
                                     " in " + netns + ": " + strerror(errno));
        out.*(f.field) = v != 0;
    }
    return out;
}

} // namespace

Offloads read_offloads(const std::string& netns, const std::string& ifname) {
    Socket s(netns);
    return read_with(s.fd(), netns, ifname);
}

void disable_offloads(const std::string& netns, const std::string& ifname) {
    Socket s(netns);
    for (const auto& f : kFeatures) {
        __u32 off = 0;
        // A feature the device cannot change is checked below instead.
        ethtool_io(s.fd(), ifname, f.set, &off);
    }
    Offloads now = read_with(s.fd(), netns, ifname);
    for (const auto& f : kFeatures)
        if (now.*(f.field))
            throw std::runtime_error(std::string("offload ") + f.name + " stays on for " + ifname +
                                     " in " + netns);
}

} // namespace netnslab
