#include "QuellinEdges/Edges.h"

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quellin::edges {

namespace {
// Larger than any frame of an interface (MTU up to 65535, a link header and two VLAN
// tags): a TAP read cuts a longer frame without saying so, a packet socket tells.
constexpr size_t kReadBuffer = 65536 + 64;
} // namespace

struct Edges::Port {
    Binding binding;
    RteAdapter* adapter = nullptr;
    std::unique_ptr<TapDevice> tap;              // station side, "tap:" bindings
    std::unique_ptr<PacketSocket> stationSocket; // station side, "if:" bindings
    std::unique_ptr<PacketSocket> lower;
    bool stationWatched = false;
    bool powered = false;
    bool media = false;
    uint32_t mtu = 0;
    std::array<uint8_t, 6> mac{};
    bool waitingForSlot = false;
    AdapterCounters counters;
};

Edges::Edges(FdWatch& watch, LogSink log)
    : m_watch(watch), m_log(std::move(log)), m_buffer(kReadBuffer) {
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
        m_monitor = std::make_unique<LinkMonitor>();
    } catch (const std::system_error& e) {
        m_log(kLogError, std::string("cannot follow the links: ") + e.what());
        return false;
    }
    m_watch.watch(m_monitor->fd(), [this] { on_links_ready(); });
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
    for (size_t i = 0; i < m_ports.size(); ++i) {
        unbind(i, "the daemon stops");
        Port& p = *m_ports[i];
        if (p.tap && p.stationWatched)
            m_watch.unwatch(p.tap->fd());
        p.stationWatched = false;
        p.tap.reset();
    }
    m_ports.clear();
    if (m_monitor) {
        m_watch.unwatch(m_monitor->fd());
        m_monitor.reset();
    }
    m_stopping = false;
}

FramePort* Edges::station_of(Port& p) const {
    if (p.tap)
        return p.tap.get();
    return p.stationSocket.get();
}

bool Edges::bind(size_t index) {
    Port& p = *m_ports[index];
    if (p.adapter)
        return true;
    const Binding& b = p.binding;
    const std::string what = format_binding(b);
    const auto lower = query_link(b.lower);
    if (!lower) {
        m_log(kLogInfo, what + ": waiting for " + b.lower);
        return false;
    }
    std::optional<LinkState> station;
    if (b.kind == StationKind::Interface) {
        station = query_link(b.station);
        if (!station) {
            m_log(kLogInfo, what + ": waiting for " + b.station);
            return false;
        }
    }
    // Coalesced receives would reach the packet socket as frames larger than the MTU.
    if (!disable_receive_coalescing(b.lower))
        m_log(kLogWarning, what + ": cannot switch receive coalescing off on " + b.lower);
    if (b.kind == StationKind::Interface && !disable_receive_coalescing(b.station))
        m_log(kLogWarning, what + ": cannot switch receive coalescing off on " + b.station);
    try {
        p.lower = std::make_unique<PacketSocket>(lower->name, lower->index);
        if (b.kind == StationKind::Interface) {
            p.stationSocket = std::make_unique<PacketSocket>(station->name, station->index);
        } else if (!p.tap) {
            p.tap = std::make_unique<TapDevice>(b.station);
            if (!set_link_mtu(b.station, station_mtu(lower->mtu)))
                m_log(kLogWarning, what + ": cannot set the MTU of " + b.station);
            set_link_up(b.station, true);
        }
    } catch (const std::system_error& e) {
        m_log(kLogError, what + ": not bound: " + e.what());
        p.lower.reset();
        p.stationSocket.reset();
        return false;
    }

    p.adapter = rte_bind_adapter(b.station.c_str());
    if (!p.adapter) {
        if (!p.waitingForSlot)
            m_log(kLogError, what + ": not bound: all " + std::to_string(kRteMaxAdapters) +
                                 " adapter slots are in use");
        p.waitingForSlot = true;
        p.lower.reset();
        if (p.stationWatched)
            m_watch.unwatch(station_of(p)->fd());
        p.stationWatched = false;
        p.stationSocket.reset();
        p.tap.reset();
        return false;
    }
    p.waitingForSlot = false;
    m_byNumber[rte_adapter_number(p.adapter) - 1] = &p;
    m_watch.watch(p.lower->fd(), [this, index] { on_lower_ready(index); });
    if (!p.stationWatched) {
        m_watch.watch(station_of(p)->fd(), [this, index] { on_station_ready(index); });
        p.stationWatched = true;
    }
    p.mtu = 0; // a TAP kept from an earlier binding takes this lower interface's MTU too
    if (p.tap && lower->hasMac && !p.tap->set_mac(lower->mac))
        m_log(kLogWarning, what + ": cannot give " + b.station + " the address of " + b.lower);
    p.mac = lower->mac;
    apply_lower_state(p, *lower);
    m_log(kLogInfo, what + ": bound as adapter " + std::to_string(rte_adapter_number(p.adapter)));
    return true;
}

void Edges::unbind(size_t index, const std::string& reason) {
    Port& p = *m_ports[index];
    if (!p.adapter)
        return;
    const uint16_t number = rte_adapter_number(p.adapter);
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
    m_log(kLogInfo, format_binding(p.binding) + ": adapter " + std::to_string(number) +
                        " unbound (" + reason + "), " + std::to_string(freed) +
                        " queued packets freed");
    // A binding refused for want of a slot takes the one just freed.
    if (!m_stopping)
        for (size_t j = 0; j < m_ports.size(); ++j)
            if (j != index && m_ports[j]->waitingForSlot && bind(j))
                break;
}

void Edges::apply_lower_state(Port& p, const LinkState& link) {
    p.powered = link.adminUp;
    p.media = link.carrier;
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

void Edges::on_station_ready(size_t index) {
    if (index >= m_ports.size())
        return;
    Port& p = *m_ports[index];
    for (size_t n = 0; n < kBatch; ++n) {
        FramePort* station = station_of(p);
        if (!station)
            return;
        size_t length = 0;
        const ReadResult r = station->read(m_buffer.data(), m_buffer.size(), length);
        if (r == ReadResult::Failed && errno != ENETDOWN)
            return lose_station(index, std::strerror(errno));
        if (r != ReadResult::Frame)
            return;
        ++p.counters.stationFrames;
        if (length > m_buffer.size()) {
            ++p.counters.oversized; // cut by the read: never passed on as if whole
            continue;
        }
        // A send fails unless the adapter is bound, powered and connected.
        if (!p.adapter || !p.powered || !p.media) {
            ++p.counters.failedSends;
            continue;
        }
        edge_packet_in(p.adapter, 0, m_buffer.data(), length);
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
}

void Edges::on_lower_ready(size_t index) {
    if (index >= m_ports.size())
        return;
    Port& p = *m_ports[index];
    for (size_t n = 0; n < kBatch && p.lower; ++n) {
        size_t length = 0;
        const ReadResult r = p.lower->read(m_buffer.data(), m_buffer.size(), length);
        if (r != ReadResult::Frame)
            break; // an interface going down reports ENETDOWN once; rtnetlink tells the rest
        ++p.counters.lowerFrames;
        if (length > m_buffer.size()) {
            ++p.counters.oversized;
            continue;
        }
        m_lastReceiveFree = rte_free_descriptors(p.adapter, 1);
        edge_packet_in(p.adapter, 1, m_buffer.data(), length);
    }
    if (p.lower)
        p.counters.kernelDrops += p.lower->take_kernel_drops();
}

void Edges::transmit(uint16_t adapterNumber, int direction, const uint8_t* frame, size_t length) {
    if (adapterNumber == 0 || adapterNumber > kRteMaxAdapters)
        return;
    Port* p = m_byNumber[adapterNumber - 1];
    if (!p)
        return;
    const int d = direction & 1;
    FramePort* out = d == 0 ? static_cast<FramePort*>(p->lower.get()) : station_of(*p);
    if (!out || (d == 0 && !p->powered) || !out->write(frame, length))
        ++p->counters.lostWrites[d];
}

void Edges::on_links_ready() {
    if (!m_monitor)
        return;
    bool overrun = false;
    for (const auto& ev : m_monitor->drain(overrun))
        on_link(ev);
    if (overrun)
        resync();
}

void Edges::on_link(const LinkEvent& ev) {
    for (size_t i = 0; i < m_ports.size(); ++i) {
        Port& p = *m_ports[i];
        const Binding& b = p.binding;
        const bool isLower = ev.link.name == b.lower;
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
            }
            continue;
        }
        bind(i);
    }
}

void Edges::resync() {
    for (size_t i = 0; i < m_ports.size(); ++i) {
        Port& p = *m_ports[i];
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
        v.counters = p->counters;
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

} // namespace quellin::edges
