#include "QuellinEdges/FramePort.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {

// Newer than the system's headers may know.
constexpr unsigned kTunUso4 = 0x20;
constexpr unsigned kTunUso6 = 0x40;
constexpr unsigned kTunTcpOffloads = TUN_F_CSUM | TUN_F_TSO4 | TUN_F_TSO6 | TUN_F_TSO_ECN;
// What a reading thread holds beyond the device's own queue: about 17 ms of a gigabit flow
// of full-size frames, or 30 of the largest super-frames.
constexpr size_t kReadRing = 2 << 20;

int open_tap(const std::string& name, short flags, std::string& actualName) {
    const int fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "/dev/net/tun");
    ifreq ifr{};
    // Only a TAP of our own: an existing one (a virtual machine's, a persistent one) is
    // refused with EBUSY, never attached and changed.
    ifr.ifr_flags = static_cast<short>(IFF_TAP | IFF_NO_PI | IFF_TUN_EXCL | flags);
    std::memcpy(ifr.ifr_name, name.c_str(), name.size() + 1);
    if (::ioctl(fd, TUNSETIFF, &ifr) < 0) {
        const int e = errno;
        ::close(fd);
        throw std::system_error(e, std::generic_category(), "TAP " + name);
    }
    actualName = ifr.ifr_name;
    return fd;
}

// The header in little-endian order and the offloads on; why not when they cannot be.
std::string enable_offloads(int fd) {
    int size = static_cast<int>(VnetHeader::kSize);
    if (::ioctl(fd, TUNSETVNETHDRSZ, &size) < 0)
        return std::string("no offload header size: ") + std::strerror(errno);
    int littleEndian = 1;
    if (::ioctl(fd, TUNSETVNETLE, &littleEndian) < 0 && std::endian::native != std::endian::little)
        return std::string("no little-endian offload header: ") + std::strerror(errno);
    // UDP segmentation is newer than the rest: without it, the station cuts datagrams.
    if (::ioctl(fd, TUNSETOFFLOAD,
                static_cast<unsigned long>(kTunTcpOffloads | kTunUso4 | kTunUso6)) == 0 ||
        ::ioctl(fd, TUNSETOFFLOAD, static_cast<unsigned long>(kTunTcpOffloads)) == 0)
        return "";
    return std::string("offloads refused: ") + std::strerror(errno);
}

} // namespace

TapDevice::TapDevice(const std::string& name, bool offloads) : m_name(name) {
    if (name.empty() || name.size() >= IFNAMSIZ)
        throw std::system_error(EINVAL, std::generic_category(), "TAP name");
    if (offloads) {
        try {
            m_fd = open_tap(name, IFF_VNET_HDR, m_name);
            m_offloadNote = enable_offloads(m_fd);
        } catch (const std::system_error& e) {
            if (e.code().value() != EINVAL)
                throw; // the name is taken, or no TAP can be made: the same without offloads
            m_offloadNote = std::string("no offload header: ") + e.code().message();
        }
        if (m_offloadNote.empty()) {
            m_offloads = true;
            return;
        }
        if (m_fd >= 0)
            ::close(m_fd); // the device goes with it, and is made anew below
        m_fd = -1;
    }
    m_fd = open_tap(name, 0, m_name);
    if (::ioctl(m_fd, TUNSETOFFLOAD, 0UL) < 0) {
        const int e = errno;
        ::close(m_fd);
        m_fd = -1;
        throw std::system_error(e, std::generic_category(), "TAP " + name);
    }
}

TapDevice::~TapDevice() {
    m_reader.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

int TapDevice::fd() const {
    return m_reader ? m_reader->watch_fd() : m_fd;
}

ssize_t TapDevice::read_frame(uint8_t* header, uint8_t* buffer, size_t capacity) {
    if (!m_offloads)
        return ::read(m_fd, buffer, capacity);
    iovec parts[2] = {{header, VnetHeader::kSize}, {buffer, capacity}};
    return ::readv(m_fd, parts, 2);
}

bool TapDevice::read_from_thread(std::string& why) {
    if (m_reader)
        return true;
    // A record of the ring is the offload header (with offloads) and the frame.
    const size_t header = m_offloads ? VnetHeader::kSize : 0;
    try {
        m_reader = std::make_unique<FrameReader>(
            m_fd,
            [this, header](uint8_t* room, size_t capacity) {
                return read_frame(room, room + header, capacity - header);
            },
            header + kMaxFrameRead, kReadRing);
    } catch (const std::system_error& e) {
        why = e.what();
        return false;
    }
    return true;
}

ReadResult TapDevice::take_read(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    const size_t header = m_offloads ? VnetHeader::kSize : 0;
    for (;;) {
        const uint8_t* record;
        size_t length;
        int error;
        if (!m_reader->take(record, length, error)) {
            if (error == 0)
                return ReadResult::Empty;
            errno = error;
            return ReadResult::Failed;
        }
        if (length < header)
            continue;
        info.length = length - header;
        std::memcpy(buffer, record + header, std::min(info.length, capacity));
        if (header) {
            info.hasVnet = true;
            info.vnet = VnetHeader::decode(record);
        }
        return ReadResult::Frame;
    }
}

ReadResult TapDevice::read(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    info = FrameInfo{};
    if (m_reader && !m_reader->taker_reads()) {
        const ReadResult r = take_read(buffer, capacity, info);
        if (r != ReadResult::Empty || !m_reader->taker_reads())
            return r;
        // The thread handed the reading back: what it read was taken, the device is next.
    }
    const ReadResult r = read_here(buffer, capacity, info);
    if (m_reader && r != ReadResult::Failed)
        m_reader->taker_read(r == ReadResult::Frame);
    return r;
}

ReadResult TapDevice::read_here(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    uint8_t header[VnetHeader::kSize];
    for (;;) {
        const ssize_t n = read_frame(header, buffer, capacity);
        if (n >= 0) {
            if (!m_offloads) {
                info.length = static_cast<size_t>(n);
                return ReadResult::Frame;
            }
            if (static_cast<size_t>(n) < sizeof header)
                continue;
            info.length = static_cast<size_t>(n) - sizeof header;
            info.hasVnet = true;
            info.vnet = VnetHeader::decode(header);
            return ReadResult::Frame;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadResult::Empty : ReadResult::Failed;
    }
}

bool TapDevice::write(const uint8_t* frame, size_t length) {
    // No flags: the station verifies the checksums itself, so that a bit error the
    // emulation made, or one from the wire, is seen as one.
    return write(frame, length, VnetHeader{});
}

bool TapDevice::write(const uint8_t* frame, size_t length, const VnetHeader& vnet) {
    uint8_t header[VnetHeader::kSize];
    vnet.encode(header);
    iovec parts[2] = {{header, sizeof header}, {const_cast<uint8_t*>(frame), length}};
    const size_t expected = length + (m_offloads ? sizeof header : 0);
    for (;;) {
        const ssize_t n = m_offloads ? ::writev(m_fd, parts, 2) : ::write(m_fd, frame, length);
        if (n >= 0)
            return static_cast<size_t>(n) == expected;
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
