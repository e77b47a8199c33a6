// The WAN_NUVEX element: the emulated wide-area section with one latency kind, one
// packet-loss kind and any of seven WAN effects. Values are kept and handed out as text.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

#include <cstdint>

// Behaviour of the fragmentation and TTL effects.
enum eWF_BHV : int32_t {
    WF_IGNORE_DF_BIT = 0,
    WF_SEND_ICMP_ERROR = 1,
    WF_DONT_SEND_ICMP_ERROR = 2,
};

class CSWanNuvexParser : public CSTopovelBaseParser {
public:
    CSWanNuvexParser();
    CSWanNuvexParser(const char* dtdFileName, const char* version);
    CSWanNuvexParser(const CSWanNuvexParser& other);
    CSWanNuvexParser& operator=(const CSWanNuvexParser& other);
    ~CSWanNuvexParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    // Each removes the root's element(s) of its group; 0 when there is nothing to remove.
    virtual NX_RC ClearLatency();
    virtual NX_RC ClearPacketLoss();
    virtual NX_RC ClearWANEffect();

    NX_RC SetDescription(const char* text);
    NX_RC GetDescription(SHString& text);

    // Latency: setting a kind replaces the present one. The getters read the root's own
    // element, never the latency of a congestion period.
    NX_RC SetFixedLatency(const char* latency);
    NX_RC GetFixedLatency(SHString& latency);
    NX_RC SetNormalLatency(const char* average, const char* stdDeviation);
    NX_RC GetNormalLatency(SHString& average, SHString& stdDeviation);
    NX_RC SetUniformLatency(const char* min, const char* max, bool limitChange,
                            const char* limitChangeValue);
    NX_RC GetUniformLatency(SHString& min, SHString& max, SHString& limitChange,
                            SHString& limitChangeValue);
    NX_RC SetLinearLatency(const char* min, const char* max, const char* duration);
    NX_RC GetLinearLatency(SHString& min, SHString& max, SHString& duration);
    NX_RC SetRecordedLatency(const char* dataBlockName, const char* playbackMode,
                             const char* scaleFactor);
    NX_RC GetRecordedLatency(SHString& dataBlockName, SHString& playbackMode,
                             SHString& scaleFactor);
    // The tag of the root's latency element; `kind` is left as it is when there is none.
    NX_RC GetLatencyType(SHString& kind);

    // Packet loss, likewise.
    NX_RC SetPeriodicPacketLoss(const char* packetCount);
    NX_RC GetPeriodicPacketLoss(SHString& packetCount);
    NX_RC SetRandomPacketLoss(const char* chance);
    NX_RC GetRandomPacketLoss(SHString& chance);
    NX_RC SetBurstPacketLoss(const char* burstChance, const char* minPacketLoss,
                             const char* maxPacketLoss);
    NX_RC GetBurstPacketLoss(SHString& burstChance, SHString& minPacketLoss,
                             SHString& maxPacketLoss);
    NX_RC SetGilbertElliotLoss(const char* changeToBadChance, const char* goodStateLossChance,
                               const char* changeToGoodChance, const char* badStateLossChance);
    NX_RC GetGilbertElliotLoss(SHString& changeToBadChance, SHString& goodStateLossChance,
                               SHString& changeToGoodChance, SHString& badStateLossChance);
    NX_RC SetRecordedPacketLoss(const char* scaleFactor);
    NX_RC GetRecordedPacketLoss(SHString& scaleFactor);
    NX_RC GetPacketLossType(SHString& kind);

    // WAN effects: a setter changes the effect's element or adds one.
    NX_RC SetBitError(const char* avgFrequency, const char* minToggledBits,
                      const char* maxToggledBits);
    NX_RC GetBitError(SHString& avgFrequency, SHString& minToggledBits, SHString& maxToggledBits);
    NX_RC SetOutOfOrder(const char* chance, const char* minOffset, const char* maxOffset);
    NX_RC GetOutOfOrder(SHString& chance, SHString& minOffset, SHString& maxOffset);
    NX_RC SetDuplicatePackets(const char* chance, const char* minDuplication,
                              const char* maxDuplication);
    NX_RC GetDuplicatePackets(SHString& chance, SHString& minDuplication, SHString& maxDuplication);
    NX_RC SetFragmentation(const char* chance, const char* maxTransmitUnit, eWF_BHV behaviour);
    NX_RC GetFragmentation(SHString& chance, SHString& maxTransmitUnit, SHString& behaviour);
    NX_RC SetTTL(const char* minDecrement, const char* maxDecrement, const char* changeFreq,
                 eWF_BHV behaviour);
    NX_RC GetTTL(SHString& minDecrement, SHString& maxDecrement, SHString& changeFreq,
                 SHString& behaviour);
    NX_RC SetDisconnect(const char* avgFrequency, const char* minTimeSpan, const char* maxTimeSpan);
    NX_RC GetDisconnect(SHString& avgFrequency, SHString& minTimeSpan, SHString& maxTimeSpan);
    // Replaces the congestion element: its frequency and time span, and the latency and
    // loss chance during a congestion period.
    NX_RC SetCongestion(const char* avgFrequency, const char* minTimeSpan, const char* maxTimeSpan,
                        const char* latency, const char* lossChance);
    NX_RC GetCongestion(SHString& avgFrequency, SHString& minTimeSpan, SHString& maxTimeSpan,
                        SHString& latency, SHString& lossChance);

private:
    static bool AllGiven(std::initializer_list<AttrIn> attributes);
    // Removes the first of the root's children found with these tags, or each of them.
    NX_RC RemoveRootChildren(std::initializer_list<const char*> tags, bool firstOnly);
    // A latency (`latency`) or loss kind: the group cleared, the kind appended to the root.
    NX_RC SetKind(const fendrel::MethodTrace& trace, const char* failure, bool latency,
                  const char* tag, std::initializer_list<AttrIn> attributes);
    NX_RC GetKind(const fendrel::MethodTrace& trace, const char* failure, const char* tag,
                  std::initializer_list<AttrOut> attributes);
    NX_RC GetKindType(const fendrel::MethodTrace& trace, const char* failure,
                      std::initializer_list<const char*> tags, SHString& kind);
    NX_RC SetEffect(const fendrel::MethodTrace& trace, const char* failure, const char* tag,
                    std::initializer_list<AttrIn> attributes);
};
