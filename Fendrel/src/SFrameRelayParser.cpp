#include "Fendrel/SFrameRelayParser.h"

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSFrameRelayParser";
const char kFile[] = "SFrameRelayParser";

} // namespace

#define FR_TRACE NX_METHOD_TRACE(kClass, kFile)

CSFrameRelayParser::CSFrameRelayParser() {
    InitFrameRelay();
}

CSFrameRelayParser::CSFrameRelayParser(const char* dtdFileName, const char* version) {
    InitFrameRelay();
    SetTopovelVersion(dtdFileName, version);
}

CSFrameRelayParser::~CSFrameRelayParser() = default;

const xml::TagOrder& CSFrameRelayParser::ChildOrder() {
    // Filled once, on first use, safely even when the first objects are made on
    // several threads at once.
    static const xml::TagOrder order{"UNIFORM_LATENCY", "COMMITTED_DATA_LOSS", "EXCESS_DATA_LOSS",
                                     "FR_CONGESTION", "FRAD_PARAMETERS"};
    return order;
}

void CSFrameRelayParser::InitFrameRelay() {
    ChildOrder();
}

NX_RC CSFrameRelayParser::CreateNew(const char* id, const char* name) {
    FR_TRACE;
    if (CreateNewElement(trace, "FRAME_RELAY_PVC", id, name, "Fail to create FRAME_RELAY object") !=
        NX_SUCCESS)
        return NX_FAILURE;
    return SetRootAttributes(trace, "Fail to create CSFrameRelayParser",
                             {{"CIR", ""}, {"EIR", ""}});
}

NX_RC CSFrameRelayParser::CreateNew(const char* id, const char* name, const char* cir,
                                    const char* eir) {
    FR_TRACE;
    if (CreateNew(id, name) != NX_SUCCESS)
        return NX_FAILURE;
    return SetRootAttributes(trace, "Failed to create FrameRelay .", {{"CIR", cir}, {"EIR", eir}});
}

NX_RC CSFrameRelayParser::SetDeliveryRate(const char* cir, const char* eir) {
    FR_TRACE;
    return SetRootAttributes(trace, "Failed to Set Delivery Rate", {{"CIR", cir}, {"EIR", eir}},
                             nullptr);
}

NX_RC CSFrameRelayParser::GetDeliveryRate(SHString& cir, SHString& eir) {
    FR_TRACE;
    return GetRootAttributes(trace, "Failed to Get Delivery Rate", {{"CIR", &cir}, {"EIR", &eir}},
                             nullptr);
}

NX_RC CSFrameRelayParser::SetUniformLatency(const char* min, const char* max, bool limitChange,
                                            const char* limitChangeValue) {
    FR_TRACE;
    return SetElementAttributes(trace, "Failed to set UNIFORM_LATENCY element", "UNIFORM_LATENCY",
                                ChildOrder(),
                                {{"MIN", min},
                                 {"MAX", max},
                                 {"LIMIT_CHANGE", limitChange ? "yes" : "no"},
                                 {"LIMIT_CHANGE_VALUE", limitChangeValue}},
                                nullptr);
}

NX_RC CSFrameRelayParser::GetUniformLatency(SHString& min, SHString& max, SHString& limitChange,
                                            SHString& limitChangeValue) {
    FR_TRACE;
    return GetElementAttributes(trace, "Failed to GetUniformLatency", "UNIFORM_LATENCY",
                                {{"MIN", &min},
                                 {"MAX", &max},
                                 {"LIMIT_CHANGE", &limitChange},
                                 {"LIMIT_CHANGE_VALUE", &limitChangeValue}},
                                nullptr);
}

NX_RC CSFrameRelayParser::AddRandomLoss(const MethodTrace& trace, const char* failure,
                                        const char* container, const char* chance) {
    return DomCall(
        trace, failure,
        [&] {
            DOMElement* parent = nullptr;
            if (!xml::GetOrCreateElement(Doc(), parent, container, ChildOrder(), true))
                return false;
            AppendElement(parent, "RANDOM_LOSS", {{"CHANCE", chance}});
            return true;
        },
        nullptr);
}

NX_RC CSFrameRelayParser::GetRandomLoss(const MethodTrace& trace, const char* failure,
                                        const char* container, SHString& chance) {
    return DomCall(
        trace, failure,
        [&] {
            DOMElement* loss = nullptr;
            if (!xml::GetChildElementAt(FindElement(container), 0, loss))
                return false;
            ReadAttributes(loss, {{"CHANCE", &chance}});
            return true;
        },
        nullptr);
}

NX_RC CSFrameRelayParser::SetCommitedDataLoss(const char* chance) {
    FR_TRACE;
    return AddRandomLoss(trace, "Failed to create COMMITTED_DATA_LOSS element",
                         "COMMITTED_DATA_LOSS", chance);
}

NX_RC CSFrameRelayParser::GetCommitedDataLoss(SHString& chance) {
    FR_TRACE;
    return GetRandomLoss(trace, "Failed to Get Commited Data Loss", "COMMITTED_DATA_LOSS", chance);
}

NX_RC CSFrameRelayParser::SetExcessDataLoss(const char* chance) {
    FR_TRACE;
    return AddRandomLoss(trace, "Failed to create EXCESS_DATA_LOSS element", "EXCESS_DATA_LOSS",
                         chance);
}

NX_RC CSFrameRelayParser::GetExcessDataLoss(SHString& chance) {
    FR_TRACE;
    return GetRandomLoss(trace, "Failed to Get Excess Data Loss", "EXCESS_DATA_LOSS", chance);
}

NX_RC CSFrameRelayParser::SetCongestion(const char* avgFrequency, bool periodic,
                                        const char* minTimespan, const char* maxTimespan,
                                        const char* minEirUsage, const char* maxEirUsage) {
    FR_TRACE;
    return SetElementAttributes(trace, "Failed to set FR_CONGESTION element", "FR_CONGESTION",
                                ChildOrder(),
                                {{"AVG_FREQUENCY", avgFrequency},
                                 {"FREQUENCY_MODE", periodic ? "PERIODIC" : "RANDOM"},
                                 {"MIN_TIMESPAN", minTimespan},
                                 {"MAX_TIMESPAN", maxTimespan},
                                 {"MIN_EIR_USAGE", minEirUsage},
                                 {"MAX_EIR_USAGE", maxEirUsage}},
                                nullptr);
}

NX_RC CSFrameRelayParser::GetCongestion(SHString& avgFrequency, SHString& frequencyMode,
                                        SHString& minTimespan, SHString& maxTimespan,
                                        SHString& minEirUsage, SHString& maxEirUsage) {
    FR_TRACE;
    return GetElementAttributes(trace, "Failed to GetCongestion", "FR_CONGESTION",
                                {{"AVG_FREQUENCY", &avgFrequency},
                                 {"FREQUENCY_MODE", &frequencyMode},
                                 {"MIN_TIMESPAN", &minTimespan},
                                 {"MAX_TIMESPAN", &maxTimespan},
                                 {"MIN_EIR_USAGE", &minEirUsage},
                                 {"MAX_EIR_USAGE", &maxEirUsage}},
                                nullptr);
}

NX_RC CSFrameRelayParser::SetFRADParam(const char* decreaseRate, const char* increaseRate,
                                       const char* outQueueSize) {
    FR_TRACE;
    return SetElementAttributes(trace, "Failed to set FRAD_PARAMETERS element", "FRAD_PARAMETERS",
                                ChildOrder(),
                                {{"DECREASE_RATE", decreaseRate},
                                 {"INCREASE_RATE", increaseRate},
                                 {"OUT_QUEUE_SIZE", outQueueSize}},
                                nullptr);
}

NX_RC CSFrameRelayParser::GetFRADParam(SHString& decreaseRate, SHString& increaseRate,
                                       SHString& outQueueSize) {
    FR_TRACE;
    return GetElementAttributes(trace, "Failed to GetFRADParam", "FRAD_PARAMETERS",
                                {{"DECREASE_RATE", &decreaseRate},
                                 {"INCREASE_RATE", &increaseRate},
                                 {"OUT_QUEUE_SIZE", &outQueueSize}},
                                nullptr);
}

NX_RC CSFrameRelayParser::RemoveEelement(const char* tag) {
    FR_TRACE;
    return DomCall(trace, "Failed remove element", [&] {
        if (tag)
            RemoveRootChild(tag);
        return NX_SUCCESS;
    });
}
