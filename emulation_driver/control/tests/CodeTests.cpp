#include "ControlFixture.h"

#include "quellin_wire/Records.h"

using namespace quellin;
using namespace quellin::test;

namespace {
IoCompletion run(ControlDevice& device, uint32_t code, uint32_t out,
                 std::span<const uint8_t> input = {}) {
    auto c = device.dispatch({1, code, input, out});
    EXPECT_TRUE(c.has_value());
    return c ? *c : IoCompletion{};
}
} // namespace

TEST_F(ControlTest, ControlMessagesCheckEveryLength) {
    auto m = message(1);
    EXPECT_EQ(run(device, wire::kIoctlControl, 14, {}).status, wire::kStatusInvalidParameter);
    EXPECT_EQ(run(device, wire::kIoctlControl, 14, std::span(m).first(31)).status,
              wire::kStatusBufferTooSmall);
    EXPECT_EQ(run(device, wire::kIoctlControl, 0, m).status, wire::kStatusInvalidParameter);
    EXPECT_EQ(run(device, wire::kIoctlControl, 13, m).status, wire::kStatusBufferTooSmall);
    EXPECT_FALSE(device.session_open()); // none of these ran the command

    // The data must follow the message whole: 32 + data length, no more, no less.
    auto load = message(3, 6, 1, block_bytes());
    EXPECT_EQ(run(device, wire::kIoctlControl, 14, std::span(load).first(load.size() - 1)).status,
              wire::kStatusInvalidParameter);
    auto longer = load;
    longer.push_back(0);
    EXPECT_EQ(run(device, wire::kIoctlControl, 14, longer).status, wire::kStatusInvalidParameter);
    EXPECT_EQ(device.state(), 2);

    IoCompletion ok = run(device, wire::kIoctlControl, 20, m);
    EXPECT_EQ(ok.status, wire::kStatusSuccess);
    EXPECT_EQ(ok.information, 20u); // the output length given
    EXPECT_EQ(ok.output.size(), 14u);
}

TEST_F(ControlTest, StatusRecordAndSmallReadings) {
    command(1);
    load();
    IoCompletion status = run(device, wire::kIoctlStatus, 92);
    ASSERT_EQ(status.information, 92u);
    auto s = wire::DriverStatus::decode(status.output.data(), status.output.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->protocolVersion, 6);
    EXPECT_EQ(s->driverState, 3);
    EXPECT_EQ(s->packetPoolFree, 64);
    EXPECT_EQ(run(device, wire::kIoctlStatus, 91).status, wire::kStatusBufferTooSmall);
    EXPECT_EQ(run(device, wire::kIoctlStatus, 0).status, wire::kStatusInvalidParameter);

    IoCompletion count = run(device, wire::kIoctlAdapterCount, 2);
    EXPECT_EQ(count.information, 2u);
    EXPECT_EQ(count.systemBuffer, (std::vector<uint8_t>{1, 0}));

    IoCompletion emulating = run(device, wire::kIoctlIsEmulating, 4);
    EXPECT_EQ(wire::get_u32(emulating.output.data(), 0), 0u);

    IoCompletion length = run(device, wire::kIoctlPlayBlockLength, 4);
    EXPECT_EQ(length.information, 4u);
    EXPECT_EQ(wire::get_u32(length.systemBuffer.data(), 0), block.size());
    EXPECT_EQ(run(device, wire::kIoctlPlayBlockLength, 3).status, wire::kStatusBufferTooSmall);
    EXPECT_EQ(run(device, wire::kIoctlPlayBlockLength, 0).status, wire::kStatusInvalidParameter);

    const uint32_t size = static_cast<uint32_t>(block.size());
    IoCompletion copy = run(device, wire::kIoctlPlayBlock, size + 10);
    EXPECT_EQ(copy.information, size);
    EXPECT_EQ(copy.output, block_bytes());
    EXPECT_EQ(run(device, wire::kIoctlPlayBlock, size - 1).status, wire::kStatusBufferTooSmall);

    command(6);
    for (uint32_t code = wire::kIoctlCapturedPackets; code <= wire::kIoctlCounters; code += 4)
        device.dispatch({2, code, {}, 76});
    emulating = run(device, wire::kIoctlIsEmulating, 4);
    EXPECT_EQ(wire::get_u32(emulating.output.data(), 0), 1u);

    for (uint32_t code : {0x220002u, 0x220026u, 0x22003Eu, 0x230006u})
        EXPECT_EQ(run(device, code, 100).status, wire::kStatusInvalidParameter) << code;
}

TEST_F(ControlTest, AdapterListFitsExactlyOrFails) {
    rte_bind_adapter(std::string(200, 'n').c_str());
    const uint32_t exact = 2 * 130 + 2;
    IoCompletion list = run(device, wire::kIoctlAdapterList, exact);
    ASSERT_EQ(list.status, wire::kStatusSuccess);
    EXPECT_EQ(list.information, exact);
    auto entries = wire::decode_adapter_list(list.output.data(), list.output.size());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].number, 1);
    EXPECT_EQ((*entries)[0].name, "tap0");
    EXPECT_EQ((*entries)[1].number, 2);
    EXPECT_EQ((*entries)[1].name, std::string(127, 'n'));

    EXPECT_EQ(run(device, wire::kIoctlAdapterList, exact - 1).status, wire::kStatusBufferTooSmall);
    EXPECT_EQ(run(device, wire::kIoctlAdapterList, 0).status, wire::kStatusInvalidParameter);
    IoCompletion roomy = run(device, wire::kIoctlAdapterList, 5000);
    EXPECT_EQ(roomy.information, exact); // only the bound adapters are written
}

TEST_F(ControlTest, AdapterListAndStatusSkipTheGapOfAnUnboundSlot) {
    ASSERT_TRUE(rte_bind_adapter("tap1"));
    ASSERT_TRUE(rte_unbind_adapter(adapter)); // slot 1 empty, slot 2 bound
    adapter = nullptr;
    const uint32_t exact = 130 + 2;
    IoCompletion list = run(device, wire::kIoctlAdapterList, exact);
    ASSERT_EQ(list.status, wire::kStatusSuccess);
    auto entries = wire::decode_adapter_list(list.output.data(), list.output.size());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].number, 2);
    EXPECT_EQ((*entries)[0].name, "tap1");

    IoCompletion status = run(device, wire::kIoctlStatus, 92);
    auto s = wire::DriverStatus::decode(status.output.data(), status.output.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->packetPoolFree, 64);
    device.set_receive_free_source([] { return 17u; });
    status = run(device, wire::kIoctlStatus, 92);
    s = wire::DriverStatus::decode(status.output.data(), status.output.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->packetPoolFree, 17);
}
