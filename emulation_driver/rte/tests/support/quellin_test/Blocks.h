// Play blocks for the driver's tests.
#pragma once

#include "quellin_wire/DriverPlayBlock.h"

#include <cstdint>

namespace quellin::test {

// A block for adapter 1 at `address` (host order) whose links and buckets are all
// unlimited: it passes packets on untouched until a test sets more.
inline wire::DriverPlayBlock open_block(uint32_t address) {
    wire::DriverPlayBlock block;
    block.setAdapterNumber(1);
    block.setAdapterAddress(address);
    block.setEastOut(wire::pb::kUnlimitedBandwidth);
    block.setEastIn(wire::pb::kUnlimitedBandwidth);
    block.setWestOut(wire::pb::kUnlimitedBandwidth);
    block.setWestIn(wire::pb::kUnlimitedBandwidth);
    block.setEastBucketSize(wire::pb::kUnlimitedBucket);
    block.setWestBucketSize(wire::pb::kUnlimitedBucket);
    return block;
}

} // namespace quellin::test
