// A stand-in for the daemon's control device: answers control messages, keeps the six
// requests pending and completes them when a test says so. Lives on a TestLoop thread;
// tests reach it through FakeDevice::run.
#pragma once

#include "ControlSocket/ControlServer.h"
#include "TestLoop.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/DriverPlayBlock.h"
#include "quellin_wire/IoControl.h"
#include "quellin_wire/Records.h"

#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <vector>

namespace fake {

namespace wire = quellin::wire;
using namespace quellin::ctlsock;

class FakeDriver final : public RequestHandler {
public:
    std::optional<Completion> on_request(const Request& r) override {
        Completion c;
        switch (r.code) {
        case wire::kIoctlControl:
            return control(r);
        case wire::kIoctlAdapterCount:
            c.system_buffer = {static_cast<uint8_t>(adapters.size()), 0};
            c.information = 2;
            return c;
        case wire::kIoctlAdapterList:
            c.output = wire::encode_adapter_list(adapters);
            c.information = static_cast<uint32_t>(c.output.size());
            return c;
        case wire::kIoctlIsEmulating:
            c.output = {static_cast<uint8_t>(bypass ? 0 : 1), 0, 0, 0};
            c.information = 4;
            return c;
        case wire::kIoctlCapturedPackets:
        case wire::kIoctlPacketList0:
        case wire::kIoctlPacketList1:
        case wire::kIoctlPacketList2:
        case wire::kIoctlPacketList3:
        case wire::kIoctlCounters:
            return pend(r);
        default:
            c.status = kStatusInvalidParameter;
            return c;
        }
    }
    void on_discarded(RequestToken token) override {
        for (auto it = pending.begin(); it != pending.end();)
            it = it->second.token == token ? pending.erase(it) : std::next(it);
        ++discarded;
    }

    // Completes the request pending for `code` with `output`; false when none is.
    bool complete(uint32_t code, Bytes output, std::optional<uint32_t> information = {}) {
        auto it = pending.find(code);
        if (it == pending.end())
            return false;
        RequestToken token = it->second.token;
        pending.erase(it);
        Completion c;
        c.information = information.value_or(static_cast<uint32_t>(output.size()));
        c.output = std::move(output);
        return server->complete(token, std::move(c));
    }

    static Bytes records(size_t count, uint32_t firstSequence = 1) {
        Bytes out(count * wire::kPacketRecordSize + 4, 0);
        for (size_t i = 0; i < count; ++i) {
            wire::PacketRecord rec;
            rec.sequence = firstSequence + static_cast<uint32_t>(i);
            rec.side = i % 2;
            rec.data[0] = 0x45;
            rec.data[9] = 17;
            rec.data[12] = 198, rec.data[13] = 18, rec.data[15] = static_cast<uint8_t>(i);
            rec.data[16] = 198, rec.data[17] = 19, rec.data[19] = 2;
            rec.data[20] = 0x30, rec.data[21] = 0x39; // 12345
            rec.data[22] = 0, rec.data[23] = 53;
            rec.encode(out.data() + i * wire::kPacketRecordSize);
        }
        return out;
    }

    ControlServer* server = nullptr;
    std::vector<wire::AdapterListEntry> adapters;
    std::vector<uint16_t> commands;
    std::optional<uint16_t> openAnswer;
    std::optional<uint16_t> loadAnswer;
    bool session = false;
    bool bypass = true;
    int countdown = 0;
    Bytes block;
    int discarded = 0;
    struct Pending {
        RequestToken token;
        uint32_t capacity;
    };
    std::map<uint32_t, Pending> pending;   // by code
    std::map<uint32_t, uint32_t> capacity; // last capacity asked per code
    std::map<uint32_t, int> requests;      // requests per code

private:
    std::optional<Completion> control(const Request& r) {
        auto message = wire::ControlMessage::decode(r.input.data(), r.input.size());
        Completion c;
        if (!message) {
            c.status = kStatusInvalidParameter;
            return c;
        }
        commands.push_back(message->command);
        uint16_t result = 0;
        switch (message->command) {
        case 1:
            if (openAnswer)
                result = *openAnswer;
            else if (session)
                result = 7;
            else
                session = true;
            bypass = true;
            break;
        case 2:
            session = false;
            bypass = true;
            break;
        case 3:
            block.assign(r.input.begin() + 32, r.input.end());
            bypass = true;
            result = loadAnswer
                         ? *loadAnswer
                         : wire::check_play_block(block.data(), block.size(), message->checksum);
            break;
        case 5:
            if (!bypass) {
                bypass = true;
                for (uint32_t code :
                     {wire::kIoctlCapturedPackets, wire::kIoctlPacketList0, wire::kIoctlPacketList1,
                      wire::kIoctlPacketList2, wire::kIoctlPacketList3})
                    complete(code, code == wire::kIoctlCapturedPackets ? Bytes(4, 0) : Bytes{});
                complete(wire::kIoctlCounters, Bytes(76, 0));
            }
            break;
        case 6:
            bypass = true;
            countdown = 6;
            break;
        case 10:
            complete(wire::kIoctlCapturedPackets, Bytes(4, 0));
            break;
        default:
            break;
        }
        wire::ControlReply reply{static_cast<uint16_t>(message->command), result};
        auto bytes = reply.encode();
        c.output.assign(bytes.begin(), bytes.end());
        c.information = static_cast<uint32_t>(c.output.size());
        return c;
    }

    std::optional<Completion> pend(const Request& r) {
        capacity[r.code] = r.output_capacity;
        ++requests[r.code];
        if (bypass && countdown <= 0) {
            Completion c;
            c.information = r.output_capacity; // nothing written
            return c;
        }
        if (countdown >= 1 && --countdown == 0)
            bypass = false;
        pending[r.code] = Pending{r.token, r.output_capacity};
        return std::nullopt;
    }
};

// The fake driver behind a listening control socket.
class FakeDevice {
public:
    explicit FakeDevice(const std::string& path) {
        server = std::make_unique<ControlServer>(loop, driver);
        driver.server = server.get();
        loop.run([&] { return server->listen(path); });
    }
    ~FakeDevice() {
        loop.run([&] {
            server.reset();
            return 0;
        });
    }
    template <typename F>
    auto run(F fn) {
        return loop.run([&] { return fn(driver); });
    }
    // Waits up to 5 s for `pred` to hold on the loop thread.
    template <typename F>
    bool wait_for(F pred) {
        for (int i = 0; i < 500; ++i) {
            if (run(pred))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    quellin::ctlsock::testing::TestLoop loop;
    FakeDriver driver;
    std::unique_ptr<ControlServer> server;
};

} // namespace fake
