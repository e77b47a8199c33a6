// The bound adapters of the daemon: per binding a station side (a TAP device, or an
// interface read with a packet socket) and a lower side (a packet socket on the real
// interface). Frames read from the station enter the engine's edge as direction 0, frames
// from the lower interface as direction 1; as the packet layer's transmit sink it writes
// direction 0 to the lower side and direction 1 to the station side.
//
// Binding follows the lower interface through rtnetlink: an adapter binds when its lower
// interface exists, unbinds when it disappears (its packets in the engine are freed
// first) and binds again when it comes back. The adapter table has 15 slots: a binding
// beyond them is refused and waits for a slot to come free. The lower interface's carrier
// is mirrored onto the TAP and is the adapter's "media connected" flag; a lower interface that is
// administratively down counts as not powered. While either holds, station frames fail
// and nothing is queued.
//
// The object runs on the engine's thread: it owns no thread and no loop, it hands its
// descriptors to an FdWatch and does its work in the ready handlers. rte_init and du_init
// must have run before start(), with this object as the packet layer's sink, and stop()
// must run before du_shutdown and rte_shutdown.
#pragma once

#include "QuellinEdges/Bindings.h"
#include "QuellinEdges/FramePort.h"
#include "QuellinEdges/Links.h"
#include "QuellinEdges/Log.h"

#include "quellin_rte/PacketLayer.h"

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace quellin::edges {

// The daemon's event loop as the edges use it: level-triggered readability.
class FdWatch {
public:
    virtual ~FdWatch() = default;
    virtual bool watch(int fd, std::function<void()> ready) = 0;
    virtual void unwatch(int fd) = 0;
};

struct AdapterCounters {
    uint64_t stationFrames = 0; // read from the station side
    uint64_t lowerFrames = 0;   // read from the lower side
    uint64_t failedSends = 0;   // station frames refused: unbound, not powered or no media
    std::array<uint64_t, 2> lostWrites{}; // frames a side did not take, per direction
    uint64_t kernelDrops = 0;             // lower receives the kernel dropped (PACKET_STATISTICS)
    uint64_t oversized = 0;               // frames longer than a read holds, refused
};

struct AdapterView {
    Binding binding;
    uint16_t number = 0; // 0 while not bound
    bool powered = false;
    bool mediaConnected = false;
    AdapterCounters counters;
};

class Edges final : public rte::TransmitSink {
public:
    static constexpr size_t kBatch = 64;

    explicit Edges(FdWatch& watch, LogSink log = stderr_log());
    ~Edges() override;
    Edges(const Edges&) = delete;
    Edges& operator=(const Edges&) = delete;

    // Starts the link monitor and binds what can be bound. False (logged) when the
    // monitor cannot be made or is already running.
    bool start(const std::vector<Binding>& bindings);
    // The largest MTU a TAP is given, whatever its lower interface has: frames longer than
    // the packet layer's buffers would be refused. 0: no limit.
    void limit_station_mtu(uint32_t mtu) { m_mtuLimit = mtu; }
    // Daemon shutdown: unbinds every adapter and closes every device.
    void stop();

    void transmit(uint16_t adapterNumber, int direction, const uint8_t* frame,
                  size_t length) override;

    size_t bound_count() const;
    std::vector<AdapterView> adapters() const;
    // Receives the adapter refused: no descriptor or too large, and kernel drops.
    uint64_t refused_receives(uint16_t adapterNumber) const;
    // Free receive descriptors of the adapter that received last, as they were when the
    // frame arrived (for the driver status record); the pool size before any receive.
    uint32_t last_receive_free() const { return m_lastReceiveFree; }

    // Ready handlers, called by the loop through the watches.
    void on_station_ready(size_t port);
    void on_lower_ready(size_t port);
    void on_links_ready();
    // Asks the kernel for the state of every followed interface and acts on it.
    void resync();

private:
    struct Port;
    FramePort* station_of(Port& p) const;
    bool bind(size_t index);
    void unbind(size_t index, const std::string& reason);
    void lose_station(size_t index, const std::string& why);
    void apply_lower_state(Port& p, const LinkState& link);
    uint32_t station_mtu(uint32_t lowerMtu);
    void on_link(const LinkEvent& ev);

    FdWatch& m_watch;
    LogSink m_log;
    std::unique_ptr<LinkMonitor> m_monitor;
    std::vector<std::unique_ptr<Port>> m_ports;
    std::array<Port*, kRteMaxAdapters> m_byNumber{};
    std::vector<uint8_t> m_buffer;
    bool m_stopping = false;
    uint32_t m_lastReceiveFree = 0;
    uint32_t m_mtuLimit = 0;
};

} // namespace quellin::edges
