#include "QuellinEdges/Edges.h"

#include "EdgesPort.h"

#include "QuellinEdges/Coalescing.h"
#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/Netlink.h"
#include "QuellinEdges/Offload.h"

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {
// A TAP read cuts a longer frame without saying so, a packet socket tells.
constexpr size_t kReadBuffer = kMaxFrameRead;
} // namespace

Edges::Edges(FdWatch& watch, const RestoreRecords& records, LogSink log)
    : m_watch(watch), m_records(records), m_log(std::move(log)), m_buffer(kReadBuffer) {
    if (!m_log)
        m_log = [](int, const std::string&) {};
}

Edges::~Edges() {
    stop();
}

bool Edges::start(const std::vector<Binding>& bindings) {
    if (m_monitor) {
        m_log(kLogError, "the edges are already started");
        return false;
    }
    try {
        m_monitor = std::make_unique<LinkMonitor>(true);
    } catch (const std::system_error& e) {
        m_log(kLogError, std::string("cannot follow the links: ") + e.what());
        return false;
    }
    m_watch.watch(m_monitor->fd(), [this] { on_links_ready(); });
    // Without it, frames for a station are only joined within a lower side's batch.
    m_flushFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_flushFd >= 0)
        m_watch.watch(m_flushFd, [this] { on_flush_ready(); });
    m_lastReceiveFree = rte_pool_size();
    for (const auto& b : bindings) {
        auto p = std::make_unique<Port>();
        p->binding = b;
        m_ports.push_back(std::move(p));
    }
    for (size_t i = 0; i < m_ports.size(); ++i)
        bind(i);
    return true;
}

void Edges::stop() {
    m_stopping = true;
    flush_stations();
    for (size_t i = 0; i < m_ports.size(); ++i) {
        unbind(i, "the daemon stops");
        give_back(*m_ports[i]);
    }
    // The count outlives the ports, for the total said at the end.
    m_lostBefore = packets_lost();
    m_ports.clear();
    if (m_monitor) {
        m_watch.unwatch(m_monitor->fd());
        m_monitor.reset();
    }
    if (m_flushFd >= 0) {
        m_watch.unwatch(m_flushFd);
        ::close(m_flushFd);
    }
    m_flushFd = -1;
    m_flushArmed = false;
    m_stopping = false;
}

FramePort* Edges::station_of(Port& p) const {
    if (p.tap)
        return p.tap.get();
    return p.stationSocket.get();
}

void Edges::note_unmapped(const PacketSocket& socket) {
    if (socket.mapped() || !m_rings || m_unmappedSaid)
        return;
    m_unmappedSaid = true;
    m_log(kLogWarning, "no memory-mapped receive ring (" + socket.unmapped_reason() +
                           "): packet sockets are read one frame per call");
}

void Edges::start_sender(PacketSocket& socket) {
    std::string why;
    if (m_ioThreads && !socket.send_from_thread(why, m_sendThreads))
        note_no_thread(why);
}

void Edges::start_reader(TapDevice& tap) {
    std::string why;
    if (m_ioThreads && !tap.read_from_thread(why))
        note_no_thread(why);
}

void Edges::note_no_thread(const std::string& why) {
    if (m_noThreadSaid)
        return;
    m_noThreadSaid = true;
    m_log(kLogWarning,
          "no thread for a port's reads or sends (" + why + "): the engine's thread does them");
}

size_t Edges::read_room(const PacketSocket* out) {
    // A frame read waits behind no more than a batch whose sending has not started (and
    // the rest of the batch being sent): while the sender has half a batch or more to start
    // on, what comes waits in the port it comes from, and is read, half a batch at least,
    // as the sender takes its next batch, while it sends it.
    const uint64_t waiting = out ? out->send_backlog() : 0;
    return waiting <= kBatch / 2 ? kBatch - static_cast<size_t>(waiting) : 0;
}

void Edges::on_station_ready(size_t index) {
    if (index >= m_ports.size())
        return;
    Port& p = *m_ports[index];
    // A batch ends at kBatch wire packets, however few frames (cut into segments) they came
    // in, and at what the lower side's sender has room for.
    const size_t room = read_room(p.lower.get());
    const uint64_t entered = m_entered;
    for (size_t n = 0; n < kBatch && m_entered - entered < room; ++n) {
        FramePort* station = station_of(p);
        if (!station)
            return;
        FrameInfo info;
        const ReadResult r = station->read(m_buffer.data(), m_buffer.size(), info);
        if (r == ReadResult::Failed && errno != ENETDOWN)
            return lose_station(index, std::strerror(errno));
        if (r != ReadResult::Frame)
            break;
        ++p.counters.stationFrames;
        deliver(p, 0, m_buffer.data(), info);
    }
    flush(p);
    if (p.stationSocket)
        p.counters.unread[0] += p.stationSocket->take_kernel_drops();
}

void Edges::deliver(Port& p, int direction, uint8_t* frame, const FrameInfo& info) {
    if (info.length > m_buffer.size()) {
        ++p.counters.oversized; // cut by the read: never passed on as if whole
        return;
    }
    const uint32_t mtu = p.segment_mtu();
    if (info.hasVnet && info.vnet.offloaded()) {
        const auto sink = [&](const uint8_t* s, size_t n) { enter(p, direction, s, n); };
        switch (finish_offloads(info.vnet, frame, info.length, mtu, m_segment, sink)) {
        case OffloadResult::Refused:
            ++p.counters.offloadRefused;
            break;
        case OffloadResult::Segmented:
            ++p.counters.segmented;
            break;
        case OffloadResult::Checksum:
            ++p.counters.checksumsCompleted;
            break;
        case OffloadResult::Whole:
            break;
        }
        return;
    }
    // A frame larger than the link carries comes from an offloading sender: cut it as its
    // interface would have. Cutting finishes every checksum.
    if (mtu && info.length > size_t{mtu} + 14 &&
        segment_tcp(frame, info.length, mtu, m_segment,
                    [&](const uint8_t* s, size_t n) { enter(p, direction, s, n); })) {
        ++p.counters.segmented;
        return;
    }
    if (info.checksumPending && complete_checksum(frame, info.length))
        ++p.counters.checksumsCompleted;
    enter(p, direction, frame, info.length);
}

void Edges::enter(Port& p, int direction, const uint8_t* frame, size_t length) {
    ++m_entered;
    if (direction == 0) {
        // A send fails unless the adapter is bound, powered and connected.
        if (!p.adapter || !p.powered || !p.media) {
            ++p.counters.failedSends;
            return;
        }
    } else {
        if (!p.adapter)
            return;
        m_lastReceiveFree = rte_free_descriptors(p.adapter, 1);
    }
    ++p.counters.entered[direction & 1];
    switch (edge_packet_in(p.adapter, direction, frame, length)) {
    case EdgeResult::Refused:
        ++p.counters.refused[direction & 1];
        break;
    case EdgeResult::Dropped:
        ++p.counters.poolFloorDrops[direction & 1];
        break;
    default:
        break;
    }
}

void Edges::on_lower_ready(size_t index) {
    if (index >= m_ports.size())
        return;
    Port& p = *m_ports[index];
    // What the batch sends on to the station is joined where it can be, and written at its
    // end.
    m_joining = true;
    const size_t room = read_room(p.stationSocket.get());
    const uint64_t entered = m_entered;
    for (size_t n = 0; n < kBatch && m_entered - entered < room && p.lower; ++n) {
        FrameInfo info;
        const ReadResult r = p.lower->read(m_buffer.data(), m_buffer.size(), info);
        if (r != ReadResult::Frame)
            break; // an interface going down reports ENETDOWN once; rtnetlink tells the rest
        ++p.counters.lowerFrames;
        deliver(p, 1, m_buffer.data(), info);
    }
    m_joining = false;
    flush_stations();
    flush(p);
    if (p.lower) {
        const uint32_t dropped = p.lower->take_kernel_drops();
        p.counters.kernelDrops += dropped;
        p.counters.unread[1] += dropped;
    }
}

void Edges::transmit(uint16_t adapterNumber, int direction, const uint8_t* frame, size_t length) {
    if (adapterNumber == 0 || adapterNumber > kRteMaxAdapters)
        return;
    Port* p = m_byNumber[adapterNumber - 1];
    if (!p)
        return;
    const int d = direction & 1;
    // Frames for a station are joined until the batch ends, or (sent by a timer or a
    // control request) until the loop has dispatched what was ready with them.
    if (d == 1 && p->tap && p->tap->offloads() && !p->joinRefused &&
        (m_joining || m_flushFd >= 0)) {
        p->toStation.add(frame, length, station_writer(*p));
        if (!m_joining && p->toStation.held() && !m_flushArmed) {
            const uint64_t one = 1;
            m_flushArmed = ::write(m_flushFd, &one, sizeof one) == sizeof one;
            if (!m_flushArmed)
                p->toStation.flush(station_writer(*p));
        }
        return;
    }
    FramePort* out = d == 0 ? static_cast<FramePort*>(p->lower.get()) : station_of(*p);
    if (!out || (d == 0 && !p->powered) || !out->queue(frame, length))
        ++p->counters.lostWrites[d];
    else
        ++p->counters.written[d];
}

void Edges::on_flush_ready() {
    uint64_t count = 0;
    if (::read(m_flushFd, &count, sizeof count) < 0 && errno != EAGAIN)
        return;
    m_flushArmed = false;
    flush_stations();
}

void Edges::flush_stations() {
    for (auto& p : m_ports)
        p->toStation.flush(station_writer(*p));
}

Coalescer::Writer Edges::station_writer(Port& p) {
    return
        [this, &p](const VnetHeader& header, const uint8_t* frame, size_t length, size_t segments) {
            if (p.tap && p.tap->write(frame, length, header)) {
                p.counters.written[1] += segments;
                p.counters.coalesced += segments > 1 ? 1 : 0;
                return;
            }
            if (segments == 1 || errno != EINVAL || !p.tap) {
                p.counters.lostWrites[1] += segments;
                return;
            }
            // A kernel that takes no joined segments gets them one by one from now on.
            p.joinRefused = true;
            m_log(kLogWarning, format_binding(p.binding) + ": " + p.binding.station +
                                   " refuses joined TCP segments (" + std::strerror(EINVAL) +
                                   "): they go on one by one");
            segment_tcp_by_size(frame, length, header.gsoSize, m_split,
                                [&](const uint8_t* s, size_t n) {
                                    if (p.tap->write(s, n))
                                        ++p.counters.written[1];
                                    else
                                        ++p.counters.lostWrites[1];
                                });
        };
}

void Edges::flush(Port& p) {
    // Queued frames were counted as written; those a flush did not send are lost instead.
    const auto lose = [&](int d, size_t lost) {
        p.counters.lostWrites[d] += lost;
        p.counters.written[d] -= std::min<uint64_t>(lost, p.counters.written[d]);
    };
    if (p.lower)
        lose(0, p.lower->flush());
    if (FramePort* station = station_of(p))
        lose(1, station->flush());
}

void Edges::flush() {
    for (auto& p : m_ports)
        flush(*p);
}

size_t Edges::bound_count() const {
    size_t n = 0;
    for (const auto& p : m_ports)
        n += p->adapter ? 1 : 0;
    return n;
}

std::vector<AdapterView> Edges::adapters() const {
    std::vector<AdapterView> out;
    for (const auto& p : m_ports) {
        AdapterView v;
        v.binding = p->binding;
        v.number = rte_adapter_number(p->adapter);
        v.powered = p->powered;
        v.mediaConnected = p->media;
        if (p->held)
            v.heldNamespace = p->held->namespace_name();
        v.counters = p->counters;
        v.lowerWaiting = p->lower ? p->lower->send_backlog() : 0;
        out.push_back(v);
    }
    return out;
}

uint64_t Edges::refused_receives(uint16_t adapterNumber) const {
    if (adapterNumber == 0 || adapterNumber > kRteMaxAdapters)
        return 0;
    const Port* p = m_byNumber[adapterNumber - 1];
    if (!p)
        return 0;
    return rte_refused(p->adapter, 1) + p->counters.kernelDrops;
}

uint64_t Edges::packets_lost() const {
    uint64_t n = m_lostBefore;
    for (const auto& p : m_ports)
        for (int d = 0; d < 2; ++d)
            n += p->counters.refused[d] + p->counters.poolFloorDrops[d] + p->counters.unread[d] +
                 p->counters.lostWrites[d];
    return n;
}

void Edges::report_losses() {
    static const char* const kFrom[2] = {"from the station", "from the network"};
    for (auto& p : m_ports) {
        // What the station's kernel dropped on the TAP, the daemon not reading it in time.
        if (p->tap && p->tapIndex)
            if (const auto tap = query_link(p->binding.station); tap && tap->index == p->tapIndex) {
                const uint64_t dropped =
                    tap->txDropped >= p->tapDroppedBase ? tap->txDropped - p->tapDroppedBase : 0;
                if (dropped > p->tapDroppedSeen) {
                    p->counters.unread[0] += dropped - p->tapDroppedSeen;
                    p->tapDroppedSeen = dropped;
                }
            }
        for (int d = 0; d < 2; ++d) {
            const auto& c = p->counters;
            const uint64_t drops = c.poolFloorDrops[d] - p->reportedDrops[d];
            const uint64_t refused = c.refused[d] - p->reportedRefused[d];
            const uint64_t unread = c.unread[d] - p->reportedUnread[d];
            const uint64_t notTaken = c.lostWrites[d] - p->reportedNotTaken[d];
            if (drops == 0 && refused == 0 && unread == 0 && notTaken == 0)
                continue;
            p->reportedDrops[d] = c.poolFloorDrops[d];
            p->reportedRefused[d] = c.refused[d];
            p->reportedUnread[d] = c.unread[d];
            p->reportedNotTaken[d] = c.lostWrites[d];
            std::string text = format_binding(p->binding) + ": packets " + kFrom[d] + " lost";
            if (drops)
                text += ", " + std::to_string(drops) +
                        " dropped with the packet pool at its floor of " +
                        std::to_string(kReservedDescriptors) + " free descriptors";
            if (refused)
                text += ", " + std::to_string(refused) +
                        " refused (no free descriptor, or larger than a frame buffer)";
            if (unread)
                text += ", " + std::to_string(unread) +
                        " dropped by the kernel before the daemon read them (the daemon fell "
                        "behind)";
            if (notTaken)
                text += ", " + std::to_string(notTaken) + " not taken by " +
                        (d == 0 ? p->binding.lower : p->binding.station) +
                        " (it was down, or its send queue was full)";
            text += "; in all " + std::to_string(c.poolFloorDrops[d]) + " dropped, " +
                    std::to_string(c.refused[d]) + " refused, " + std::to_string(c.unread[d]) +
                    " unread and " + std::to_string(c.lostWrites[d]) + " not taken";
            if (drops || refused)
                text += ". The pool holds " + std::to_string(rte_pool_size()) +
                        " packets per direction: raise PacketPoolSize for more in flight";
            m_log(kLogWarning, text);
        }
    }
}

} // namespace quellin::edges
