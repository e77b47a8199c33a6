// The daemon's engine on deterministic seams, as the fuzz targets drive it: the packet
// layer with one adapter, the models, and the control device as the engine's reporter.
// One harness lives for one input. Its end stops the emulation as the daemon's shut-down
// does and checks that every packet and memory block came back to its pool.
#pragma once

#include "FuzzInput.h"

#include "quellin_control/ControlDevice.h"
#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_models/Checksum.h"
#include "quellin_models/EngineHooks.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzz {

inline constexpr uint32_t kStation = 0xC6120001; // 198.18.0.1
inline constexpr uint32_t kPeer = 0xC6120002;    // 198.18.0.2
inline constexpr std::array<uint8_t, 16> kStation6 = {0x20, 0x01, 0x00, 0x02, 0, 0, 0, 0,
                                                      0,    0,    0,    0,    0, 0, 0, 1};
inline constexpr std::array<uint8_t, 16> kPeer6 = {0x20, 0x01, 0x00, 0x02, 0, 0, 0, 0,
                                                   0,    0,    0,    0,    0, 0, 0, 2};

// Counts what leaves and checks that no frame outgrows the buffers the edges read into.
class CountingSink final : public quellin::rte::TransmitSink {
public:
    void transmit(uint16_t, int, const uint8_t* frame, size_t length) override {
        if (length > 0 && frame == nullptr)
            Fail("a frame without bytes was transmitted");
        if (length > kFrameCapacity)
            Fail("a transmitted frame is longer than a frame buffer");
        ++sent;
    }
    static constexpr size_t kFrameCapacity = 2048;
    size_t sent = 0;
};

// Completions of pending requests: each id at most once.
class RecordingCompleter final : public quellin::IoCompleter {
public:
    void complete(quellin::IoRequestId id, quellin::IoCompletion) override {
        for (quellin::IoRequestId done : m_done)
            if (done == id)
                Fail("a pending request was completed twice");
        m_done.push_back(id);
    }

private:
    std::vector<quellin::IoRequestId> m_done;
};

// A block whose links are unlimited, for the station's address on adapter 1.
inline quellin::wire::DriverPlayBlock OpenBlock(uint16_t sampleCount = 0) {
    using namespace quellin::wire;
    DriverPlayBlock block(sampleCount);
    block.setAdapterNumber(1);
    block.setAdapterAddress(kStation);
    block.setAdapterIpv6(kStation6);
    block.setEastOut(pb::kUnlimitedBandwidth);
    block.setEastIn(pb::kUnlimitedBandwidth);
    block.setWestOut(pb::kUnlimitedBandwidth);
    block.setWestIn(pb::kUnlimitedBandwidth);
    block.setEastBucketSize(pb::kUnlimitedBucket);
    block.setWestBucketSize(pb::kUnlimitedBucket);
    return block;
}

// Puts 16-bit words of the input into the block's fixed part: a count, then (offset, value)
// pairs. The words the load check reads as the block's shape (marker, size, sample count)
// stay as they are and the filter count stays within the table, so the block loads and its
// parameters are what the input says.
inline void WriteBlockFields(Input& in, quellin::wire::DriverPlayBlock& block) {
    using namespace quellin::wire;
    // Words of the parameters (before the filter table and behind it) are named by
    // offsets with the high bit clear; with it set, any word of the fixed part.
    constexpr size_t kHeadWords = pb::kFilterEntries / 2;
    constexpr size_t kTailWords = (pb::kFixedSize - pb::kCongestionTimeChance) / 2;
    const unsigned writes = in.u8() % 48;
    for (unsigned i = 0; i < writes; ++i) {
        const uint16_t name = in.u16();
        size_t offset;
        if (name & 0x8000) {
            offset = (name % (pb::kFixedSize / 2)) * 2;
        } else {
            const size_t word = name % (kHeadWords + kTailWords);
            offset =
                word < kHeadWords ? word * 2 : pb::kCongestionTimeChance + (word - kHeadWords) * 2;
        }
        const uint16_t value = in.u16();
        if ((offset >= pb::kFilterMarker && offset < pb::kFilterMarker + 8) ||
            offset == pb::kSampleCount)
            continue;
        put_u16(block.data(), offset, value);
    }
    if (block.filterCount() > pb::kMaxFilterEntries)
        put_u32(block.data(), pb::kFilterCount, block.filterCount() % (pb::kMaxFilterEntries + 1));
}

// A frame shaped by the input: raw bytes, or bytes behind an Ethernet, VLAN or LLC/SNAP
// header, with the addresses, lengths and checksum set right or left as the input lies.
inline std::vector<uint8_t> BuildFrame(Input& in, int& direction) {
    const uint8_t shape = in.u8();
    direction = shape & 1;
    const unsigned kind = (shape >> 1) & 7;
    const bool fixAddresses = (shape & 0x10) != 0;
    const bool fixLength = (shape & 0x20) != 0;
    const bool fixChecksum = (shape & 0x40) != 0;
    // A little past the frame buffers, so that refusing too long a frame is tried too.
    const size_t length = in.u16() % (CountingSink::kFrameCapacity + 64);
    const auto body = in.bytes(length);

    std::vector<uint8_t> frame;
    auto ethernet = [&](uint16_t type) {
        frame.assign(14, 0);
        for (int i = 0; i < 6; ++i) {
            frame[i] = 0x02;
            frame[6 + i] = 0x04;
        }
        quellin::wire::put_be16(frame.data(), 12, type);
    };
    size_t ip = 14;
    uint16_t type = 0x0800;
    switch (kind) {
    case 0: // the input is the whole frame
        frame.assign(body.begin(), body.end());
        return frame;
    case 1:
        ethernet(0x0800);
        break;
    case 2:
        ethernet(0x86DD);
        type = 0x86DD;
        break;
    case 3: // 802.1Q: passed on, never classified
        ethernet(0x8100);
        frame.insert(frame.end(), {0x00, 0x05, 0x08, 0x00});
        ip = 18;
        break;
    case 4: { // 802.3 with LLC/SNAP
        ethernet(static_cast<uint16_t>(std::min<size_t>(8 + body.size(), 1500)));
        frame.insert(frame.end(), {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00});
        ip = 22;
        break;
    }
    case 5:
        ethernet(0x86DD);
        frame.insert(frame.end(), {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x86, 0xDD});
        quellin::wire::put_be16(frame.data(), 12,
                                static_cast<uint16_t>(std::min<size_t>(8 + body.size(), 1500)));
        ip = 22;
        type = 0x86DD;
        break;
    default: // an IPv4 header of 20 bytes, then the input
        ethernet(0x0800);
        frame.insert(frame.end(),
                     {0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        break;
    }
    frame.insert(frame.end(), body.begin(), body.end());
    uint8_t* p = frame.data() + ip;
    const size_t have = frame.size() - ip;
    const bool outbound = direction == 0;
    if (type == 0x0800 && have >= 20) {
        if (fixAddresses) {
            quellin::wire::put_be32(p, 12, outbound ? kStation : kPeer);
            quellin::wire::put_be32(p, 16, outbound ? kPeer : kStation);
        }
        if (fixLength)
            quellin::wire::put_be16(p, 2, static_cast<uint16_t>(std::min<size_t>(have, 0xFFFF)));
        const size_t header = static_cast<size_t>(p[0] & 0x0F) * 4;
        if (fixChecksum && header >= 20 && header <= have)
            quellin::models::ipv4_set_header_checksum(std::span<uint8_t>(p, have), header);
    } else if (type == 0x86DD && have >= 40) {
        if (fixAddresses) {
            std::copy(kStation6.begin(), kStation6.end(), p + (outbound ? 8 : 24));
            std::copy(kPeer6.begin(), kPeer6.end(), p + (outbound ? 24 : 8));
        }
        if (fixLength)
            quellin::wire::put_be16(p, 4,
                                    static_cast<uint16_t>(std::min<size_t>(have - 40, 0xFFFF)));
    }
    return frame;
}

class EngineHarness {
public:
    static constexpr uint32_t kPool = 64;

    explicit EngineHarness(uint32_t seed) : m_random(seed) {
        quellin::RteConfig config;
        config.packetPoolSize = kPool;
        config.frameCapacity = CountingSink::kFrameCapacity;
        if (!quellin::rte_init(config, {&m_clock, &m_random, &m_timers, &m_sink}))
            Fail("the packet layer did not start");
        m_adapter = quellin::rte_bind_adapter("tap0");
        if (!m_adapter || !quellin::du_init(&m_models, &m_device))
            Fail("the engine did not start");
    }

    // Stops as the daemon does at its end; then every descriptor and block is free.
    ~EngineHarness() {
        m_device.shutdown();
        if (quellin::rte_free_descriptors(m_adapter, 0) != kPool ||
            quellin::rte_free_descriptors(m_adapter, 1) != kPool)
            Fail("a packet did not come back to its pool");
        if (quellin::rte_alloc_free_blocks() != quellin::rte_alloc_total_blocks())
            Fail("a memory block did not come back to its pool");
        quellin::du_shutdown();
        quellin::rte_shutdown();
    }
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    quellin::EdgeResult Send(int direction, const std::vector<uint8_t>& frame) {
        return quellin::edge_packet_in(m_adapter, direction, frame.data(), frame.size());
    }
    // Lets `ms` milliseconds pass, firing the timers due on the way.
    void Advance(uint32_t ms) { m_timers.run_until(m_clock.now() + uint64_t{ms} * 1000); }

    quellin::ControlDevice& device() { return m_device; }
    CountingSink& sink() { return m_sink; }

private:
    quellin::rte::test::VirtualClock m_clock{1000000, 3600000};
    quellin::rte::SeededRandom m_random;
    quellin::rte::test::ManualTimers m_timers{m_clock};
    CountingSink m_sink;
    quellin::models::ModelHooks m_models;
    RecordingCompleter m_completer;
    quellin::ControlDevice m_device{m_completer};
    quellin::RteAdapter* m_adapter = nullptr;
};

} // namespace fuzz
