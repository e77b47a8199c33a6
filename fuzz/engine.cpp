// The engine with a loaded play block and hostile frames: cut and lying IPv4 and IPv6
// headers, options, extension headers and fragments, with the block's loss, delay,
// buckets, reordering, duplication, bit errors, fragmentation (tiny MTUs too),
// disconnects and congestion as the input sets them, time passing between frames, and a
// stop and new play now and then. The harness checks the pools at the end.
#include "common/EngineHarness.h"

using namespace quellin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    fuzz::EngineHarness engine(in.u32());
    const uint16_t samples = in.u8() % 33;
    auto block = fuzz::OpenBlock(samples);
    fuzz::WriteBlockFields(in, block);
    const auto tail = in.bytes(size_t{samples} * 4);
    std::copy(tail.begin(), tail.end(), block.data() + wire::pb::kTail);
    du_load_play_block(block.data(), block.size(),
                       wire::internet_checksum(block.data(), block.size()));
    du_play();
    du_set_bypass(false);

    for (unsigned step = 0; step < 256 && !in.empty(); ++step) {
        switch (in.u8() % 8) {
        case 5:
            engine.Advance(in.u16() % 4000);
            break;
        case 6:
            engine.device().du_send_stats_packets();
            engine.device().du_send_sim_queue_stats();
            break;
        case 7: // stopped and played again, as the control commands do
            du_stop();
            du_play();
            du_set_bypass(false);
            break;
        default: {
            int direction = 0;
            const auto frame = fuzz::BuildFrame(in, direction);
            engine.Send(direction, frame);
            break;
        }
        }
    }
    engine.Advance(3000);
    return 0;
}
