// Conversion of a scenario document into play parameters, one group at a time.
#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/WstScenario.h"

#include "ScenarioTrace.h"
#include "TextNumbers.h"

#include <Fendrel/SDataBlockParser.h>
#include <Fendrel/SEndPointParser.h>
#include <Fendrel/SGatewayParser.h>
#include <Fendrel/STopovelDocumentParser.h>
#include <Fendrel/SWanNuvexParser.h>
#include <NuvexTopovelValidator/RecordedScale.h>

#include <arpa/inet.h>

#include <memory>
#include <vector>

namespace {

std::string Str(SHString& s) {
    const char* p = s.GetString();
    return p ? std::string(p) : std::string();
}

// Entry record now, exit record when the method succeeds.
class Method {
public:
    explicit Method(const char* name) : m_name(name) {
        CONVERSION_TRACE(1, "Entered Method", m_name);
    }
    int Done(int rc) const {
        CONVERSION_TRACE(1, "Exited Method", m_name);
        return rc;
    }
    void Error(const char* text) const { CONVERSION_TRACE(3, text, m_name); }

private:
    const char* m_name;
};

using textnum::CutToU16;
using textnum::TextCutToU16;
using textnum::ToDouble;
using textnum::ToU16;
using textnum::ToU32;
using textnum::ToU64;

} // namespace

int CScenarioConverter::TopovexConvertLatency(CSWanNuvexParser* wan, PlayParameters* p,
                                              std::string& playbackMode, uint16_t& latencyScale) {
    Method m("TopovexConvertLatency");
    if (!wan || !p)
        return 0;
    SHString kind;
    if (wan->GetLatencyType(kind) != NX_SUCCESS)
        return 0;
    const std::string k = Str(kind);
    uint16_t minDelay = 0, maxDelay = 0, jitter = 0, diff = 0, span = 0;
    if (k == "FIXED_LATENCY") {
        SHString v;
        if (wan->GetFixedLatency(v) != NX_SUCCESS || !ToU16(Str(v), minDelay))
            return 0;
        p->latencyType = 0;
        p->minDelay = p->maxDelay = minDelay;
        p->jitter = 0;
        p->maxDelayDiff = 65535;
    } else if (k == "NORMAL_LATENCY") {
        SHString avg, sd;
        if (wan->GetNormalLatency(avg, sd) != NX_SUCCESS || !ToU16(Str(avg), minDelay) ||
            !ToU16(Str(sd), jitter))
            return 0;
        p->latencyType = 1;
        p->minDelay = p->maxDelay = minDelay;
        p->jitter = jitter;
        p->maxDelayDiff = 65535;
    } else if (k == "UNIFORM_LATENCY") {
        SHString lo, hi, limit, limitValue;
        if (wan->GetUniformLatency(lo, hi, limit, limitValue) != NX_SUCCESS ||
            !ToU16(Str(lo), minDelay) || !ToU16(Str(hi), maxDelay))
            return 0;
        if (Str(limit) == "yes" && !ToU16(Str(limitValue), diff))
            return 0;
        p->latencyType = 2;
        p->minDelay = minDelay;
        p->maxDelay = maxDelay;
        p->jitter = 0;
        p->maxDelayDiff = diff;
    } else if (k == "LINEAR_LATENCY") {
        SHString lo, hi, duration;
        if (wan->GetLinearLatency(lo, hi, duration) != NX_SUCCESS || !ToU16(Str(lo), minDelay) ||
            !ToU16(Str(hi), maxDelay) || !ToU16(Str(duration), span))
            return 0;
        p->latencyType = 4;
        p->minDelay = minDelay;
        p->maxDelay = maxDelay;
        p->timeSpan = span;
    } else if (k == "RECORDED_LATENCY") {
        SHString block, mode, scale;
        uint16_t factor = 0;
        if (wan->GetRecordedLatency(block, mode, scale) != NX_SUCCESS || !ToU16(Str(scale), factor))
            return 0;
        p->latencyType = 3;
        p->minDelay = p->maxDelay = p->jitter = p->maxDelayDiff = 0;
        playbackMode = Str(mode);
        latencyScale = factor;
    } else {
        return 0;
    }
    return m.Done(1);
}

int CScenarioConverter::TopovexConvertLoss(CSWanNuvexParser* wan, PlayParameters* p,
                                           uint16_t& lossScale, uint8_t& recordedLoss) {
    Method m("TopovexConvertLoss");
    if (!wan || !p)
        return 0;
    recordedLoss = 0;
    SHString kind;
    if (wan->GetPacketLossType(kind) != NX_SUCCESS) {
        p->lossType = 0;
        return m.Done(1);
    }
    const std::string k = Str(kind);
    if (k == "PERIODIC_LOSS") {
        SHString count;
        uint16_t period = 0;
        if (wan->GetPeriodicPacketLoss(count) != NX_SUCCESS || !TextCutToU16(Str(count), period))
            return 0;
        p->lossType = 1;
        p->lossPeriod = period;
    } else if (k == "RANDOM_LOSS") {
        SHString chance;
        double v = 0;
        if (wan->GetRandomPacketLoss(chance) != NX_SUCCESS || !ToDouble(Str(chance), v))
            return 0;
        p->lossType = 2;
        p->randomLoss = v;
    } else if (k == "BURST_LOSS") {
        SHString chance, lo, hi;
        double v = 0;
        uint16_t bmin = 0, bmax = 0;
        if (wan->GetBurstPacketLoss(chance, lo, hi) != NX_SUCCESS || !ToDouble(Str(chance), v) ||
            !TextCutToU16(Str(lo), bmin) || !TextCutToU16(Str(hi), bmax))
            return 0;
        p->lossType = 3;
        p->burstChance = v;
        p->burstMin = bmin;
        p->burstMax = bmax;
    } else if (k == "GILBERT_ELLIOT_LOSS") {
        SHString toBad, good, toGood, bad;
        double vToBad = 0, vGood = 0, vToGood = 0, vBad = 0;
        if (wan->GetGilbertElliotLoss(toBad, good, toGood, bad) != NX_SUCCESS ||
            !ToDouble(Str(toBad), vToBad) || !ToDouble(Str(good), vGood) ||
            !ToDouble(Str(toGood), vToGood) || !ToDouble(Str(bad), vBad))
            return 0;
        p->lossType = 5;
        p->gilbertGoodLoss = vGood;
        p->gilbertBadLoss = vBad;
        p->gilbertToGood = vToGood;
        p->gilbertToBad = vToBad;
    } else if (k == "RECORDED_LOSS") {
        SHString scale;
        uint16_t factor = 0;
        if (wan->GetRecordedPacketLoss(scale) != NX_SUCCESS || !ToU16(Str(scale), factor))
            return 0;
        p->lossType = 4;
        lossScale = factor;
        recordedLoss = 1;
    } else {
        p->lossType = 0;
    }
    return m.Done(1);
}

int CScenarioConverter::TopovexConvertEffects(CSWanNuvexParser* wan, PlayParameters* p) {
    Method m("TopovexConvertEffects");
    if (!wan || !p)
        return 0;
    SHString a, b, c, d, e;
    if (wan->GetBitError(a, b, c) == NX_SUCCESS) {
        if (!ToU64(Str(a), p->bitErrorChance) || !ToU16(Str(b), p->bitErrorMinBurst) ||
            !ToU16(Str(c), p->bitErrorMaxBurst))
            return 0;
    }
    if (wan->GetDisconnect(a, b, c) == NX_SUCCESS) {
        if (!ToU16(Str(a), p->disconnectChance) || !ToU16(Str(b), p->disconnectMinTime) ||
            !ToU16(Str(c), p->disconnectMaxTime))
            return 0;
    }
    if (wan->GetDuplicatePackets(a, b, c) == NX_SUCCESS) {
        if (!ToU16(Str(a), p->duplicationChance) || !ToU16(Str(b), p->duplicationMinBurst) ||
            !ToU16(Str(c), p->duplicationMaxBurst))
            return 0;
    }
    if (wan->GetOutOfOrder(a, b, c) == NX_SUCCESS) {
        if (!ToU16(Str(a), p->outOfOrderChance) || !ToU16(Str(b), p->outOfOrderMinRange) ||
            !ToU16(Str(c), p->outOfOrderMaxRange))
            return 0;
    }
    if (wan->GetFragmentation(a, b, c) == NX_SUCCESS) {
        if (!ToU16(Str(a), p->fragmentationChance) || !ToU16(Str(b), p->fragmentSize))
            return 0;
        const std::string behaviour = Str(c);
        if (behaviour == "IGNORE_DF_BIT")
            p->fragmentOrder = 1;
        else if (behaviour == "SEND_ICMP_ERROR")
            p->fragmentOrder = 2;
        else if (behaviour == "DONT_SEND_ICMP_ERROR")
            p->fragmentOrder = 3;
    }
    if (wan->GetCongestion(a, b, c, d, e) == NX_SUCCESS) {
        if (!ToU16(Str(a), p->congestionChance) || !ToU16(Str(b), p->congestionMinDuration) ||
            !ToU16(Str(c), p->congestionMaxDuration) || !ToU16(Str(d), p->congestionConstantDelay))
            return 0;
        // The loss chance read as a whole number, kept as a double.
        p->congestionPeakError = static_cast<double>(textnum::Whole(Str(e)));
    }
    return m.Done(1);
}

int CScenarioConverter::TopovexConvertGateway(CSGatewayParser* gw, PlayParameters* p,
                                              uint32_t side) {
    Method m("TopovexConvertGateway");
    if (!gw || !p)
        return 0;
    SHString id[2], name[2], bandwidth[2], overhead[2], inUtil[2], outUtil[2];
    for (int i = 0; i < 2; ++i)
        if (gw->GetNIC(i, id[i], name[i], bandwidth[i], overhead[i], inUtil[i], outUtil[i]) !=
            NX_SUCCESS)
            return 0;
    double bw[2];
    uint16_t pct[2];
    for (int i = 0; i < 2; ++i) {
        if (!ToDouble(Str(bandwidth[i]), bw[i]) || !ToU16(Str(inUtil[i]), pct[i]))
            return 0;
        if (bw[i] == 0)
            bw[i] = NUVEX_UNLIMITED_BANDWIDTH;
    }
    uint16_t extra = 0;
    if (!ToU16(Str(overhead[0]), extra))
        return 0;

    uint16_t bucketSize = 65535, bucketMode = 1;
    uint32_t redMin = 0, redMax = 0;
    const std::string nic0 = Str(id[0]);
    SHString size, mode;
    if (gw->GetInOutQueue(nic0.c_str(), size, mode, true) == NX_SUCCESS) {
        if (!ToU16(Str(size), bucketSize))
            return 0;
        bucketMode = Str(mode) == "packet" ? 1 : 0;
        SHString policy, lo, hi;
        if (gw->GetQueuePolicy(nic0.c_str(), true, policy, lo, hi) == NX_SUCCESS &&
            Str(policy) == "Q_POLICY_RED") {
            if (!ToU32(Str(lo), redMin) || !ToU32(Str(hi), redMax))
                return 0;
        }
    }
    if (side) {
        p->eastOutBandwidth = bw[0];
        p->eastInBandwidth = bw[1];
        p->eastOutPercentage = pct[0];
        p->eastInPercentage = pct[1];
        if (extra)
            p->eastOverhead = extra;
        p->eastBucketSize = bucketSize;
        p->eastBucketMode = bucketMode;
        p->eastRedMinThreshold = redMin;
        p->eastRedMaxThreshold = redMax;
    } else {
        p->westInBandwidth = bw[0];
        p->westOutBandwidth = bw[1];
        p->westInPercentage = pct[0];
        p->westOutPercentage = pct[1];
        if (extra)
            p->westOverhead = extra;
        p->westBucketSize = bucketSize;
        p->westBucketMode = bucketMode;
        p->westRedMinThreshold = redMin;
        p->westRedMaxThreshold = redMax;
    }
    return m.Done(1);
}

int CScenarioConverter::TopovexConvertIncludeExcludeIP(CSEndPointParser* ep, PlayParameters* p) {
    Method m("TopovexConvertIncludeExcludeIP");
    if (!ep || !p)
        return 0;
    unsigned include = 0, exclude = 0;
    if (ep->GetIncludeIPRangeCount(include) != NX_SUCCESS)
        include = 0;
    if (ep->GetExcludeIPRangeCount(exclude) != NX_SUCCESS)
        exclude = 0;
    const bool useInclude = include != 0;
    const unsigned count = useInclude ? include : exclude;
    if (count == 0)
        return m.Done(1);
    if (count > NUVEX_MAX_FILTERS)
        return 0;
    uint32_t addresses[NUVEX_MAX_FILTERS] = {};
    for (unsigned i = 0; i < count; ++i) {
        SHString from, to;
        unsigned short protocol = 0, port = 0;
        const NX_RC rc = useInclude ? ep->GetIncludeIPRange(i, from, to, protocol, port)
                                    : ep->GetExcludeIPRange(i, from, to, protocol, port);
        if (rc != NX_SUCCESS)
            return 0;
        addresses[i] = inet_addr(Str(from).c_str());
    }
    p->filterMode = useInclude ? 1 : 0;
    p->filterCount = count;
    for (unsigned i = 0; i < count; ++i)
        p->filterAddresses[i] = addresses[i];
    return m.Done(1);
}

int CScenarioConverter::TopovexConvertImportedData(CSTopovelDocParser* doc, PlayParameters* p,
                                                   uint16_t latencyScale, uint16_t lossScale,
                                                   uint8_t recordedLoss,
                                                   const std::string& dtdFolder) {
    Method m("TopovexConvertImportedData");
    if (!doc || !p)
        return 0;
    // The block plays only what the WAN section records: a recorded latency (the latency
    // converter left type 3) or a recorded loss. The document's own values play otherwise.
    const bool recordedLatency = p->latencyType == 3;
    if (!recordedLatency && !recordedLoss)
        return m.Done(1);
    // Beside a recorded loss the series also carries the delay: a fixed latency is every
    // sample; another kind has no series that plays it.
    if (!recordedLatency && p->latencyType != 0) {
        m.Error("A recorded loss plays with a fixed or a recorded latency only");
        return 0;
    }
    SHString blockXml;
    if (doc->GetDataBlockXML(0u, blockXml) != NX_SUCCESS)
        return m.Done(1);
    CSDataBlockParser block;
    if (!dtdFolder.empty())
        block.SetTopovelDtdPath(dtdFolder.c_str());
    if (block.Parse(Str(blockXml).c_str(), true) != NX_SUCCESS)
        return 0;
    unsigned count = 0;
    if (block.GetSamplesCount(count) != NX_SUCCESS)
        return 0;
    if (count == 0)
        return m.Done(1);
    // The record's sample count is 16 bits wide.
    if (count > 0xFFFF)
        return 0;
    SHString intervalText;
    uint16_t interval = 0;
    if (block.GetSamplesInterval(intervalText) != NX_SUCCESS || !ToU16(Str(intervalText), interval))
        return 0;
    unsigned length = 0;
    if (block.GetSampleIntervalLength(length) == NX_SUCCESS && length > 900)
        return 0;

    std::vector<int> latency(count, 0);
    if (block.GetSampleLatencyArray(count, latency.data()) != NX_SUCCESS)
        return 0;
    std::unique_ptr<uint32_t[]> delay(new (std::nothrow) uint32_t[count]);
    if (!delay)
        return 0;
    const float latencyFactor = recorded_scale::Factor(latencyScale);
    for (unsigned i = 0; i < count; ++i) {
        if (!recordedLatency) {
            delay[i] = p->minDelay;
            continue;
        }
        const double v = recorded_scale::ScaledLatency(latency[i], latencyFactor);
        // Negative samples give 0; a product beyond 32 bits keeps the largest value.
        delay[i] = v <= 0 ? 0u : v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    }

    std::unique_ptr<uint32_t[]> loss;
    if (recordedLoss) {
        std::vector<float> samples(count, 0.0f);
        SHString first;
        // A block without loss samples has none to copy, like one whose array fails.
        if (block.GetSampleLoss(0, first) == NX_SUCCESS &&
            block.GetSampleLossArray(count, samples.data()) == NX_SUCCESS) {
            loss.reset(new (std::nothrow) uint32_t[count]);
            if (!loss)
                return 0;
            const float factor = recorded_scale::Factor(lossScale);
            for (unsigned i = 0; i < count; ++i) {
                const double v = recorded_scale::ScaledLoss(samples[i], factor);
                loss[i] = !(v > 0) ? 0u : v > 10000.0 ? 10000u : static_cast<uint32_t>(v);
            }
        }
    }

    p->sampleCount = static_cast<uint16_t>(count);
    p->sampleInterval = interval;
    // The new series replace the old ones as a set: their lengths are the new count.
    FreePlaySamples(*p);
    p->delaySamples = delay.release();
    if (loss) {
        p->lossType = 4;
        p->lossSamples = loss.release();
    }
    return m.Done(1);
}

int CScenarioConverter::ConvertTopovelToNuvexPlayParams(const std::string& xml, PlayParameters* p,
                                                        const std::string& dtdFolder) {
    Method m("ConvertTopovelToNuvexPlayParams");
    std::string playbackMode;
    uint16_t latencyScale = 0, lossScale = 0;
    uint8_t recordedLoss = 0;
    if (xml.empty() || !p)
        return 0;
    ClearAndDefault(p);

    CSTopovelDocParser doc;
    if (!dtdFolder.empty())
        doc.SetTopovelDtdPath(dtdFolder.c_str());
    if (doc.Parse(xml.c_str(), false) != NX_SUCCESS)
        return 0;
    unsigned count = 0;
    if (doc.GetNetObjectsCount(count) != NX_SUCCESS) {
        m.Error("GetNetObjectsCount Failure");
        return 1008;
    }
    for (unsigned i = 0; i < count; ++i) {
        SHString text, tag;
        if (doc.GetNetObjectXML(i, text, tag) != NX_SUCCESS) {
            m.Error("GetNetObjectXML Failure");
            return 0;
        }
        const std::string kind = Str(tag);
        if (kind == "WAN_NUVEX") {
            CSWanNuvexParser wan;
            if (wan.Parse(Str(text).c_str(), false) != NX_SUCCESS)
                return 0;
            if (TopovexConvertLatency(&wan, p, playbackMode, latencyScale) != 1 ||
                TopovexConvertLoss(&wan, p, lossScale, recordedLoss) != 1 ||
                TopovexConvertEffects(&wan, p) != 1)
                return 0;
        } else if (kind == "GATEWAY") {
            CSGatewayParser gw;
            SHString id;
            if (gw.Parse(Str(text).c_str(), false) != NX_SUCCESS || gw.GetID(id) != NX_SUCCESS)
                return 0;
            const std::string gwId = Str(id);
            // A gateway without one of the normal form's ids has no side and is skipped.
            if (gwId != "ID_CLIENT_GW" && gwId != "ID_SERVER_GW")
                continue;
            if (TopovexConvertGateway(&gw, p, gwId == "ID_CLIENT_GW" ? 1 : 0) != 1)
                return 0;
        } else if (kind == "ENDPOINT") {
            CSEndPointParser ep;
            SHString id;
            if (ep.Parse(Str(text).c_str(), false) != NX_SUCCESS || ep.GetID(id) != NX_SUCCESS)
                return 0;
            if (Str(id) == "ID_SERVER" && TopovexConvertIncludeExcludeIP(&ep, p) == 0)
                return 0;
        }
    }
    if (playbackMode == "SEQUENTIAL")
        p->recordedKind = 1;
    else if (playbackMode == "RANDOM")
        p->recordedKind = 2;
    if (TopovexConvertImportedData(&doc, p, latencyScale, lossScale, recordedLoss, dtdFolder) != 1)
        return 0;
    return m.Done(1);
}

bool CScenarioConverter::ConvertImportedScenario(int sourceKind, const CWSTScenario& recording,
                                                 const std::string& document,
                                                 PlayParameters* params,
                                                 const std::string& dtdFolder) {
    int rc = 0;
    if (sourceKind == 0)
        rc = ConvertWSTToNuvexPlayParams(recording, params);
    else if (sourceKind == 1)
        rc = ConvertTopovelToNuvexPlayParams(document, params, dtdFolder);
    return rc == 1;
}
