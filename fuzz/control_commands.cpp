// The command processor behind the control socket: requests of any I/O control code with
// any input and output size, control messages (open, load, play, stop, flush, close and
// unknown commands) with play blocks, frames through the engine while requests pend,
// dropped callers and the periodic tick. The harness checks the pools at the end.
#include "common/EngineHarness.h"

#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"
#include "quellin_wire/Records.h"

#include <vector>

using namespace quellin;

namespace {

constexpr uint32_t kCodes[] = {
    wire::kIoctlCapturedPackets, wire::kIoctlStatus,      wire::kIoctlControl,
    wire::kIoctlPacketList0,     wire::kIoctlPacketList1, wire::kIoctlPacketList2,
    wire::kIoctlPacketList3,     wire::kIoctlCounters,    wire::kIoctlAdapterCount,
    wire::kIoctlAdapterList,     wire::kIoctlIsEmulating, wire::kIoctlPlayBlockLength,
    wire::kIoctlPlayBlock};

uint32_t Code(fuzz::Input& in) {
    const uint8_t pick = in.u8();
    if (pick < 2 * std::size(kCodes))
        return kCodes[pick % std::size(kCodes)];
    return in.u32(); // any code at all
}

// Output sizes: none, the ones the callers use, and any other.
uint32_t OutputSize(fuzz::Input& in) {
    static constexpr uint32_t kUsual[] = {14, 4, 2, 76, 380004, 70000, 3272, 84, 160};
    switch (in.u8() % 6) {
    case 0:
        return 0;
    case 1:
        return kUsual[in.u8() % std::size(kUsual)];
    case 2:
        return in.u8();
    case 3:
        return in.u16();
    default:
        return in.u32();
    }
}

// The input of a control request: a control message with the data behind it, its magic,
// length and checksum set right unless the input asks for them as they come.
std::vector<uint8_t> ControlInput(fuzz::Input& in) {
    const uint8_t shape = in.u8();
    std::vector<uint8_t> data;
    if (shape & 1) {
        auto block = fuzz::OpenBlock(in.u8() % 17);
        fuzz::WriteBlockFields(in, block);
        data.assign(block.data(), block.data() + block.size());
    } else {
        auto raw = in.bytes(in.u16() % 4096);
        data.assign(raw.begin(), raw.end());
    }
    wire::ControlMessage m;
    static constexpr uint16_t kCommands[] = {1, 2, 3, 5, 6, 10, 4, 7, 8, 9};
    m.command = (shape & 2) ? in.u16() : kCommands[in.u8() % std::size(kCommands)];
    m.protocolVersion = (shape & 4) ? in.u16() : wire::kProtocolVersion;
    m.mode = (shape & 8) ? in.u32() : 1;
    m.dataLength = (shape & 16) ? in.u32() : static_cast<uint32_t>(data.size());
    m.checksum = (shape & 32) ? in.u16() : wire::internet_checksum(data.data(), data.size());
    const auto head = m.encode();
    std::vector<uint8_t> bytes(head.begin(), head.end());
    if (shape & 64) { // a message of any bytes
        const auto raw = in.bytes(wire::kControlMessageSize);
        std::copy(raw.begin(), raw.end(), bytes.begin());
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (shape & 128) // cut short
        bytes.resize(bytes.size() - std::min<size_t>(bytes.size(), in.u16()));
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    fuzz::EngineHarness engine(in.u32());
    ControlDevice& device = engine.device();
    std::vector<IoRequestId> pending;
    IoRequestId next = 0;
    for (unsigned step = 0; step < 200 && !in.empty(); ++step) {
        switch (in.u8() % 8) {
        case 0:
        case 1:
        case 2: {
            const uint32_t code = Code(in);
            const uint32_t output = OutputSize(in);
            std::vector<uint8_t> input;
            if (code == wire::kIoctlControl && in.flag()) {
                input = ControlInput(in);
            } else {
                auto raw = in.bytes(in.u16() % 512);
                input.assign(raw.begin(), raw.end());
            }
            const IoRequestId id = ++next;
            if (!device.dispatch({id, code, input, output}))
                pending.push_back(id);
            break;
        }
        case 3: {
            int direction = 0;
            const auto frame = fuzz::BuildFrame(in, direction);
            engine.Send(direction, frame);
            break;
        }
        case 4:
            engine.Advance(in.u16() % 3000);
            break;
        case 5: // a caller went away
            if (!pending.empty()) {
                const size_t which = in.u8() % pending.size();
                device.discard(pending[which]);
                pending.erase(pending.begin() + static_cast<long>(which));
            }
            break;
        case 6:
            device.du_send_stats_packets();
            device.du_send_sim_queue_stats();
            break;
        default: { // a control message as the dispatch hands it on
            const auto message = ControlInput(in);
            const auto reply = device.du_handleControl(message.data(), message.size());
            if (!wire::ControlReply::decode(reply.data(), reply.size()))
                fuzz::Fail("a control reply does not read back");
            break;
        }
        }
    }
    return 0;
}
