// Link monitoring of the edges: rtnetlink news of the station's namespace and of the
// namespaces that hold lower interfaces, and the resynchronisation after an overrun.
#include "EdgesPort.h"

#include <algorithm>

namespace quellin::edges {

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

} // namespace quellin::edges
