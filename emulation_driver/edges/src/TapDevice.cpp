#include "QuellinEdges/FramePort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

TapDevice::TapDevice(const std::string& name) : m_name(name) {
    if (name.empty() || name.size() >= IFNAMSIZ)
        throw std::system_error(EINVAL, std::generic_category(), "TAP name");
    m_fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "/dev/net/tun");
    ifreq ifr{};
    ifr.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::memcpy(ifr.ifr_name, name.c_str(), name.size() + 1);
    if (::ioctl(m_fd, TUNSETIFF, &ifr) < 0 || ::ioctl(m_fd, TUNSETOFFLOAD, 0UL) < 0) {
        const int e = errno;
        ::close(m_fd);
        m_fd = -1;
        throw std::system_error(e, std::generic_category(), "TAP " + name);
    }
    m_name = ifr.ifr_name;
}

TapDevice::~TapDevice() {
    if (m_fd >= 0)
        ::close(m_fd);
}

ReadResult TapDevice::read(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    info = FrameInfo{};
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, capacity);
        if (n >= 0) {
            info.length = static_cast<size_t>(n);
            return ReadResult::Frame;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadResult::Empty : ReadResult::Failed;
    }
}

bool TapDevice::write(const uint8_t* frame, size_t length) {
    for (;;) {
        const ssize_t n = ::write(m_fd, frame, length);
        if (n >= 0)
            return static_cast<size_t>(n) == length;
        if (errno != EINTR)
            return false;
    }
}

bool TapDevice::set_carrier(bool on) {
    int value = on ? 1 : 0;
    return ::ioctl(m_fd, TUNSETCARRIER, &value) == 0;
}

bool TapDevice::set_mac(const std::array<uint8_t, 6>& mac) {
    ifreq ifr{};
    std::memcpy(ifr.ifr_name, m_name.c_str(), m_name.size() + 1);
    ifr.ifr_hwaddr.sa_family = ARPHRD_ETHER;
    std::memcpy(ifr.ifr_hwaddr.sa_data, mac.data(), mac.size());
    return ::ioctl(m_fd, SIOCSIFHWADDR, &ifr) == 0;
}

} // namespace quellin::edges
