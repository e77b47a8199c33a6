// A control device over a whole engine on deterministic seams, with a fake transport
// that records what it was asked to complete.
#pragma once

#include "quellin_control/ControlDevice.h"
#include "quellin_engine/Edge.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace quellin::test {

inline const uint32_t kStation = ipv4(198, 18, 0, 1);
inline const uint32_t kPeer = ipv4(198, 18, 0, 2);

struct FakeCompleter : IoCompleter {
    std::vector<std::pair<IoRequestId, IoCompletion>> done;
    void complete(IoRequestId id, IoCompletion completion) override {
        done.emplace_back(id, std::move(completion));
    }
    // The completion of `id`; fails the test when there is none.
    const IoCompletion& of(IoRequestId id) const {
        for (const auto& [i, c] : done)
            if (i == id)
                return c;
        ADD_FAILURE() << "request " << id << " was not completed";
        static IoCompletion none;
        return none;
    }
    bool completed(IoRequestId id) const {
        for (const auto& d : done)
            if (d.first == id)
                return true;
        return false;
    }
};

struct Reply {
    uint16_t state = 0;
    uint16_t result = 0;
};

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        RteConfig cfg;
        cfg.packetPoolSize = 64;
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
        adapter = rte_bind_adapter("tap0");
        ASSERT_TRUE(du_init(nullptr, &device));
        block.setAdapterNumber(1);
        block.setAdapterAddress(kStation);
        block.setEastOut(wire::pb::kUnlimitedBandwidth);
        block.setEastIn(wire::pb::kUnlimitedBandwidth);
        block.setWestOut(wire::pb::kUnlimitedBandwidth);
        block.setWestIn(wire::pb::kUnlimitedBandwidth);
        block.setEastBucketSize(wire::pb::kUnlimitedBucket);
        block.setWestBucketSize(wire::pb::kUnlimitedBucket);
    }
    void TearDown() override {
        du_shutdown();
        rte_shutdown();
    }

    static std::vector<uint8_t> message(uint16_t command, uint16_t version = 6, uint32_t mode = 1,
                                        const std::vector<uint8_t>& data = {},
                                        std::optional<uint16_t> checksum = std::nullopt) {
        wire::ControlMessage m;
        m.command = command;
        m.protocolVersion = version;
        m.mode = mode;
        m.dataLength = static_cast<uint32_t>(data.size());
        m.checksum = checksum ? *checksum : wire::internet_checksum(data.data(), data.size());
        auto head = m.encode();
        std::vector<uint8_t> bytes(head.size() + data.size());
        std::copy(head.begin(), head.end(), bytes.begin());
        std::copy(data.begin(), data.end(), bytes.begin() + head.size());
        return bytes;
    }

    Reply control(const std::vector<uint8_t>& bytes) {
        auto c = device.dispatch({++nextId, wire::kIoctlControl, bytes, 14});
        EXPECT_TRUE(c.has_value());
        EXPECT_EQ(c->status, wire::kStatusSuccess);
        auto r = wire::ControlReply::decode(c->output.data(), c->output.size());
        EXPECT_TRUE(r.has_value());
        return r ? Reply{r->driverState, r->result} : Reply{};
    }
    Reply command(uint16_t cmd) { return control(message(cmd)); }
    std::vector<uint8_t> block_bytes() const {
        return std::vector<uint8_t>(block.data(), block.data() + block.size());
    }
    Reply load() { return control(message(3, 6, 1, block_bytes())); }

    // A request; gives its id, and its completion in `now` when it completed at once.
    IoRequestId request(uint32_t code, uint32_t outputLength,
                        std::optional<IoCompletion>* now = nullptr) {
        const IoRequestId id = ++nextId;
        auto c = device.dispatch({id, code, {}, outputLength});
        if (now)
            *now = c;
        return id;
    }

    // Open, load, play, and the six requests that start the emulation.
    struct Six {
        IoRequestId captured, lists[4], counters;
    };
    Six start_playing(uint32_t capturedOut = 380004, uint32_t listOut = 70000) {
        if (!device.session_open()) {
            EXPECT_EQ(command(1).result, 0);
        }
        EXPECT_EQ(load().result, 0);
        EXPECT_EQ(command(6).result, 0);
        Six s;
        s.captured = request(wire::kIoctlCapturedPackets, capturedOut);
        for (int i = 0; i < 4; ++i)
            s.lists[i] = request(wire::kIoctlPacketList0 + 4 * i, listOut);
        s.counters = request(wire::kIoctlCounters, 76);
        EXPECT_FALSE(du_context().view.bypass);
        return s;
    }

    EdgeResult send(int direction, uint16_t ipLength = 100, uint8_t tag = 0) {
        const auto frame = direction == 0 ? ipv4_frame(kStation, kPeer, ipLength, tag)
                                          : ipv4_frame(kPeer, kStation, ipLength, tag);
        return edge_packet_in(adapter, direction, frame.data(), frame.size());
    }

    rte::test::VirtualClock clock{1000000, 3600000};
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink{&clock};
    FakeCompleter completer;
    ControlDevice device{completer};
    RteAdapter* adapter = nullptr;
    wire::DriverPlayBlock block;
    IoRequestId nextId = 0;
};

} // namespace quellin::test
