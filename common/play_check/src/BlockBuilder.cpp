#include "AltirenPlayCheck/BlockBuilder.h"

#include <cstring>

namespace altiren_api {

quellin::wire::DriverPlayBlock build_play_block(const PlayBlockValues& v) {
    const bool withTail = v.sampleCount != 0 && v.delaySamples.size() == v.sampleCount &&
                          v.lossSamples.size() == v.sampleCount;
    quellin::wire::DriverPlayBlock b(withTail ? v.sampleCount : 0);

    b.setAdapterNumber(v.adapterNumber);
    b.setAdapterAddress(v.adapterAddress);
    b.setAdapterIpv6(v.adapterIpv6);
    b.setAdapterName(
        std::string(v.adapterName.data(), strnlen(v.adapterName.data(), v.adapterName.size())));

    b.setDelayType(v.delayType);
    b.setMinDelay(v.minDelay);
    b.setMaxDelay(v.maxDelay);
    b.setDelayJitter(v.delayJitter);
    b.setMaxDelayDiff(v.maxDelayDiff);
    b.setTimeSpanSec(v.timeSpanSec);

    b.setEastOut(v.eastOut);
    b.setEastIn(v.eastIn);
    b.setWestOut(v.westOut);
    b.setWestIn(v.westIn);
    b.setEastBucketSize(v.eastBucketSize);
    b.setWestBucketSize(v.westBucketSize);
    b.setEastOverhead(v.eastOverhead);
    b.setWestOverhead(v.westOverhead);
    b.setEastBucketMode(v.eastBucketMode);
    b.setWestBucketMode(v.westBucketMode);
    b.setEastMinBucketThreshold(v.eastRedMin);
    b.setWestMinBucketThreshold(v.westRedMin);
    b.setEastMaxBucketThreshold(v.eastRedMax);
    b.setWestMaxBucketThreshold(v.westRedMax);

    b.setLossType(v.lossType);
    b.setLossEvery(v.lossEvery);
    b.setLossRandomly(v.lossRandomly);
    b.setBurstChance(v.burstChance);
    b.setBurstMin(v.burstMin);
    b.setBurstMax(v.burstMax);
    b.setGilbertGood(v.gilbertGood);
    b.setGilbertBad(v.gilbertBad);
    b.setGilbertToGood(v.gilbertToGood);
    b.setGilbertToBad(v.gilbertToBad);

    b.setOutOfOrderChance(v.outOfOrderChance);
    b.setOutOfOrderMinRange(v.outOfOrderMinRange);
    b.setOutOfOrderMaxRange(v.outOfOrderMaxRange);
    b.setDuplicationChance(v.duplicationChance);
    b.setDuplicationMinBurst(v.duplicationMinBurst);
    b.setDuplicationMaxBurst(v.duplicationMaxBurst);
    b.setBitErrorChance(v.bitErrorChance);
    b.setBitErrorMinBurst(v.bitErrorMinBurst);
    b.setBitErrorMaxBurst(v.bitErrorMaxBurst);
    b.setDisconnectTimeChance(v.disconnectChance);
    b.setDisconnectMinTime(v.disconnectMinTime);
    b.setDisconnectMaxTime(v.disconnectMaxTime);
    b.setFragmentationChance(v.fragmentationChance);
    b.setMaxTransmitionUnit(v.fragmentMtu);
    b.setFragmentationOrder(v.fragmentOrder);

    b.setCongestionTimeChance(v.congestionChance);
    b.setPeakRandomError(v.congestionPeakError);
    b.setConstantDelay(v.congestionConstantDelay);
    b.setCongestionMinDuration(v.congestionMinDuration);
    b.setCongestionMaxDuration(v.congestionMaxDuration);

    b.setFilterMarker(quellin::wire::pb::kFilterMarkerValue);
    b.setFilterSize(quellin::wire::pb::kFilterSizeValue);
    b.setFilterMode(v.filterMode);
    b.setFilterCount(v.filterCount);
    for (size_t i = 0; i < v.filters.size() && i < v.filterCount; ++i) {
        const FilterEntryValues& f = v.filters[i];
        b.setFilterEntry(i, {f.firstAddress, f.lastAddress, f.firstPort, f.lastPort});
    }

    if (withTail) {
        b.setSampleCount(v.sampleCount);
        b.setSampleInterval(v.sampleInterval);
        for (size_t i = 0; i < v.sampleCount; ++i) {
            b.setDelaySample(i, static_cast<int16_t>(v.delaySamples[i]));
            b.setLossSample(i, static_cast<int16_t>(v.lossSamples[i]));
        }
    }
    return b;
}

} // namespace altiren_api
