#include "QuellinEdges/Edges.h"

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

struct Edges::Port {
    Binding binding;
    RteAdapter* adapter = nullptr;
    std::unique_ptr<TapDevice> tap; // station side, "tap:" bindings
    int tapIndex = 0;               // 0 when the TAP is not in this namespace
    bool stationGiven = false;      // the TAP has the lower interface's settings
    std::unique_ptr<HeldInterface> held;
    std::unique_ptr<LinkMonitor> heldMonitor;    // links of the held interface's namespace
    std::unique_ptr<PacketSocket> stationSocket; // station side, "if:" bindings
    std::unique_ptr<PacketSocket> lower;
    bool settingsSaved = false; // "if:" bindings: both interfaces' records are written
    bool stationWatched = false;
    bool powered = false;
    bool media = false;
    uint32_t mtu = 0; // of the lower interface, as the TAP last followed it
    // Offloaded TCP packets are cut to the smaller MTU of the two sides.
    uint32_t lowerMtu = 0;
    uint32_t stationMtu = 0;
    uint32_t segment_mtu() const {
        if (lowerMtu && stationMtu)
            return std::min(lowerMtu, stationMtu);
        return lowerMtu ? lowerMtu : stationMtu;
    }
    std::array<uint8_t, 6> mac{};
    Coalescer toStation;      // runs of TCP segments for a TAP with offloads, written soon
    bool joinRefused = false; // its kernel refused a joined run
    bool waitingForSlot = false;
    std::string lastNote; // what was last said of a binding that does not bind
    AdapterCounters counters;
    std::array<uint64_t, 2> reportedRefused{};
    std::array<uint64_t, 2> reportedDrops{};
    std::array<uint64_t, 2> reportedUnread{};
    std::array<uint64_t, 2> reportedNotTaken{};
    uint64_t tapDroppedBase = 0; // the TAP's own count when it was made
    uint64_t tapDroppedSeen = 0; // what of it was already counted
};

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

void Edges::give_back(Port& p) {
    // The TAP goes first, with its addresses and routes: the lower interface gets them back.
    if (p.tap && p.stationWatched)
        m_watch.unwatch(p.tap->fd());
    p.stationWatched = false;
    p.tap.reset();
    p.tapIndex = 0;
    p.stationGiven = false;
    if (p.held) {
        if (p.heldMonitor)
            m_watch.unwatch(p.heldMonitor->fd());
        p.heldMonitor.reset();
        p.held->give_back(m_log);
        p.held.reset();
    }
    if (p.settingsSaved) {
        for (const auto* name : {&p.binding.station, &p.binding.lower}) {
            std::string why;
            if (auto r = m_records.load(*name, why))
                give_back_record(m_records, *r, m_log);
        }
        p.settingsSaved = false;
    }
}

FramePort* Edges::station_of(Port& p) const {
    if (p.tap)
        return p.tap.get();
    return p.stationSocket.get();
}

void Edges::note(Port& p, int severity, const std::string& message) {
    // A binding that cannot bind is retried on every link change: say why once.
    if (message == p.lastNote)
        return;
    p.lastNote = message;
    m_log(severity, message);
}

bool Edges::bind(size_t index) {
    Port& p = *m_ports[index];
    if (p.adapter)
        return true;
    const Binding& b = p.binding;
    const std::string what = format_binding(b);
    if (rte_adapter_count() >= kRteMaxAdapters) {
        if (!p.waitingForSlot)
            m_log(kLogError, what + ": not bound: all " + std::to_string(kRteMaxAdapters) +
                                 " adapter slots are in use");
        p.waitingForSlot = true;
        return false;
    }
    auto lower = p.held ? p.held->query() : query_link(b.lower);
    if (!lower) {
        note(p, kLogWarning, what + ": waiting for " + b.lower + ": there is no such interface");
        return false;
    }
    std::optional<LinkState> station;
    if (b.kind == StationKind::Interface) {
        station = query_link(b.station);
        if (!station) {
            note(p, kLogWarning,
                 what + ": waiting for " + b.station + ": there is no such interface");
            return false;
        }
    }
    // A TAP given to the station in this binding gets the lower interface's MTU before its
    // address; once it bears the address it may already have been moved elsewhere.
    const bool tapNewlyGiven = b.kind == StationKind::Tap && !p.stationGiven;
    try {
        const bool opened = b.kind == StationKind::Tap
                                ? open_tap_binding(index, *lower)
                                : open_interface_binding(p, *lower, *station);
        if (!opened)
            return false;
    } catch (const std::system_error& e) {
        note(p, kLogError, what + ": not bound: " + e.what());
        p.lower.reset();
        p.stationSocket.reset();
        return false;
    }

    p.adapter = rte_bind_adapter(b.station.c_str());
    if (!p.adapter) {
        note(p, kLogError, what + ": not bound: no memory for the adapter's packet pools");
        p.lower.reset();
        p.stationSocket.reset();
        return false;
    }
    p.waitingForSlot = false;
    p.lastNote.clear();
    m_byNumber[rte_adapter_number(p.adapter) - 1] = &p;
    m_watch.watch(p.lower->fd(), [this, index] { on_lower_ready(index); });
    if (!p.stationWatched) {
        m_watch.watch(station_of(p)->fd(), [this, index] { on_station_ready(index); });
        p.stationWatched = true;
    }
    if (!tapNewlyGiven)
        p.mtu = 0; // a TAP kept from an earlier binding takes this lower interface's MTU too
    // Only a new address is set: setting one flushes the TAP's neighbours, static ones too.
    if (p.tap && lower->hasMac && lower->mac != p.mac && !p.tap->set_mac(lower->mac))
        m_log(kLogWarning, what + ": cannot give " + b.station + " the address of " + b.lower);
    p.mac = lower->mac;
    apply_lower_state(p, *lower);
    p.stationMtu = station ? station->mtu : 0;
    refresh_station_addresses(p);
    m_log(kLogInfo, what + ": bound as adapter " + std::to_string(rte_adapter_number(p.adapter)));
    return true;
}

bool Edges::open_tap_binding(size_t index, LinkState& lower) {
    Port& p = *m_ports[index];
    const Binding& b = p.binding;
    const std::string what = format_binding(b);
    // The TAP first: a name that is taken must not cost the station its interface.
    if (!p.tap) {
        try {
            p.tap = std::make_unique<TapDevice>(b.station, m_tapOffloads);
        } catch (const std::system_error& e) {
            note(p, kLogError,
                 what + ": not bound: cannot make the TAP " + b.station + ": " +
                     e.code().message() +
                     (e.code().value() == EBUSY || e.code().value() == EINVAL
                          ? " (is the name in use by another interface?)"
                          : ""));
            return false;
        }
        if (m_tapOffloads && !p.tap->offloads())
            m_log(kLogInfo, what + ": " + b.station + " without offloads (" +
                                p.tap->offload_note() + "): the station cuts its own segments");
        start_reader(*p.tap);
        // A deeper queue than the kernel's default: the daemon may not be scheduled for a
        // while, and what overflows the queue is dropped.
        if (!set_link_queue_length(b.station, kTapQueueLength))
            m_log(kLogWarning, what + ": cannot lengthen the queue of " + b.station);
        const auto link = query_link(b.station);
        p.tapIndex = link ? link->index : 0;
        p.tapDroppedBase = link ? link->txDropped : 0;
        p.tapDroppedSeen = 0;
        p.stationGiven = false;
    }
    if (!p.held) {
        std::string error;
        p.held = HeldInterface::take(m_records, b.lower, m_log, error);
        if (!p.held) {
            note(p, kLogError, what + ": not bound: " + error);
            if (p.stationWatched)
                m_watch.unwatch(p.tap->fd());
            p.stationWatched = false;
            p.tap.reset();
            return false;
        }
        const auto moved = p.held->query();
        if (!moved) {
            note(p, kLogError, what + ": not bound: " + b.lower + " was lost on its way");
            drop_held(p);
            return false;
        }
        lower = *moved;
    }
    if (!p.stationGiven) {
        // The MTU before the address: whoever moves the TAP elsewhere once it bears the lower
        // interface's address must find it with its MTU.
        if (!set_link_mtu(b.station, station_mtu(lower.mtu)))
            m_log(kLogWarning, what + ": cannot set the MTU of " + b.station);
        p.mtu = lower.mtu;
        if (lower.hasMac && !p.tap->set_mac(lower.mac))
            m_log(kLogWarning, what + ": cannot give " + b.station + " the address of " + b.lower);
        p.mac = lower.mac;
        if (p.tapIndex)
            p.held->give_to_station(b.station, p.tapIndex, m_log);
        p.stationGiven = true;
    }
    p.lower = p.held->open_socket(lower.index, m_rings);
    note_unmapped(*p.lower);
    start_sender(*p.lower);
    if (!p.heldMonitor) {
        p.heldMonitor = p.held->open_monitor();
        m_watch.watch(p.heldMonitor->fd(), [this, index] { on_held_links_ready(index); });
    }
    return true;
}

bool Edges::open_interface_binding(Port& p, const LinkState& lower, const LinkState& station) {
    const Binding& b = p.binding;
    const std::string what = format_binding(b);
    if (!p.settingsSaved) {
        // Their offload settings go on record before receive coalescing is switched off.
        for (const auto* name : {&b.station, &b.lower}) {
            std::string error;
            auto s = capture_settings(*name, error);
            RestoreRecord r;
            r.kind = RecordKind::Settings;
            r.stationNamespace = current_netns_id();
            r.owner = self_owner();
            r.bootId = current_boot_id();
            if (s)
                r.settings = std::move(*s);
            if (!s || m_records.save(r) != 0) {
                m_records.remove(*name);
                note(p, kLogError,
                     what + ": not bound: cannot write the settings of " + *name +
                         " to the registry store" + (error.empty() ? "" : ": " + error));
                if (name == &b.lower)
                    m_records.remove(b.station);
                return false;
            }
        }
        p.settingsSaved = true;
    }
    // Coalesced receives would reach the packet socket as frames larger than the MTU.
    if (!disable_receive_coalescing(b.lower))
        m_log(kLogWarning, what + ": cannot switch receive coalescing off on " + b.lower);
    if (!disable_receive_coalescing(b.station))
        m_log(kLogWarning, what + ": cannot switch receive coalescing off on " + b.station);
    p.lower = std::make_unique<PacketSocket>(lower.name, lower.index, m_rings);
    p.stationSocket = std::make_unique<PacketSocket>(station.name, station.index, m_rings);
    note_unmapped(*p.lower);
    note_unmapped(*p.stationSocket);
    start_sender(*p.lower);
    start_sender(*p.stationSocket);
    return true;
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
    if (m_ioThreads && !socket.send_from_thread(why))
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

void Edges::unbind(size_t index, const std::string& reason) {
    Port& p = *m_ports[index];
    if (!p.adapter)
        return;
    const uint16_t number = rte_adapter_number(p.adapter);
    flush(p);
    p.toStation.flush(station_writer(p));
    m_watch.unwatch(p.lower->fd());
    p.lower.reset();
    if (p.stationSocket) {
        m_watch.unwatch(p.stationSocket->fd());
        p.stationWatched = false;
        p.stationSocket.reset();
    }
    m_byNumber[number - 1] = nullptr;
    // What the engine still holds of this adapter goes back before its pools do.
    const size_t freed = du_forget_adapter(p.adapter);
    if (!rte_unbind_adapter(p.adapter))
        m_log(kLogError, format_binding(p.binding) + ": packets still out; slot " +
                             std::to_string(number) + " stays taken");
    p.adapter = nullptr;
    p.powered = false;
    p.media = false;
    // The TAP stays, so the station keeps its configuration; it only loses its carrier.
    if (p.tap)
        p.tap->set_carrier(false);
    // The interfaces of an "if:" binding that remain get their offloads back until they
    // are bound again; the records stay for that.
    if (p.settingsSaved)
        for (const auto* name : {&p.binding.station, &p.binding.lower}) {
            std::string why;
            if (auto r = m_records.load(*name, why); r && query_link(*name))
                restore_features(*name, r->settings.features);
        }
    report_losses();
    const auto& c = p.counters;
    m_log(kLogInfo,
          format_binding(p.binding) + ": adapter " + std::to_string(number) + " unbound (" +
              reason + "), " + std::to_string(freed) + " queued packets freed; lost so far: " +
              std::to_string(c.poolFloorDrops[0] + c.poolFloorDrops[1]) + " at the pool floor, " +
              std::to_string(c.refused[0] + c.refused[1]) + " refused, " +
              std::to_string(c.unread[0] + c.unread[1]) + " unread; left to offload: " +
              std::to_string(c.checksumsCompleted) + " checksums finished, " +
              std::to_string(c.segmented) + " packets cut into segments, " +
              std::to_string(c.offloadRefused) + " refused as malformed");
    // A binding refused for want of a slot takes the one just freed.
    if (!m_stopping)
        for (size_t j = 0; j < m_ports.size(); ++j)
            if (j != index && m_ports[j]->waitingForSlot && bind(j))
                break;
}

void Edges::drop_held(Port& p) {
    // The held interface is gone: nothing of it to give back, and the TAP that stays takes
    // the settings of whichever comes next.
    if (p.heldMonitor)
        m_watch.unwatch(p.heldMonitor->fd());
    p.heldMonitor.reset();
    if (p.held)
        p.held->forget(m_log);
    p.held.reset();
    p.stationGiven = false;
}

void Edges::apply_lower_state(Port& p, const LinkState& link) {
    p.powered = link.adminUp;
    p.media = link.carrier;
    p.lowerMtu = link.mtu;
    if (p.tap) {
        if (!p.tap->set_carrier(link.carrier))
            m_log(kLogWarning,
                  format_binding(p.binding) + ": cannot set the carrier of " + p.binding.station);
        if (link.hasMac && link.mac != p.mac) {
            p.mac = link.mac;
            p.tap->set_mac(link.mac);
        }
        if (link.mtu != 0 && link.mtu != p.mtu) {
            p.mtu = link.mtu;
            if (!set_link_mtu(p.binding.station, station_mtu(link.mtu)))
                m_log(kLogWarning,
                      format_binding(p.binding) + ": cannot set the MTU of " + p.binding.station);
        }
    }
}

uint32_t Edges::station_mtu(uint32_t lowerMtu) {
    if (m_mtuLimit == 0 || lowerMtu <= m_mtuLimit)
        return lowerMtu;
    m_log(kLogWarning, "an MTU of " + std::to_string(lowerMtu) +
                           " is more than the frame buffers hold; the station gets " +
                           std::to_string(m_mtuLimit));
    return m_mtuLimit;
}

void Edges::refresh_station_addresses(Port& p) {
    if (!p.adapter || !p.tap || p.tapIndex == 0)
        return;
    std::vector<uint32_t> v4;
    std::vector<std::array<uint8_t, 16>> v6;
    try {
        nl::Socket socket;
        ifaddrmsg header{};
        header.ifa_family = AF_UNSPEC;
        std::vector<nl::Message> all;
        if (socket.dump(nl::Builder(RTM_GETADDR, 0, header).message(), all) != 0)
            return;
        for (const auto& m : all) {
            ifaddrmsg a;
            if (m.type != RTM_NEWADDR || m.body.size() < sizeof a)
                continue;
            std::memcpy(&a, m.body.data(), sizeof a);
            if (static_cast<int>(a.ifa_index) != p.tapIndex)
                continue;
            const auto attrs = nl::attributes(m, sizeof a);
            if (a.ifa_family == AF_INET) {
                const auto local = nl::find(attrs, IFA_LOCAL);
                if (local && local->size == 4)
                    v4.push_back(uint32_t{local->data[0]} << 24 | uint32_t{local->data[1]} << 16 |
                                 uint32_t{local->data[2]} << 8 | local->data[3]);
            } else if (a.ifa_family == AF_INET6) {
                const auto address = nl::find(attrs, IFA_ADDRESS);
                if (address && address->size == 16) {
                    std::array<uint8_t, 16> bytes;
                    std::memcpy(bytes.data(), address->data, 16);
                    v6.push_back(bytes);
                }
            }
        }
    } catch (const std::system_error&) {
        return;
    }
    rte_set_station_addresses(p.adapter, v4, v6);
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

void Edges::lose_station(size_t index, const std::string& why) {
    // A TAP deleted under the daemon reads as failed for ever: the adapter cannot work
    // without its station side. A later event of its lower interface binds it anew.
    Port& p = *m_ports[index];
    unbind(index, "its station side failed: " + why);
    if (p.stationWatched)
        m_watch.unwatch(station_of(p)->fd());
    p.stationWatched = false;
    p.tap.reset();
    p.tapIndex = 0;
    p.stationGiven = false;
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

void Edges::on_links_ready() {
    if (!m_monitor)
        return;
    bool overrun = false;
    std::vector<int> addressChanges;
    for (const auto& ev : m_monitor->drain(overrun, &addressChanges))
        on_link(ev);
    if (overrun) {
        resync();
        for (auto& p : m_ports)
            refresh_station_addresses(*p);
        return;
    }
    for (auto& p : m_ports)
        if (p->tapIndex && std::find(addressChanges.begin(), addressChanges.end(), p->tapIndex) !=
                               addressChanges.end())
            refresh_station_addresses(*p);
}

void Edges::on_held_links_ready(size_t index) {
    if (index >= m_ports.size() || !m_ports[index]->heldMonitor)
        return;
    bool overrun = false;
    const auto events = m_ports[index]->heldMonitor->drain(overrun);
    for (const auto& ev : events)
        if (m_ports[index]->heldMonitor && ev.link.name == m_ports[index]->binding.lower)
            on_held_link(index, ev);
    if (overrun && m_ports[index]->held) {
        if (auto lower = m_ports[index]->held->query())
            on_held_link(index, LinkEvent{false, *lower});
        else
            on_held_link(index, LinkEvent{true, LinkState{}});
    }
}

void Edges::on_held_link(size_t index, const LinkEvent& ev) {
    Port& p = *m_ports[index];
    if (ev.removed) {
        if (p.adapter && ev.link.index != 0 && p.lower->ifindex() != ev.link.index)
            return;
        unbind(index, p.binding.lower + " disappeared");
        drop_held(p);
        return;
    }
    if (!p.adapter) {
        bind(index);
    } else if (p.lower->ifindex() != ev.link.index) {
        unbind(index, p.binding.lower + " was made anew");
        bind(index);
    } else {
        apply_lower_state(p, ev.link);
    }
}

void Edges::on_link(const LinkEvent& ev) {
    for (size_t i = 0; i < m_ports.size(); ++i) {
        Port& p = *m_ports[i];
        const Binding& b = p.binding;
        // While the lower interface is held, one of its name here is another interface.
        const bool isLower = ev.link.name == b.lower && !p.held;
        const bool isStation = b.kind == StationKind::Interface && ev.link.name == b.station;
        if (!isLower && !isStation)
            continue;
        if (ev.removed) {
            // Only the interface the adapter is bound to; a link of that name that left
            // another namespace is not ours.
            const int bound = !p.adapter ? -1
                              : isLower  ? p.lower->ifindex()
                                         : p.stationSocket->ifindex();
            if (bound == ev.link.index)
                unbind(i, ev.link.name + " disappeared");
            continue;
        }
        if (p.adapter) {
            const int bound = isLower ? p.lower->ifindex() : p.stationSocket->ifindex();
            if (bound != ev.link.index) {
                unbind(i, ev.link.name + " was made anew");
                bind(i);
            } else if (isLower) {
                apply_lower_state(p, ev.link);
            } else {
                p.stationMtu = ev.link.mtu;
            }
            continue;
        }
        bind(i);
    }
}

void Edges::resync() {
    for (size_t i = 0; i < m_ports.size(); ++i) {
        Port& p = *m_ports[i];
        if (p.held) {
            if (auto lower = p.held->query())
                on_held_link(i, LinkEvent{false, *lower});
            else
                on_held_link(i, LinkEvent{true, LinkState{}});
            continue;
        }
        const auto lower = query_link(p.binding.lower);
        if (!lower) {
            unbind(i, p.binding.lower + " is gone");
            continue;
        }
        if (p.binding.kind == StationKind::Interface && !query_link(p.binding.station)) {
            unbind(i, p.binding.station + " is gone");
            continue;
        }
        on_link(LinkEvent{false, *lower});
    }
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
