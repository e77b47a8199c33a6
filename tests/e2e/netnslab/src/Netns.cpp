#include "NetnsLab/Netns.h"

#include "NetnsLab/Process.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ifaddrs.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sched.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace netnslab {

namespace {

std::string errno_text(const std::string& what) {
    return what + ": " + strerror(errno);
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

ifreq make_ifreq(const std::string& ifname) {
    if (ifname.empty() || ifname.size() >= IFNAMSIZ)
        throw std::runtime_error("bad interface name '" + ifname + "'");
    ifreq req{};
    std::memcpy(req.ifr_name, ifname.c_str(), ifname.size());
    return req;
}

} // namespace

NetnsGuard::NetnsGuard(const std::string& netns) {
    if (netns.empty())
        return;
    m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_home < 0)
        throw std::runtime_error(errno_text("open /proc/thread-self/ns/net"));
    std::string path = "/run/netns/" + netns;
    int target = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (target < 0) {
        std::string msg = errno_text("open " + path);
        ::close(m_home);
        throw std::runtime_error(msg);
    }
    int r = ::setns(target, CLONE_NEWNET);
    int e = errno;
    ::close(target);
    if (r != 0) {
        ::close(m_home);
        errno = e;
        throw std::runtime_error(errno_text("setns " + netns));
    }
}

NetnsGuard::~NetnsGuard() {
    if (m_home < 0)
        return;
    if (::setns(m_home, CLONE_NEWNET) != 0) {
        // Carrying on in the wrong namespace would aim traffic at the host.
        std::perror("netnslab: cannot return to the original network namespace");
        std::abort();
    }
    ::close(m_home);
}

int socket_in(const std::string& netns, int domain, int type, int protocol) {
    NetnsGuard in(netns);
    int fd = ::socket(domain, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        throw std::runtime_error(errno_text("socket in " + netns));
    return fd;
}

int tap_in(const std::string& netns, const std::string& name) {
    NetnsGuard in(netns);
    int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw std::runtime_error(errno_text("/dev/net/tun"));
    ifreq req{};
    req.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(req.ifr_name, sizeof req.ifr_name, "%s", name.c_str());
    if (::ioctl(fd, TUNSETIFF, &req) != 0) {
        const std::string text = errno_text("TAP " + name + " in " + netns);
        ::close(fd);
        throw std::runtime_error(text);
    }
    return fd;
}

std::vector<std::string> list_netns() {
    std::vector<std::string> names;
    DIR* dir = ::opendir("/run/netns");
    if (!dir)
        return names;
    while (dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(dir);
    return names;
}

bool netns_exists(const std::string& netns) {
    return ::access(("/run/netns/" + netns).c_str(), F_OK) == 0;
}

void add_netns(const std::string& netns) {
    run_checked("", {"ip", "netns", "add", netns});
}

bool delete_netns(const std::string& netns) {
    return run("", {"ip", "netns", "del", netns}).ok();
}

void write_sysctl(const std::string& netns, const std::string& key, const std::string& value) {
    NetnsGuard in(netns);
    std::string path = "/proc/sys/" + key;
    std::ofstream out(path);
    out << value << '\n';
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path + " in " + netns);
}

bool link_exists(const std::string& netns, const std::string& ifname) {
    NetnsGuard in(netns);
    return ::if_nametoindex(ifname.c_str()) != 0;
}

std::vector<std::string> list_links(const std::string& netns) {
    NetnsGuard in(netns);
    std::vector<std::string> names;
    if (struct if_nameindex* all = ::if_nameindex()) {
        for (struct if_nameindex* i = all; i->if_index != 0; ++i)
            names.emplace_back(i->if_name);
        ::if_freenameindex(all);
    }
    return names;
}

std::string mac_address(const std::string& netns, const std::string& ifname) {
    Fd s(socket_in(netns, AF_INET, SOCK_DGRAM));
    ifreq req = make_ifreq(ifname);
    if (::ioctl(s.get(), SIOCGIFHWADDR, &req) != 0)
        throw std::runtime_error(errno_text("SIOCGIFHWADDR " + ifname + " in " + netns));
    const auto* b = reinterpret_cast<const unsigned char*>(req.ifr_hwaddr.sa_data);
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4],
                  b[5]);
    return text;
}

int link_mtu(const std::string& netns, const std::string& ifname) {
    Fd s(socket_in(netns, AF_INET, SOCK_DGRAM));
    ifreq req = make_ifreq(ifname);
    if (::ioctl(s.get(), SIOCGIFMTU, &req) != 0)
        throw std::runtime_error(errno_text("SIOCGIFMTU " + ifname + " in " + netns));
    return req.ifr_mtu;
}

} // namespace netnslab
