#include "QuellinEdges/FramePort.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {
constexpr int kReceiveBuffer = 8 << 20;

// Reads what the kernel reported beside a received frame: puts back the VLAN tag it took
// off, and tells whether the checksum was left to offload.
void read_auxdata(const msghdr& msg, uint8_t* buffer, size_t capacity, FrameInfo& info) {
    size_t& length = info.length;
    for (const cmsghdr* c = CMSG_FIRSTHDR(&msg); c;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&msg), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level != SOL_PACKET || c->cmsg_type != PACKET_AUXDATA ||
            c->cmsg_len < CMSG_LEN(sizeof(tpacket_auxdata)))
            continue;
        tpacket_auxdata aux;
        std::memcpy(&aux, CMSG_DATA(c), sizeof aux);
        info.checksumPending = (aux.tp_status & TP_STATUS_CSUMNOTREADY) != 0;
        if (!(aux.tp_status & TP_STATUS_VLAN_VALID))
            return;
        const uint16_t tpid =
            (aux.tp_status & TP_STATUS_VLAN_TPID_VALID) ? aux.tp_vlan_tpid : ETH_P_8021Q;
        if (length < 12)
            return; // no room for the addresses the tag follows
        const size_t full = length + 4;
        // A frame cut by the read only gets its full length back: the caller refuses it.
        if (full <= capacity) {
            std::memmove(buffer + 16, buffer + 12, length - 12);
            buffer[12] = static_cast<uint8_t>(tpid >> 8);
            buffer[13] = static_cast<uint8_t>(tpid);
            buffer[14] = static_cast<uint8_t>(aux.tp_vlan_tci >> 8);
            buffer[15] = static_cast<uint8_t>(aux.tp_vlan_tci);
        }
        length = full;
        return;
    }
}
} // namespace

PacketSocket::PacketSocket(const std::string& name, int ifindex) : m_ifindex(ifindex) {
    // Protocol 0 until bound, so no frame of another interface slips in before bind.
    m_fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "packet socket");
    auto fail = [&](const char* what) {
        const int e = errno;
        ::close(m_fd);
        m_fd = -1;
        throw std::system_error(e, std::generic_category(), std::string(what) + " " + name);
    };
    int one = 1;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one) < 0)
        fail("PACKET_IGNORE_OUTGOING");
    // The kernel hands over beside a received frame the VLAN tag it took off and whether
    // the checksum is still to be computed.
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_AUXDATA, &one, sizeof one) < 0)
        fail("PACKET_AUXDATA");
    int size = kReceiveBuffer;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) < 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_ll addr{};
    addr.sll_family = AF_PACKET;
    addr.sll_protocol = htons(ETH_P_ALL);
    addr.sll_ifindex = ifindex;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        fail("bind");
    packet_mreq mr{};
    mr.mr_ifindex = ifindex;
    mr.mr_type = PACKET_MR_PROMISC;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mr, sizeof mr) < 0)
        fail("promiscuous membership");
    // Counters from here on only.
    take_kernel_drops();
}

PacketSocket::~PacketSocket() {
    if (m_fd >= 0)
        ::close(m_fd);
}

ReadResult PacketSocket::read(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    for (;;) {
        info = FrameInfo{};
        sockaddr_ll from{};
        alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(tpacket_auxdata))];
        iovec iov{buffer, capacity};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(m_fd, &msg, MSG_TRUNC);
        if (n >= 0) {
            if (from.sll_pkttype == PACKET_OUTGOING)
                continue; // kernels that ignore PACKET_IGNORE_OUTGOING
            info.length = static_cast<size_t>(n);
            read_auxdata(msg, buffer, capacity, info);
            return ReadResult::Frame;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadResult::Empty : ReadResult::Failed;
    }
}

bool PacketSocket::write(const uint8_t* frame, size_t length) {
    for (;;) {
        const ssize_t n = ::send(m_fd, frame, length, MSG_DONTWAIT);
        if (n >= 0)
            return static_cast<size_t>(n) == length;
        if (errno != EINTR)
            return false;
    }
}

uint32_t PacketSocket::take_kernel_drops() {
    tpacket_stats stats{};
    socklen_t size = sizeof stats;
    if (::getsockopt(m_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &size) < 0)
        return 0;
    return stats.tp_drops;
}

} // namespace quellin::edges
