// Play blocks as the daemon's load command receives them: any bytes, any length, any
// checksum, then the block loaded (when the check lets it) and played with ordinary
// traffic in both directions. The harness checks the pools at the end.
#include "common/EngineHarness.h"

#include "AltirenPlayCheck/PlayBlockCheck.h"

using namespace quellin;

namespace {

// Ordinary traffic: UDP over IPv4 and IPv6 in both directions, a few sizes.
void Traffic(fuzz::EngineHarness& engine) {
    // Shapes of BuildFrame: an IPv4 header of its own, then an IPv6 packet behind
    // Ethernet; addresses and lengths set right, checksums too.
    static const uint8_t kShapes[] = {0x7C, 0x7D, 0x74, 0x75};
    static const uint16_t kSizes[] = {28, 100, 576, 1480};
    for (uint16_t size : kSizes)
        for (uint8_t shape : kShapes) {
            std::vector<uint8_t> description = {shape, static_cast<uint8_t>(size),
                                                static_cast<uint8_t>(size >> 8)};
            description.resize(description.size() + size, 0);
            if ((shape & 0x0E) == 0x04) { // the IPv6 header: version, next header, hops
                description[3] = 0x60;
                description[3 + 6] = 17;
                description[3 + 7] = 64;
            }
            fuzz::Input in(description.data(), description.size());
            int direction = 0;
            const auto frame = fuzz::BuildFrame(in, direction);
            engine.Send(direction, frame);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.u8();
    const uint16_t given = in.u16();
    const uint32_t seed = in.u32();
    const auto block = in.rest();
    const uint8_t* bytes = block.empty() ? nullptr : block.data();

    const uint16_t sum = (mode & 1) ? wire::internet_checksum(bytes, block.size()) : given;
    const uint16_t checked = wire::check_play_block(bytes, block.size(), sum);
    if (checked != 0 && checked != 1 && checked != 6)
        fuzz::Fail("the load check gave a result of its own");

    // A block whose header passes is still refused (6) when a field of it is one the
    // control library would never build.
    const bool fieldsRefused = altiren_api::check_play_block_fields(
                                   wire::DriverPlayBlock::from_bytes(bytes, block.size())) != 0;
    const uint16_t expected = checked != 0 ? checked : (fieldsRefused ? 6 : 0);

    fuzz::EngineHarness engine(seed);
    const uint16_t loaded = du_load_play_block(bytes, block.size(), sum);
    if (loaded != expected)
        fuzz::Fail("the load took a block the checks refused, or refused one they passed");
    du_play();
    du_set_bypass(false);
    Traffic(engine);
    engine.Advance(2500);
    Traffic(engine);
    engine.Advance(mode & 2 ? 65000 : 500);
    // 32 packets in: at most 20 copies each, each cut into fragments of at least 8 bytes
    // of a 1480-byte payload, and their ICMP answers. Anything beyond is unbounded work.
    constexpr size_t kMostFramesOut = 32 * 21 * 190;
    if (engine.sink().sent > kMostFramesOut)
        fuzz::Fail("a handful of packets made more frames than any block allows");
    return 0;
}
