// The binding side of the edges: binding and unbinding an adapter, taking the lower
// interface and giving back what it held, and following the lower interface's state.
#include "EdgesPort.h"

#include "QuellinEdges/Netlink.h"

#include "quellin_engine/Engine.h"

#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <system_error>

namespace quellin::edges {

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
    if (p.saved) {
        p.saved->give_back(m_log);
        p.saved.reset();
    }
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
    if (!p.saved) {
        // Their offload settings go on record before receive coalescing is switched off.
        std::string error;
        p.saved = SavedOffloads::save(m_records, {b.station, b.lower}, m_log, error);
        if (!p.saved) {
            note(p, kLogError, what + ": not bound: " + error);
            return false;
        }
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
    if (p.saved)
        p.saved->restore_features();
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

} // namespace quellin::edges
