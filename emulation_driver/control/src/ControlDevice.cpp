#include "quellin_control/ControlDevice.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"
#include "quellin_wire/Records.h"

#include <algorithm>

namespace quellin {

namespace {

IoCompletion failed(uint32_t status) {
    IoCompletion c;
    c.status = status;
    return c;
}

// A caller's buffer must be there (else invalid parameter) and hold `need` bytes (else
// buffer too small).
std::optional<IoCompletion> check_length(uint32_t length, size_t need) {
    if (length == 0)
        return failed(wire::kStatusInvalidParameter);
    if (length < need)
        return failed(wire::kStatusBufferTooSmall);
    return std::nullopt;
}

} // namespace

int pending_slot_of(uint32_t code) {
    switch (code) {
    case wire::kIoctlCapturedPackets:
        return 0;
    case wire::kIoctlPacketList0:
        return 1;
    case wire::kIoctlPacketList1:
        return 2;
    case wire::kIoctlPacketList2:
        return 3;
    case wire::kIoctlPacketList3:
        return 4;
    case wire::kIoctlCounters:
        return 5;
    default:
        return -1;
    }
}

ControlDevice::ControlDevice(IoCompleter& completer) : m_completer(completer) {}

std::optional<IoCompletion> ControlDevice::dispatch(const IoRequest& request) {
    const uint32_t out = request.outputLength;
    auto& ctx = du_context();
    switch (request.code) {
    case wire::kIoctlControl: {
        if (auto bad = check_length(static_cast<uint32_t>(request.input.size()),
                                    wire::kControlMessageSize))
            return bad;
        if (auto bad = check_length(out, wire::kControlReplySize))
            return bad;
        // The data (the play block) travels inline behind the message.
        const uint32_t dataLength = wire::get_u32(request.input.data(), 20);
        if (request.input.size() != wire::kControlMessageSize + uint64_t{dataLength})
            return failed(wire::kStatusInvalidParameter);
        auto reply = du_handleControl(request.input.data(), request.input.size());
        IoCompletion c;
        c.output.assign(reply.begin(), reply.end());
        c.information = out;
        return c;
    }
    case wire::kIoctlStatus:
        if (auto bad = check_length(out, wire::kDriverStatusSize))
            return bad;
        return status_record();
    case wire::kIoctlAdapterCount: {
        if (auto bad = check_length(out, 2))
            return bad;
        IoCompletion c;
        c.systemBuffer.resize(2);
        wire::put_u16(c.systemBuffer.data(), 0, static_cast<uint16_t>(rte_adapter_count()));
        c.information = 2;
        return c;
    }
    case wire::kIoctlAdapterList:
        return adapter_list(out);
    case wire::kIoctlIsEmulating: {
        if (auto bad = check_length(out, 4))
            return bad;
        IoCompletion c;
        c.output.resize(4);
        wire::put_u32(c.output.data(), 0, ctx.view.bypass ? 0 : 1);
        c.information = 4;
        return c;
    }
    case wire::kIoctlPlayBlockLength: {
        if (auto bad = check_length(out, 4))
            return bad;
        IoCompletion c;
        c.systemBuffer.resize(4);
        wire::put_u32(c.systemBuffer.data(), 0, static_cast<uint32_t>(ctx.blockLength));
        c.information = 4;
        return c;
    }
    case wire::kIoctlPlayBlock: {
        const size_t length = ctx.block ? ctx.blockLength : 0;
        if (auto bad = check_length(out, length))
            return bad;
        IoCompletion c;
        if (length > 0)
            c.output.assign(ctx.block->data(), ctx.block->data() + length);
        c.information = static_cast<uint32_t>(length);
        return c;
    }
    default:
        break;
    }

    const int slot = pending_slot_of(request.code);
    if (slot < 0)
        return failed(wire::kStatusInvalidParameter);
    if (slot == 0 && out > 0 && out < 4)
        return failed(wire::kStatusBufferTooSmall); // no room for the time word
    if (slot == 5 && out > 0 && out < wire::kDriverCountersSize)
        return failed(wire::kStatusBufferTooSmall);
    if (out == 0)
        return IoCompletion{}; // no buffer: done at once, nothing written
    return pend(slot, request);
}

std::optional<IoCompletion> ControlDevice::pend(int slot, const IoRequest& request) {
    auto& ctx = du_context();
    // Nothing to wait for: answered at once, and nothing was written.
    if (ctx.view.bypass && m_countdown <= 0)
        return IoCompletion{};

    const int lock = slot == 5 ? kLockCounters : kLockStores;
    rte_lock(lock);
    if (m_countdown >= 1 && --m_countdown == 0)
        du_set_bypass(false);
    Slot older = m_slots[slot];
    m_slots[slot] = Slot{true, request.id, request.outputLength};
    rte_unlock(lock);
    // A slot holds one request: the one it held is answered, empty, not left hanging.
    if (older.used)
        m_completer.complete(older.id, IoCompletion{});
    return std::nullopt;
}

void ControlDevice::discard(IoRequestId id) {
    for (Slot& slot : m_slots)
        if (slot.used && slot.id == id)
            slot = Slot{};
}

void ControlDevice::finish(Slot& slot, IoCompletion completion) {
    const IoRequestId id = slot.id;
    slot = Slot{};
    m_completer.complete(id, std::move(completion));
}

IoCompletion ControlDevice::status_record() const {
    const auto& ctx = du_context();
    wire::DriverStatus status;
    status.protocolVersion = wire::kProtocolVersion;
    status.driverState = m_state;
    status.sequence = ctx.sequence;
    status.capturedWaiting = ctx.capturedCount;
    uint32_t poolFree = 0;
    if (m_receiveFree) {
        poolFree = m_receiveFree();
    } else {
        // Slots can have gaps after an unbind: the first adapter that is bound.
        for (size_t n = 1; n <= rte_adapter_slots_used(); ++n)
            if (const RteAdapter* a = rte_adapter(static_cast<uint16_t>(n))) {
                poolFree = rte_free_descriptors(a, 0);
                break;
            }
    }
    status.packetPoolFree = static_cast<uint16_t>(std::min<uint32_t>(poolFree, 0xFFFF));
    status.residualPoolFree =
        static_cast<uint16_t>(std::min<uint32_t>(rte_alloc_free_blocks(), 0xFFFF));
    status.counters = ctx.counters;
    auto bytes = status.encode();
    IoCompletion c;
    c.output.assign(bytes.begin(), bytes.end());
    c.information = static_cast<uint32_t>(bytes.size());
    return c;
}

IoCompletion ControlDevice::adapter_list(uint32_t outputLength) const {
    std::vector<wire::AdapterListEntry> adapters;
    const size_t count = rte_adapter_count();
    // Slots can have gaps after an unbind: walk every slot ever used, skip the empty ones.
    for (size_t n = 1; n <= rte_adapter_slots_used(); ++n)
        if (const RteAdapter* a = rte_adapter(static_cast<uint16_t>(n)))
            adapters.push_back({static_cast<uint16_t>(n), rte_adapter_name(a)});
    if (outputLength == 0)
        return failed(wire::kStatusInvalidParameter);
    if (outputLength < wire::adapter_list_size(count))
        return failed(wire::kStatusBufferTooSmall);
    IoCompletion c;
    c.output = wire::encode_adapter_list(adapters);
    c.information = static_cast<uint32_t>(c.output.size());
    return c;
}

} // namespace quellin
