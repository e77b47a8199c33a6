// The bound adapters of the daemon: per binding a station side (a TAP device, or an
// interface read with a packet socket) and a lower side (a packet socket on the real
// interface). Frames read from the station enter the engine's edge as direction 0, frames
// from the lower interface as direction 1; as the packet layer's transmit sink it writes
// direction 0 to the lower side and direction 1 to the station side.
//
// A TAP binding takes the lower interface from the station's stack (HeldInterface): the
// station then sees only the TAP, which gets the lower interface's address, MTU, addresses
// and routes, and everything is given back when the daemon stops. An "if:" binding leaves
// both interfaces where they are and only gives back their offload settings.
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
//
// Frames the sender left to offload are finished before they enter: checksums computed,
// super-frames of a TAP with offloads and TCP packets above the MTU cut into wire-size
// segments, so that every packet in the engine is one the wire carries. What is sent on to
// such a station is handed over in runs of TCP segments joined as a receiving card joins
// them, held only until the loop has dispatched what was ready with them. Packets lost for
// want of descriptors are counted per adapter and reported by report_losses().
#pragma once

#include "QuellinEdges/Bindings.h"
#include "QuellinEdges/Coalescing.h"
#include "QuellinEdges/FramePort.h"
#include "QuellinEdges/HeldInterface.h"
#include "QuellinEdges/Links.h"
#include "QuellinEdges/Log.h"

#include "quellin_rte/PacketLayer.h"

#include <array>
#include <functional>
#include <memory>
#include <thread>
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
    // Per direction (0 from the station, 1 from the network): frames the packet layer
    // refused (no free descriptor, or larger than a frame buffer), and emulated packets
    // dropped because the pool was at its floor (10 free descriptors).
    std::array<uint64_t, 2> refused{};
    std::array<uint64_t, 2> poolFloorDrops{};
    // Per direction: frames the kernel dropped before the daemon could read them, the
    // TAP's queue or a packet socket's buffer being full (the TAP's as of the last report).
    std::array<uint64_t, 2> unread{};
    uint64_t checksumsCompleted = 0; // checksums left to offload, finished here
    uint64_t segmented = 0;          // offloaded TCP and UDP packets cut into segments
    uint64_t offloadRefused = 0;     // offload headers that do not fit their frame, dropped
    uint64_t coalesced = 0;          // runs of TCP segments handed to the station in one piece
    // Per direction: wire-size packets handed to the engine, and written out by it.
    std::array<uint64_t, 2> entered{};
    std::array<uint64_t, 2> written{};
};

struct AdapterView {
    Binding binding;
    uint16_t number = 0; // 0 while not bound
    bool powered = false;
    bool mediaConnected = false;
    std::string heldNamespace; // where the lower interface is held; empty when it is not
    AdapterCounters counters;
    uint64_t lowerWaiting = 0; // frames handed to the lower side's sender, not yet started
};

class Edges final : public rte::TransmitSink {
public:
    static constexpr size_t kBatch = 64;

    // What the edges change is recorded in `records` before it is changed.
    Edges(FdWatch& watch, const RestoreRecords& records, LogSink log = stderr_log());
    ~Edges() override;
    Edges(const Edges&) = delete;
    Edges& operator=(const Edges&) = delete;

    // Starts the link monitor and binds what can be bound. False (logged) when the
    // monitor cannot be made or is already running.
    bool start(const std::vector<Binding>& bindings);
    // Frames a TAP's queue holds while the daemon is not reading: about 120 ms of a
    // 1 Gbit/s flow of full-size frames.
    static constexpr uint32_t kTapQueueLength = 10000;

    // The largest MTU a TAP is given, whatever its lower interface has: frames longer than
    // the packet layer's buffers would be refused. 0: no limit.
    void limit_station_mtu(uint32_t mtu) { m_mtuLimit = mtu; }
    // Whether TAPs made from now on ask for checksum and segmentation offloads (they do
    // unless told otherwise; a kernel that refuses them gets TAPs without).
    void use_tap_offloads(bool on) { m_tapOffloads = on; }
    // False reads the packet sockets one frame per call, as where the kernel has no
    // receive ring; for the sockets made after the call.
    void use_rings(bool on) { m_rings = on; }
    // Whether ports made from now on do their system calls on threads of their own: TAPs
    // read and packet sockets send there (they do unless told otherwise; a port that cannot
    // start its thread does them on the engine's).
    void use_io_threads(bool on) { m_ioThreads = on; }
    // The sending threads of each packet socket (each the frames of its share of the flows)
    // on a machine of `processors`: the engine's and a TAP's reading
    // thread take two processors, the senders half the rest (up to three), and the other
    // half is left to the station's own programs, whose traffic it is.
    static size_t send_threads_for(unsigned processors) {
        const size_t half = processors > 2 ? (processors - 2) / 2 : 0;
        return half < 1 ? 1 : half > 3 ? 3 : half;
    }
    // Daemon shutdown: unbinds every adapter, closes every device and gives back every
    // interface and setting.
    void stop();

    // Frames for a packet socket wait for flush(), which the ready handlers call at their
    // end and the loop at the end of every wake-up.
    void transmit(uint16_t adapterNumber, int direction, const uint8_t* frame,
                  size_t length) override;
    void flush();

    size_t bound_count() const;
    std::vector<AdapterView> adapters() const;
    // Receives the adapter refused: no descriptor or too large, and kernel drops.
    uint64_t refused_receives(uint16_t adapterNumber) const;
    // Packets lost since the object was made, over every adapter and both directions (a
    // stop keeps the count): refused frames, pool-floor drops, frames the kernel dropped
    // before they were read and frames a side did not take.
    uint64_t packets_lost() const;
    // Logs, per adapter, what was lost since the last report (nothing when nothing was);
    // the daemon calls it once a second.
    void report_losses();
    // Free receive descriptors of the adapter that received last, as they were when the
    // frame arrived (for the driver status record); the pool size before any receive.
    uint32_t last_receive_free() const { return m_lastReceiveFree; }

    // Ready handlers, called by the loop through the watches. A side is read one batch of
    // up to kBatch wire packets a call, and no more than bring the other side's sender to a
    // batch it has not started: what comes faster waits in the port's own queue.
    void on_station_ready(size_t port);
    void on_lower_ready(size_t port);
    void on_links_ready();
    void on_held_links_ready(size_t port);
    // Asks the kernel for the state of every followed interface and acts on it.
    void resync();

private:
    struct Port;
    FramePort* station_of(Port& p) const;
    static size_t read_room(const PacketSocket* out);
    bool bind(size_t index);
    bool open_tap_binding(size_t index, LinkState& lower);
    bool open_interface_binding(Port& p, const LinkState& lower, const LinkState& station);
    void unbind(size_t index, const std::string& reason);
    void drop_held(Port& p);
    void give_back(Port& p);
    void lose_station(size_t index, const std::string& why);
    void apply_lower_state(Port& p, const LinkState& link);
    uint32_t station_mtu(uint32_t lowerMtu);
    void on_link(const LinkEvent& ev);
    void on_held_link(size_t index, const LinkEvent& ev);
    void note(Port& p, int severity, const std::string& message);
    void deliver(Port& p, int direction, uint8_t* frame, const FrameInfo& info);
    void enter(Port& p, int direction, const uint8_t* frame, size_t length);
    void refresh_station_addresses(Port& p);
    void flush(Port& p);
    void note_unmapped(const PacketSocket& socket);
    void start_sender(PacketSocket& socket);
    void start_reader(TapDevice& tap);
    void note_no_thread(const std::string& why);
    Coalescer::Writer station_writer(Port& p);
    void on_flush_ready();
    void flush_stations();

    FdWatch& m_watch;
    const RestoreRecords& m_records;
    LogSink m_log;
    std::unique_ptr<LinkMonitor> m_monitor;
    std::vector<std::unique_ptr<Port>> m_ports;
    std::array<Port*, kRteMaxAdapters> m_byNumber{};
    std::vector<uint8_t> m_buffer;
    std::vector<uint8_t> m_segment;
    std::vector<uint8_t> m_split; // a joined run the station refused, cut again
    bool m_stopping = false;
    uint32_t m_lastReceiveFree = 0;
    uint32_t m_mtuLimit = 0;
    uint64_t m_entered = 0;    // wire packets handed to the engine, for the batches' bound
    uint64_t m_lostBefore = 0; // packets_lost() of the ports a stop removed
    bool m_rings = true;
    bool m_unmappedSaid = false;
    bool m_ioThreads = true;
    size_t m_sendThreads = send_threads_for(std::thread::hardware_concurrency());
    bool m_noThreadSaid = false;
    bool m_tapOffloads = true;
    bool m_joining = false; // in a batch from a lower side
    int m_flushFd = -1;     // readable while frames for a station are held
    bool m_flushArmed = false;
};

} // namespace quellin::edges
