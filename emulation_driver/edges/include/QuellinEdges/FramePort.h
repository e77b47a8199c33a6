// The two kinds of frame port of an adapter: a TAP device (the station side the daemon
// makes) and a packet socket on an existing interface. Both are non-blocking; reads are
// drained in batches by the caller.
#pragma once

#include "QuellinEdges/FrameReader.h"
#include "QuellinEdges/FrameSender.h"
#include "QuellinEdges/Segmentation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quellin::edges {

// Room enough for any frame of an interface (MTU up to 65535, a link header and two VLAN
// tags), and for what an offloading sender hands over in one piece.
constexpr size_t kMaxFrameRead = 65536 + 64;

enum class ReadResult {
    Frame,  // a frame of `length` bytes (cut to the buffer when `truncated`)
    Empty,  // nothing waits
    Failed, // an error other than "would block", in errno
};

struct FrameInfo {
    size_t length = 0;            // the frame's full length, whatever the buffer held
    bool checksumPending = false; // its TCP or UDP checksum was left to offload
    bool hasVnet = false;         // a TAP with offloads: `vnet` says what was left to do
    VnetHeader vnet;
};

class FramePort {
public:
    virtual ~FramePort() = default;
    virtual int fd() const = 0;
    // One frame into `buffer`.
    virtual ReadResult read(uint8_t* buffer, size_t capacity, FrameInfo& info) = 0;
    ReadResult read(uint8_t* buffer, size_t capacity, size_t& length) {
        FrameInfo info;
        const ReadResult r = read(buffer, capacity, info);
        length = info.length;
        return r;
    }
    // One frame out; false with errno when it was not taken (the frame is then lost).
    virtual bool write(const uint8_t* frame, size_t length) = 0;
    // One frame out with the next flush(), or at once by a port that sends one by one.
    virtual bool queue(const uint8_t* frame, size_t length) { return write(frame, length); }
    // Sends what queue() holds; gives the number of frames not taken.
    virtual size_t flush() { return 0; }
};

// A TAP device: IFF_TAP | IFF_NO_PI, closed (and so removed) with the object. With offloads
// (IFF_VNET_HDR, checksums and TCP and UDP segmentation) the station's stack hands over
// super-frames and partial checksums, each read saying so in FrameInfo::vnet; writes carry
// a header without flags. Where the kernel refuses them, the device is made without (the
// station then hands over whole frames with finished checksums) and offload_note() says
// why. Once read_from_thread() made one, a thread of the device's own takes over its reads
// while frames come faster than they are read (FrameReader), and fd() is what to watch.
class TapDevice final : public FramePort {
public:
    // Throws std::system_error when the device cannot be made.
    explicit TapDevice(const std::string& name, bool offloads = true);
    ~TapDevice() override;
    TapDevice(const TapDevice&) = delete;
    TapDevice& operator=(const TapDevice&) = delete;

    const std::string& name() const { return m_name; }
    bool offloads() const { return m_offloads; }
    const std::string& offload_note() const { return m_offloadNote; }
    int fd() const override;
    // False, with why, when no thread can be started (reads stay the caller's).
    bool read_from_thread(std::string& why);
    const FrameReader* reader() const { return m_reader.get(); }
    using FramePort::read;
    ReadResult read(uint8_t* buffer, size_t capacity, FrameInfo& info) override;
    bool write(const uint8_t* frame, size_t length) override;
    // With offloads: the frame with `header` before it (a super-frame, a partial checksum).
    bool write(const uint8_t* frame, size_t length, const VnetHeader& header);

    // Through the device's descriptor, so they keep working when the device has been moved
    // to another network namespace.
    bool set_carrier(bool on);
    bool set_mac(const std::array<uint8_t, 6>& mac);

private:
    ssize_t read_frame(uint8_t* header, uint8_t* buffer, size_t capacity);
    ReadResult take_read(uint8_t* buffer, size_t capacity, FrameInfo& info);
    ReadResult read_here(uint8_t* buffer, size_t capacity, FrameInfo& info);

    std::string m_name;
    int m_fd = -1;
    bool m_offloads = false;
    std::string m_offloadNote; // why there are no offloads, when they were asked for
    std::unique_ptr<FrameReader> m_reader;
};

// A raw packet socket bound to one interface: every frame of the link (promiscuous
// membership), not the frames this host sends. Frames are received through a memory-mapped
// ring (TPACKET_V2) where the kernel has one, else one per call from a large receive
// buffer; queued frames leave in batches (sendmmsg), from the caller's thread or, once
// send_from_thread() started one, from a thread of the socket's own.
class PacketSocket final : public FramePort {
public:
    // Throws std::system_error when the socket cannot be made or bound. `mapped` false
    // reads one frame per call even where a ring could be had.
    PacketSocket(const std::string& name, int ifindex, bool mapped = true);
    ~PacketSocket() override;
    PacketSocket(const PacketSocket&) = delete;
    PacketSocket& operator=(const PacketSocket&) = delete;

    int ifindex() const { return m_ifindex; }
    int fd() const override { return m_fd; }
    using FramePort::read;
    // Marks frames whose checksum the sender's interface was to finish.
    ReadResult read(uint8_t* buffer, size_t capacity, FrameInfo& info) override;
    bool write(const uint8_t* frame, size_t length) override;
    bool queue(const uint8_t* frame, size_t length) override;
    size_t flush() override;

    // Frames the kernel dropped for want of receive room since the last call
    // (PACKET_STATISTICS), and those of the ring refused as corrupt.
    uint32_t take_kernel_drops();
    // Whether frames come through the ring; why not when they do not.
    bool mapped() const { return m_ring != nullptr; }
    const std::string& unmapped_reason() const { return m_unmappedReason; }

    // From now on `threads` threads of the socket's own send what flush() hands over, each
    // the frames of its share of the flows (FlowHash), so that a flow's frames leave in the
    // order queued. While a thread is awake it sends its share; while it sleeps, flush()
    // sends that share from the caller's thread, and wakes it for a batch of more than
    // FrameSender::kWakeAbove frames, and a batch handed over that a thread has not started
    // within FrameSender::kTakeOverNs goes from the caller's thread too (FrameSender).
    // Frames the threads' sends did not take are counted by a later flush(). False, with
    // why, when no thread can be started (the socket goes on sending from the caller's
    // thread); threads started before one failed keep sending.
    bool send_from_thread(std::string& why, size_t threads = 1);
    bool sends_from_thread() const { return !m_senders.empty(); }
    // Frames handed to a thread whose sending has not started, for the thread furthest
    // behind.
    uint64_t send_backlog() const;
    // Waits until the threads have sent what they were handed.
    void drain_sends();
    // Whether every thread of the socket's own sleeps, for tests.
    bool senders_sleep() const;

private:
    struct Ring;
    struct Batch;
    size_t send_batch(const iovec* frames, size_t count);
    bool queue_for_thread(const uint8_t* frame, size_t length);
    size_t flush_for_thread();
    void map_ring();
    ReadResult read_ring(uint8_t* buffer, size_t capacity, FrameInfo& info);
    ReadResult read_queue(uint8_t* buffer, size_t capacity, FrameInfo& info);

    int m_fd = -1;
    int m_ifindex = 0;
    std::unique_ptr<Ring> m_ring;
    std::unique_ptr<Batch> m_batch;
    std::vector<std::unique_ptr<FrameSender>> m_senders; // last: their threads go first
    std::string m_unmappedReason;
};

} // namespace quellin::edges
