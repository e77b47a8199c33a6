#include "quellin_models/Params.h"

namespace quellin::models {

namespace {
uint16_t u16(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}
uint32_t u32(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint32_t>(u16(b, off)) | (static_cast<uint32_t>(u16(b, off + 2)) << 16);
}
uint64_t u64(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint64_t>(u32(b, off)) | (static_cast<uint64_t>(u32(b, off + 4)) << 32);
}
} // namespace

ModelParams decode_model_params(std::span<const uint8_t> b) {
    ModelParams p;
    if (b.size() < kPlayBlockFixedSize)
        return p;

    p.delay = {u16(b, 48), u16(b, 50), u16(b, 52), u16(b, 54), u16(b, 56), u16(b, 58)};
    p.loss.type = static_cast<int16_t>(u16(b, 84));
    p.loss.every = u16(b, 86);
    p.loss.randomly = u16(b, 88);
    p.loss.burstChance = u16(b, 90);
    p.loss.burstMin = u16(b, 92);
    p.loss.burstMax = u16(b, 94);
    p.loss.gilbertGood = u16(b, 96);
    p.loss.gilbertBad = u16(b, 98);
    p.loss.gilbertToGood = u16(b, 100);
    p.loss.gilbertToBad = u16(b, 102);

    const uint16_t count = u16(b, 104);
    const size_t tailBytes = static_cast<size_t>(count) * 4;
    if (count != 0 && b.size() - kPlayBlockFixedSize >= tailBytes) {
        p.series.count = count;
        p.series.interval = u16(b, 106);
        p.series.tail = b.subspan(kPlayBlockFixedSize, tailBytes);
    }

    for (int g = 0; g < 2; ++g) {
        p.bucket[g].sizeKb = u16(b, 76 + 2 * g);
        p.bucket[g].mode = u16(b, 108 + 2 * g);
        p.bucket[g].redMinKb = u32(b, 156 + 4 * g);
        p.bucket[g].redMaxKb = u32(b, 164 + 4 * g);
    }

    p.duplication = {u16(b, 118), u16(b, 120), u16(b, 122)};
    p.bitError = {u64(b, 128), u16(b, 136), u16(b, 138)};
    p.disconnect = {u16(b, 144), u16(b, 146), u16(b, 148)};
    p.fragmentation = {u16(b, 150), u16(b, 152), u16(b, 154)};
    p.congestion.period = {u16(b, 3260), u16(b, 3266), u16(b, 3268)};
    p.congestion.peakRandomError = u16(b, 3262);
    p.congestion.constantDelay = u16(b, 3264);
    return p;
}

} // namespace quellin::models
