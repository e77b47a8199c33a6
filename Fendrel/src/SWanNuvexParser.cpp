#include "Fendrel/SWanNuvexParser.h"

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSWanNuvexParser";
const char kFile[] = "SWanNuvexParser";
const char kNoDocument[] = "No Document created.";

const char* fragmentation_text(eWF_BHV behaviour) {
    switch (behaviour) {
    case WF_IGNORE_DF_BIT:
        return "IGNORE_DF_BIT";
    case WF_SEND_ICMP_ERROR:
        return "SEND_ICMP_ERROR";
    case WF_DONT_SEND_ICMP_ERROR:
        return "DONT_SEND_ICMP_ERROR";
    }
    return "";
}

const char* ttl_text(eWF_BHV behaviour) {
    return behaviour == WF_DONT_SEND_ICMP_ERROR ? "DONT_SEND_ICMP_ERROR" : "SEND_ICMP_ERROR";
}

} // namespace

// Entry and exit records where the method writes them; otherwise an exit record
// follows only its failure records.
#define WAN_TRACE MethodTrace trace(kClass, __func__, kFile)
#define WAN_TRACE_QUIET                                                                            \
    MethodTrace trace(kClass, __func__, kFile, false);                                             \
    trace.ExitAfterFailure()

CSWanNuvexParser::CSWanNuvexParser() = default;

CSWanNuvexParser::CSWanNuvexParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSWanNuvexParser::CSWanNuvexParser(const CSWanNuvexParser& other) = default;

CSWanNuvexParser& CSWanNuvexParser::operator=(const CSWanNuvexParser& other) = default;

CSWanNuvexParser::~CSWanNuvexParser() = default;

NX_RC CSWanNuvexParser::CreateNew(const char* id, const char* name) {
    WAN_TRACE;
    return CreateNewElement(trace, "WAN_NUVEX", id, name, "Failed to CreateNew");
}

// ---------------------------------------------------------------- helpers

bool CSWanNuvexParser::AllGiven(std::initializer_list<AttrIn> attributes) {
    for (const AttrIn& attribute : attributes)
        if (!Given({attribute.value}))
            return false;
    return true;
}

NX_RC CSWanNuvexParser::RemoveRootChildren(std::initializer_list<const char*> tags,
                                           bool firstOnly) {
    if (!m_pDocument)
        return NX_FAILURE;
    try {
        DOMElement* root = Root();
        for (const char* tag : tags) {
            DOMElement* child = nullptr;
            if (!xml::GetChildElementByTag(tag, root, child))
                continue;
            RemoveElement(child);
            if (firstOnly)
                break;
        }
        return NX_SUCCESS;
    } catch (...) {
        return NX_FAILURE;
    }
}

NX_RC CSWanNuvexParser::SetKind(const MethodTrace& trace, const char* failure, bool latency,
                                const char* tag, std::initializer_list<AttrIn> attributes) {
    if (m_pDocument && !AllGiven(attributes))
        return NX_FAILURE;
    if (m_pDocument && (latency ? ClearLatency() : ClearPacketLoss()) != NX_SUCCESS)
        return NX_FAILURE;
    return DomCall(
        trace, failure,
        [&] {
            AppendElement(Root(), tag, attributes);
            return NX_SUCCESS;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::GetKind(const MethodTrace& trace, const char* failure, const char* tag,
                                std::initializer_list<AttrOut> attributes) {
    return DomCall(
        trace, failure,
        [&] {
            // The root's own element: CONGESTION and the Gilbert-Elliot states hold
            // elements of the same names.
            DOMElement* kind = nullptr;
            if (!xml::GetChildElementByTag(tag, Root(), kind))
                return false;
            ReadAttributes(kind, attributes);
            return true;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::GetKindType(const MethodTrace& trace, const char* failure,
                                    std::initializer_list<const char*> tags, SHString& kind) {
    return DomCall(
        trace, failure,
        [&] {
            DOMElement* root = Root();
            for (const char* tag : tags) {
                DOMElement* child = nullptr;
                if (xml::GetChildElementByTag(tag, root, child)) {
                    kind.Assign(tag);
                    break;
                }
            }
            return NX_SUCCESS;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::SetEffect(const MethodTrace& trace, const char* failure, const char* tag,
                                  std::initializer_list<AttrIn> attributes) {
    if (m_pDocument && !AllGiven(attributes))
        return NX_FAILURE;
    return SetElementAttributes(trace, failure, tag, {}, attributes, kNoDocument);
}

// ---------------------------------------------------------------- groups

NX_RC CSWanNuvexParser::ClearLatency() {
    return RemoveRootChildren({"FIXED_LATENCY", "NORMAL_LATENCY", "UNIFORM_LATENCY",
                               "LINEAR_LATENCY", "RECORDED_LATENCY"},
                              true);
}

NX_RC CSWanNuvexParser::ClearPacketLoss() {
    return RemoveRootChildren(
        {"PERIODIC_LOSS", "RANDOM_LOSS", "BURST_LOSS", "RECORDED_LOSS", "GILBERT_ELLIOT_LOSS"},
        true);
}

NX_RC CSWanNuvexParser::ClearWANEffect() {
    return RemoveRootChildren({"OUT_OF_ORDER", "DUPLICATE_PACKETS", "FRAGMENTATION",
                               "TTL_DECREMENT", "BIT_ERROR", "DISCONNECT", "CONGESTION"},
                              false);
}

NX_RC CSWanNuvexParser::SetDescription(const char* text) {
    WAN_TRACE;
    if (m_pDocument && !text)
        return NX_FAILURE;
    return SetRootAttributes(trace, "Exception.", {{"DESCRIPTION", text}}, kNoDocument);
}

NX_RC CSWanNuvexParser::GetDescription(SHString& text) {
    WAN_TRACE;
    return GetRootAttributes(trace, "Exception.", {{"DESCRIPTION", &text}}, kNoDocument);
}

// ---------------------------------------------------------------- latency

NX_RC CSWanNuvexParser::SetFixedLatency(const char* latency) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to Set Fixed Latency", true, "FIXED_LATENCY",
                   {{"LATENCY", latency}});
}

NX_RC CSWanNuvexParser::GetFixedLatency(SHString& latency) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetFixedLatency", "FIXED_LATENCY", {{"LATENCY", &latency}});
}

NX_RC CSWanNuvexParser::SetNormalLatency(const char* average, const char* stdDeviation) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to create or append NORMAL_LATENCY element", true,
                   "NORMAL_LATENCY", {{"AVERAGE", average}, {"STD_DEVIATION", stdDeviation}});
}

NX_RC CSWanNuvexParser::GetNormalLatency(SHString& average, SHString& stdDeviation) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetNormalLatency", "NORMAL_LATENCY",
                   {{"AVERAGE", &average}, {"STD_DEVIATION", &stdDeviation}});
}

NX_RC CSWanNuvexParser::SetUniformLatency(const char* min, const char* max, bool limitChange,
                                          const char* limitChangeValue) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set Unifrom Latency", true, "UNIFORM_LATENCY",
                   {{"MIN", min},
                    {"MAX", max},
                    {"LIMIT_CHANGE", limitChange ? "yes" : "no"},
                    {"LIMIT_CHANGE_VALUE", limitChangeValue}});
}

NX_RC CSWanNuvexParser::GetUniformLatency(SHString& min, SHString& max, SHString& limitChange,
                                          SHString& limitChangeValue) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetUniformLatency", "UNIFORM_LATENCY",
                   {{"MIN", &min},
                    {"MAX", &max},
                    {"LIMIT_CHANGE", &limitChange},
                    {"LIMIT_CHANGE_VALUE", &limitChangeValue}});
}

NX_RC CSWanNuvexParser::SetLinearLatency(const char* min, const char* max, const char* duration) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set Linear Latency", true, "LINEAR_LATENCY",
                   {{"MIN", min}, {"MAX", max}, {"DURATION", duration}});
}

NX_RC CSWanNuvexParser::GetLinearLatency(SHString& min, SHString& max, SHString& duration) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetLinearLatency", "LINEAR_LATENCY",
                   {{"MIN", &min}, {"MAX", &max}, {"DURATION", &duration}});
}

NX_RC CSWanNuvexParser::SetRecordedLatency(const char* dataBlockName, const char* playbackMode,
                                           const char* scaleFactor) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set Recorded Latency", true, "RECORDED_LATENCY",
                   {{"DATA_BLOCK_NAME", dataBlockName},
                    {"PLAYBACK_MODE", playbackMode},
                    {"SCALE_FACTOR", scaleFactor}});
}

NX_RC CSWanNuvexParser::GetRecordedLatency(SHString& dataBlockName, SHString& playbackMode,
                                           SHString& scaleFactor) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetRecordedLatency", "RECORDED_LATENCY",
                   {{"DATA_BLOCK_NAME", &dataBlockName},
                    {"PLAYBACK_MODE", &playbackMode},
                    {"SCALE_FACTOR", &scaleFactor}});
}

NX_RC CSWanNuvexParser::GetLatencyType(SHString& kind) {
    WAN_TRACE_QUIET;
    return GetKindType(trace, "Failed to get Latency type",
                       {"FIXED_LATENCY", "NORMAL_LATENCY", "UNIFORM_LATENCY", "LINEAR_LATENCY",
                        "RECORDED_LATENCY"},
                       kind);
}

// ---------------------------------------------------------------- packet loss

NX_RC CSWanNuvexParser::SetPeriodicPacketLoss(const char* packetCount) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set periodic loss", false, "PERIODIC_LOSS",
                   {{"PACKET_COUNT", packetCount}});
}

NX_RC CSWanNuvexParser::GetPeriodicPacketLoss(SHString& packetCount) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetPeriodicPacketLoss", "PERIODIC_LOSS",
                   {{"PACKET_COUNT", &packetCount}});
}

NX_RC CSWanNuvexParser::SetRandomPacketLoss(const char* chance) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set random loss", false, "RANDOM_LOSS", {{"CHANCE", chance}});
}

NX_RC CSWanNuvexParser::GetRandomPacketLoss(SHString& chance) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetRandomPacketLoss", "RANDOM_LOSS", {{"CHANCE", &chance}});
}

NX_RC CSWanNuvexParser::SetBurstPacketLoss(const char* burstChance, const char* minPacketLoss,
                                           const char* maxPacketLoss) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed set burst loss", false, "BURST_LOSS",
                   {{"BURST_CHANCE", burstChance},
                    {"MIN_PACKET_LOSS", minPacketLoss},
                    {"MAX_PACKET_LOSS", maxPacketLoss}});
}

NX_RC CSWanNuvexParser::GetBurstPacketLoss(SHString& burstChance, SHString& minPacketLoss,
                                           SHString& maxPacketLoss) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetBurstPacketLoss", "BURST_LOSS",
                   {{"BURST_CHANCE", &burstChance},
                    {"MIN_PACKET_LOSS", &minPacketLoss},
                    {"MAX_PACKET_LOSS", &maxPacketLoss}});
}

NX_RC CSWanNuvexParser::SetGilbertElliotLoss(const char* changeToBadChance,
                                             const char* goodStateLossChance,
                                             const char* changeToGoodChance,
                                             const char* badStateLossChance) {
    WAN_TRACE_QUIET;
    if (m_pDocument &&
        !Given({changeToBadChance, goodStateLossChance, changeToGoodChance, badStateLossChance}))
        return NX_FAILURE;
    if (m_pDocument && ClearPacketLoss() != NX_SUCCESS)
        return NX_FAILURE;
    return DomCall(
        trace, "Failed to set Gilbert Loss",
        [&] {
            DOMElement* loss = AppendElement(Root(), "GILBERT_ELLIOT_LOSS");
            DOMElement* good = AppendElement(loss, "GOOD_STATE_LOSS",
                                             {{"CHANGE_TO_BAD_CHANCE", changeToBadChance}});
            AppendElement(good, "RANDOM_LOSS", {{"CHANCE", goodStateLossChance}});
            DOMElement* bad = AppendElement(loss, "BAD_STATE_LOSS",
                                            {{"CHANGE_TO_GOOD_CHANCE", changeToGoodChance}});
            AppendElement(bad, "RANDOM_LOSS", {{"CHANCE", badStateLossChance}});
            return NX_SUCCESS;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::GetGilbertElliotLoss(SHString& changeToBadChance,
                                             SHString& goodStateLossChance,
                                             SHString& changeToGoodChance,
                                             SHString& badStateLossChance) {
    WAN_TRACE_QUIET;
    return DomCall(
        trace, "Failed to GetGilbertElliotLoss",
        [&] {
            DOMElement *loss = nullptr, *good = nullptr, *bad = nullptr;
            if (!xml::GetChildElementByTag("GILBERT_ELLIOT_LOSS", Root(), loss) ||
                !xml::GetFirstElementByTag("GOOD_STATE_LOSS", loss, good) ||
                !xml::GetFirstElementByTag("BAD_STATE_LOSS", loss, bad))
                return false;
            // A state without a child element leaves its chance as it is.
            DOMElement* chance = nullptr;
            ReadAttributes(good, {{"CHANGE_TO_BAD_CHANCE", &changeToBadChance}});
            if (xml::GetChildElementAt(good, 0, chance))
                ReadAttributes(chance, {{"CHANCE", &goodStateLossChance}});
            ReadAttributes(bad, {{"CHANGE_TO_GOOD_CHANCE", &changeToGoodChance}});
            if (xml::GetChildElementAt(bad, 0, chance))
                ReadAttributes(chance, {{"CHANCE", &badStateLossChance}});
            return true;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::SetRecordedPacketLoss(const char* scaleFactor) {
    WAN_TRACE_QUIET;
    return SetKind(trace, "Failed to set Recorded Loss", false, "RECORDED_LOSS",
                   {{"SCALE_FACTOR", scaleFactor}});
}

NX_RC CSWanNuvexParser::GetRecordedPacketLoss(SHString& scaleFactor) {
    WAN_TRACE_QUIET;
    return GetKind(trace, "Failed to GetRecordedLoss", "RECORDED_LOSS",
                   {{"SCALE_FACTOR", &scaleFactor}});
}

NX_RC CSWanNuvexParser::GetPacketLossType(SHString& kind) {
    WAN_TRACE_QUIET;
    return GetKindType(
        trace, "Failed to get Packet Loss type",
        {"PERIODIC_LOSS", "GILBERT_ELLIOT_LOSS", "RANDOM_LOSS", "BURST_LOSS", "RECORDED_LOSS"},
        kind);
}

// ---------------------------------------------------------------- WAN effects

NX_RC CSWanNuvexParser::SetBitError(const char* avgFrequency, const char* minToggledBits,
                                    const char* maxToggledBits) {
    WAN_TRACE_QUIET;
    return SetEffect(trace, "Failed to set Bit WAN Effect", "BIT_ERROR",
                     {{"AVG_FREQUENCY", avgFrequency},
                      {"MIN_TOGGLED_BITS", minToggledBits},
                      {"MAX_TOGGLED_BITS", maxToggledBits}});
}

NX_RC CSWanNuvexParser::GetBitError(SHString& avgFrequency, SHString& minToggledBits,
                                    SHString& maxToggledBits) {
    WAN_TRACE_QUIET;
    return GetElementAttributes(trace, "Failed to GetBitError", "BIT_ERROR",
                                {{"AVG_FREQUENCY", &avgFrequency},
                                 {"MIN_TOGGLED_BITS", &minToggledBits},
                                 {"MAX_TOGGLED_BITS", &maxToggledBits}},
                                kNoDocument);
}

NX_RC CSWanNuvexParser::SetOutOfOrder(const char* chance, const char* minOffset,
                                      const char* maxOffset) {
    WAN_TRACE_QUIET;
    return SetEffect(trace, "Failed to set OutOfOrder WAN effect", "OUT_OF_ORDER",
                     {{"CHANCE", chance}, {"MIN_OFFSET", minOffset}, {"MAX_OFFSET", maxOffset}});
}

NX_RC CSWanNuvexParser::GetOutOfOrder(SHString& chance, SHString& minOffset, SHString& maxOffset) {
    WAN_TRACE_QUIET;
    return GetElementAttributes(
        trace, "Failed to GetOutOfOrder", "OUT_OF_ORDER",
        {{"CHANCE", &chance}, {"MIN_OFFSET", &minOffset}, {"MAX_OFFSET", &maxOffset}}, kNoDocument);
}

NX_RC CSWanNuvexParser::SetDuplicatePackets(const char* chance, const char* minDuplication,
                                            const char* maxDuplication) {
    WAN_TRACE_QUIET;
    return SetEffect(trace, "Failed to set DuplicatePackets WAN effect", "DUPLICATE_PACKETS",
                     {{"CHANCE", chance},
                      {"MIN_DUPLICATION", minDuplication},
                      {"MAX_DUPLICATION", maxDuplication}});
}

NX_RC CSWanNuvexParser::GetDuplicatePackets(SHString& chance, SHString& minDuplication,
                                            SHString& maxDuplication) {
    WAN_TRACE_QUIET;
    return GetElementAttributes(trace, "Failed to GetDuplicatePackets", "DUPLICATE_PACKETS",
                                {{"CHANCE", &chance},
                                 {"MIN_DUPLICATION", &minDuplication},
                                 {"MAX_DUPLICATION", &maxDuplication}},
                                kNoDocument);
}

NX_RC CSWanNuvexParser::SetFragmentation(const char* chance, const char* maxTransmitUnit,
                                         eWF_BHV behaviour) {
    WAN_TRACE_QUIET;
    return SetEffect(trace, "Failed to set Fragmentation effect.", "FRAGMENTATION",
                     {{"CHANCE", chance},
                      {"MAX_TRANSMIT_UNIT", maxTransmitUnit},
                      {"FRAG_BEHAVIOR", fragmentation_text(behaviour)}});
}

NX_RC CSWanNuvexParser::GetFragmentation(SHString& chance, SHString& maxTransmitUnit,
                                         SHString& behaviour) {
    WAN_TRACE_QUIET;
    return GetElementAttributes(trace, "Failed to GetFragmentation", "FRAGMENTATION",
                                {{"CHANCE", &chance},
                                 {"MAX_TRANSMIT_UNIT", &maxTransmitUnit},
                                 {"FRAG_BEHAVIOR", &behaviour}},
                                kNoDocument);
}

NX_RC CSWanNuvexParser::SetTTL(const char* minDecrement, const char* maxDecrement,
                               const char* changeFreq, eWF_BHV behaviour) {
    WAN_TRACE;
    return SetEffect(trace, "Failed to set TTL effect.", "TTL_DECREMENT",
                     {{"MIN_DECREMENT", minDecrement},
                      {"MAX_DECREMENT", maxDecrement},
                      {"CHANGE_FREQ", changeFreq},
                      {"DEC_BEHAVIOR", ttl_text(behaviour)}});
}

NX_RC CSWanNuvexParser::GetTTL(SHString& minDecrement, SHString& maxDecrement, SHString& changeFreq,
                               SHString& behaviour) {
    // Entered, but exited only after a failure.
    WAN_TRACE_QUIET;
    trace.Info("Entered Method");
    return GetElementAttributes(trace, "Failed to get TTL information", "TTL_DECREMENT",
                                {{"MIN_DECREMENT", &minDecrement},
                                 {"MAX_DECREMENT", &maxDecrement},
                                 {"CHANGE_FREQ", &changeFreq},
                                 {"DEC_BEHAVIOR", &behaviour}},
                                kNoDocument);
}

NX_RC CSWanNuvexParser::SetDisconnect(const char* avgFrequency, const char* minTimeSpan,
                                      const char* maxTimeSpan) {
    WAN_TRACE_QUIET;
    return SetEffect(trace, "Failed to set Disconnect WAN effect", "DISCONNECT",
                     {{"AVG_FREQUENCY", avgFrequency},
                      {"MIN_TIME_SPAN", minTimeSpan},
                      {"MAX_TIME_SPAN", maxTimeSpan}});
}

NX_RC CSWanNuvexParser::GetDisconnect(SHString& avgFrequency, SHString& minTimeSpan,
                                      SHString& maxTimeSpan) {
    WAN_TRACE_QUIET;
    return GetElementAttributes(trace, "Failed to GetDisconnect", "DISCONNECT",
                                {{"AVG_FREQUENCY", &avgFrequency},
                                 {"MIN_TIME_SPAN", &minTimeSpan},
                                 {"MAX_TIME_SPAN", &maxTimeSpan}},
                                kNoDocument);
}

NX_RC CSWanNuvexParser::SetCongestion(const char* avgFrequency, const char* minTimeSpan,
                                      const char* maxTimeSpan, const char* latency,
                                      const char* lossChance) {
    WAN_TRACE_QUIET;
    if (m_pDocument && !Given({avgFrequency, minTimeSpan, maxTimeSpan, latency, lossChance}))
        return NX_FAILURE;
    return DomCall(
        trace, "Failed to set Congestion WAN effect",
        [&] {
            RemoveElement(FindElement("CONGESTION"));
            DOMElement* congestion = AppendElement(Root(), "CONGESTION",
                                                   {{"AVG_FREQUENCY", avgFrequency},
                                                    {"MIN_TIME_SPAN", minTimeSpan},
                                                    {"MAX_TIME_SPAN", maxTimeSpan}});
            AppendElement(congestion, "FIXED_LATENCY", {{"LATENCY", latency}});
            AppendElement(congestion, "RANDOM_LOSS", {{"CHANCE", lossChance}});
            return NX_SUCCESS;
        },
        kNoDocument);
}

NX_RC CSWanNuvexParser::GetCongestion(SHString& avgFrequency, SHString& minTimeSpan,
                                      SHString& maxTimeSpan, SHString& latency,
                                      SHString& lossChance) {
    WAN_TRACE_QUIET;
    return DomCall(
        trace, "Failed to GetCongestion",
        [&] {
            DOMElement* congestion = FindElement("CONGESTION");
            if (!congestion)
                return false;
            ReadAttributes(congestion, {{"AVG_FREQUENCY", &avgFrequency},
                                        {"MIN_TIME_SPAN", &minTimeSpan},
                                        {"MAX_TIME_SPAN", &maxTimeSpan}});
            // By position: the period's latency, then its loss chance.
            DOMElement* child = nullptr;
            if (xml::GetChildElementAt(congestion, 0, child))
                ReadAttributes(child, {{"LATENCY", &latency}});
            if (xml::GetChildElementAt(congestion, 1, child))
                ReadAttributes(child, {{"CHANCE", &lossChance}});
            return true;
        },
        kNoDocument);
}
