#include "QuellinEdges/FlowHash.h"
#include "QuellinEdges/FlowLanes.h"
#include "QuellinEdges/FramePort.h"
#include "QuellinEdges/ReceiveRing.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quellin::edges {

namespace {
constexpr int kReceiveBuffer = 8 << 20;
constexpr int kSendBuffer = 8 << 20;
// Slots of 2 KiB hold a full-size frame with a VLAN tag; the kernel puts a longer one (of an
// interface that coalesces, or of a large MTU) in the receive buffer and says so in its
// slot. 4,096 slots: 50 ms of a 1 Gbit/s flow of full-size frames.
constexpr uint32_t kRingFrame = 2048;
constexpr uint32_t kRingBlock = 1u << 16;
constexpr uint32_t kRingBlocks = 128;
constexpr size_t kSendBatch = 64;
constexpr size_t kSendBytes = 256 * 1024;
// What the sender threads hold together: as much as the socket's send buffer; a thread
// holds no less than 1,400 full-size frames.
constexpr size_t kSendRing = 8 << 20;
constexpr size_t kSendRingLeast = 2 << 20;

// The frame with the VLAN tag the kernel took off put back behind the addresses; gives the
// tagged length, whatever of it `capacity` held.
size_t copy_tagged(uint8_t* buffer, size_t capacity, const uint8_t* frame, size_t length,
                   uint16_t tpid, uint16_t tci) {
    if (length < 12) {
        std::memcpy(buffer, frame, std::min(length, capacity));
        return length;
    }
    const size_t full = length + 4;
    if (full > capacity)
        return full; // refused by the caller: nothing copied
    std::memcpy(buffer, frame, 12);
    buffer[12] = static_cast<uint8_t>(tpid >> 8);
    buffer[13] = static_cast<uint8_t>(tpid);
    buffer[14] = static_cast<uint8_t>(tci >> 8);
    buffer[15] = static_cast<uint8_t>(tci);
    std::memcpy(buffer + 16, frame + 12, length - 12);
    return full;
}

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

struct PacketSocket::Ring {
    uint8_t* map = nullptr;
    size_t size = 0;
    ReceiveRing walk;
    uint32_t corrupt = 0; // slots refused as corrupt, not yet reported
    bool readAny = false; // frames came since the ring was last found empty
    Ring(uint8_t* m, size_t s) : map(m), size(s), walk(m, kRingFrame, s / kRingFrame, kRingFrame) {}
    ~Ring() { ::munmap(map, size); }
};

struct PacketSocket::Batch {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSendBytes);
    std::array<iovec, kSendBatch> iov{};
    size_t count = 0;
    size_t used = 0;
    size_t lost = 0;            // frames not taken by a flush queue() made, for the next flush()
    std::vector<size_t> queued; // per sender thread: frames pushed since its last publish
    FlowLanes lanes{1};
};

PacketSocket::PacketSocket(const std::string& name, int ifindex, bool mapped)
    : m_ifindex(ifindex), m_batch(std::make_unique<Batch>()) {
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
    // The ring before bind: no frame may land in the receive buffer it replaces.
    if (mapped)
        map_ring();
    else
        m_unmappedReason = "a ring was not asked for";
    int size = kReceiveBuffer;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) < 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    // Sent frames count against the socket until the interface is done with them: a burst
    // the engine releases at once must fit, or its tail is refused.
    size = kSendBuffer;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) < 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
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
    m_senders.clear(); // what they hold goes out first
    m_ring.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void PacketSocket::map_ring() {
    const auto fail = [&](const char* what) {
        m_unmappedReason = std::string(what) + ": " + std::strerror(errno);
    };
    int version = TPACKET_V2;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version) < 0)
        return fail("TPACKET_V2");
    tpacket_req req{};
    req.tp_block_size = kRingBlock;
    req.tp_block_nr = kRingBlocks;
    req.tp_frame_size = kRingFrame;
    req.tp_frame_nr = kRingBlock / kRingFrame * kRingBlocks;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_RX_RING, &req, sizeof req) < 0) {
        fail("PACKET_RX_RING");
        version = TPACKET_V1;
        ::setsockopt(m_fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version);
        return;
    }
    // Frames longer than a slot are copied to the receive buffer as well; without that
    // they are only refused.
    int one = 1;
    ::setsockopt(m_fd, SOL_PACKET, PACKET_COPY_THRESH, &one, sizeof one);
    const size_t size = size_t{kRingBlock} * kRingBlocks;
    void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED) {
        fail("mapping the ring");
        // Without its mapping the ring is of no use: the socket goes back to its buffer.
        req = tpacket_req{};
        ::setsockopt(m_fd, SOL_PACKET, PACKET_RX_RING, &req, sizeof req);
        version = TPACKET_V1;
        ::setsockopt(m_fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version);
        return;
    }
    m_ring = std::make_unique<Ring>(static_cast<uint8_t*>(map), size);
}

ReadResult PacketSocket::read_ring(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    for (;;) {
        RingFrame f;
        switch (m_ring->walk.next(f)) {
        case ReceiveRing::Next::Empty: {
            // A pending error (the interface went down) is only taken by a call on the
            // socket; left there it would keep the socket ready and fail the next send.
            // Looked for when the socket was ready with nothing in the ring.
            const bool readAny = std::exchange(m_ring->readAny, false);
            int error = 0;
            socklen_t size = sizeof error;
            if (!readAny && ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
                error != 0) {
                errno = error;
                return ReadResult::Failed;
            }
            return ReadResult::Empty;
        }
        case ReceiveRing::Next::Corrupt:
            ++m_ring->corrupt;
            continue;
        case ReceiveRing::Next::Copied:
            // The whole frame waits in the receive buffer, in the order of the ring.
            m_ring->walk.release_read();
            if (const ReadResult r = read_queue(buffer, capacity, info); r != ReadResult::Empty) {
                m_ring->readAny = true;
                return r;
            }
            continue;
        case ReceiveRing::Next::Refused:
            // Cut by its slot, no copy made: passed on as longer than any buffer, so that
            // it is refused.
            info.length = std::max(f.wireLength, capacity + 1);
            m_ring->walk.release_read();
            return ReadResult::Frame;
        case ReceiveRing::Next::Frame:
            break;
        }
        m_ring->readAny = true;
        info.checksumPending = (f.status & TP_STATUS_CSUMNOTREADY) != 0;
        if (f.status & TP_STATUS_VLAN_VALID) {
            const uint16_t tpid = (f.status & TP_STATUS_VLAN_TPID_VALID) ? f.vlanTpid : ETH_P_8021Q;
            info.length = copy_tagged(buffer, capacity, f.data, f.length, tpid, f.vlanTci);
        } else {
            std::memcpy(buffer, f.data, std::min(f.length, capacity));
            info.length = f.length;
        }
        m_ring->walk.release_read();
        return ReadResult::Frame;
    }
}

ReadResult PacketSocket::read(uint8_t* buffer, size_t capacity, FrameInfo& info) {
    info = FrameInfo{};
    return m_ring ? read_ring(buffer, capacity, info) : read_queue(buffer, capacity, info);
}

ReadResult PacketSocket::read_queue(uint8_t* buffer, size_t capacity, FrameInfo& info) {
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

bool PacketSocket::queue(const uint8_t* frame, size_t length) {
    if (!m_senders.empty())
        return queue_for_thread(frame, length);
    Batch& b = *m_batch;
    if (length > b.bytes.size())
        return write(frame, length);
    if (b.count == kSendBatch || b.bytes.size() - b.used < length)
        b.lost += flush();
    std::memcpy(b.bytes.data() + b.used, frame, length);
    b.iov[b.count] = iovec{b.bytes.data() + b.used, length};
    b.used += length;
    ++b.count;
    return true;
}

size_t PacketSocket::send_batch(const iovec* frames, size_t count) {
    std::array<mmsghdr, kSendBatch> msgs;
    size_t lost = 0;
    while (count > 0) {
        const size_t n = std::min(count, kSendBatch);
        for (size_t i = 0; i < n; ++i) {
            msgs[i] = mmsghdr{};
            msgs[i].msg_hdr.msg_iov = const_cast<iovec*>(&frames[i]);
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        for (size_t done = 0; done < n;) {
            const int sent =
                ::sendmmsg(m_fd, msgs.data() + done, static_cast<unsigned>(n - done), MSG_DONTWAIT);
            if (sent > 0) {
                for (size_t i = done; i < done + static_cast<size_t>(sent); ++i)
                    lost += msgs[i].msg_len != frames[i].iov_len ? 1 : 0;
                done += static_cast<size_t>(sent);
            } else if (errno != EINTR) {
                ++lost; // this frame was not taken; the rest may be
                ++done;
            }
        }
        frames += n;
        count -= n;
    }
    return lost;
}

size_t PacketSocket::flush() {
    if (!m_senders.empty())
        return flush_for_thread();
    Batch& b = *m_batch;
    const size_t lost = b.lost + send_batch(b.iov.data(), b.count);
    b.lost = 0;
    b.count = 0;
    b.used = 0;
    return lost;
}

bool PacketSocket::send_from_thread(std::string& why, size_t threads) {
    if (!m_senders.empty())
        return true;
    m_batch->lost += flush();
    const size_t ring = std::max(kSendRing / std::max<size_t>(threads, 1), kSendRingLeast);
    std::vector<std::unique_ptr<FrameSender>> senders;
    bool started = true;
    while (senders.size() < std::max<size_t>(threads, 1)) {
        try {
            senders.push_back(std::make_unique<FrameSender>(
                [this](const iovec* frames, size_t count) { return send_batch(frames, count); },
                ring));
        } catch (const std::system_error& e) {
            why = e.what();
            started = false;
            break;
        }
    }
    m_batch->queued.assign(senders.size(), 0);
    m_batch->lanes = FlowLanes(senders.size());
    m_senders = std::move(senders);
    return started;
}

bool PacketSocket::queue_for_thread(const uint8_t* frame, size_t length) {
    Batch& b = *m_batch;
    const uint32_t flow = m_senders.size() > 1 ? flow_hash(frame, length) : 0;
    const size_t lane =
        m_senders.size() > 1
            ? b.lanes.choose(flow, [this](size_t i) -> const FrameSender& { return *m_senders[i]; })
            : 0;
    FrameSender& sender = *m_senders[lane];
    if (!sender.push(frame, length)) {
        // The thread has not caught up: what it was handed goes first, then this frame.
        sender.publish();
        b.queued[lane] = 0;
        if (!sender.push(frame, length)) {
            ++b.lost;
            return true; // counted by the next flush()
        }
    }
    b.lanes.pushed(flow, sender.pushed());
    // A long batch is handed over while it grows, for the thread to start on; a thread that
    // is awake with nothing left to start takes the frame at once, so that a frame queued
    // early in a long run of work (all a timer released) does not wait for the run's end.
    if (++b.queued[lane] == kSendBatch || sender.wants_work()) {
        sender.publish();
        b.queued[lane] = 0;
    }
    return true;
}

size_t PacketSocket::flush_for_thread() {
    Batch& b = *m_batch;
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t now =
        static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
    size_t lost = b.lost;
    b.lost = 0;
    for (size_t lane = 0; lane < m_senders.size(); ++lane) {
        FrameSender& sender = *m_senders[lane];
        // A batch handed over a while ago that the thread has not started goes from here:
        // the thread is not running.
        sender.take_over(now);
        if (b.queued[lane] > 0)
            sender.publish();
        b.queued[lane] = 0;
        // What publish() sent here is counted now, what the thread sent by a later flush.
        lost += sender.take_lost();
    }
    return lost;
}

uint64_t PacketSocket::send_backlog() const {
    uint64_t most = 0;
    for (const auto& sender : m_senders)
        most = std::max(most, sender->backlog());
    return most;
}

void PacketSocket::drain_sends() {
    for (const auto& sender : m_senders)
        sender->drain();
}

bool PacketSocket::senders_sleep() const {
    return std::all_of(m_senders.begin(), m_senders.end(),
                       [](const auto& sender) { return sender->sleeps(); });
}

bool PacketSocket::write(const uint8_t* frame, size_t length) {
    if (!m_senders.empty()) {
        // After what the threads hold, and sent at once.
        m_batch->lost += flush();
        drain_sends();
    } else if (m_batch->count) {
        m_batch->lost += flush(); // what was queued goes first
    }
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
    uint32_t corrupt = 0;
    if (m_ring)
        std::swap(corrupt, m_ring->corrupt);
    if (::getsockopt(m_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &size) < 0)
        return corrupt;
    return stats.tp_drops + corrupt;
}

} // namespace quellin::edges
