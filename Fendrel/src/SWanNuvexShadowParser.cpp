#include "Fendrel/SWanNuvexShadowParser.h"

using fendrel::MethodTrace;

namespace {

const char kClass[] = "CSWanNuvexShadowParser";
const char kFile[] = "SWanNuvexShadowParser";

} // namespace

// Only CreateNew writes entry and exit records; the accessors trace their failures.
#define SHADOW_TRACE MethodTrace trace(kClass, __func__, kFile, false)

CSWanNuvexShadowParser::CSWanNuvexShadowParser() {
    InitWanNuvexShadowParser();
}

CSWanNuvexShadowParser::CSWanNuvexShadowParser(const char* dtdFileName, const char* version) {
    InitWanNuvexShadowParser();
    SetTopovelVersion(dtdFileName, version);
}

CSWanNuvexShadowParser::~CSWanNuvexShadowParser() = default;

const orvane::xml::TagOrder& CSWanNuvexShadowParser::ChildOrder() {
    // Filled once, on first use, safely even when the first objects are made on
    // several threads at once.
    static const orvane::xml::TagOrder order{"HOST_ID", "RECORDING_DETAILS", "RECORDED_LATENCY",
                                             "RECORDED_LOSS"};
    return order;
}

void CSWanNuvexShadowParser::InitWanNuvexShadowParser() {
    ChildOrder();
}

NX_RC CSWanNuvexShadowParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kClass, kFile);
    return CreateNewElement(trace, "NUVEX_SHADOW", id, name, "Fail to create NUVEX_SHADOW object");
}

NX_RC CSWanNuvexShadowParser::CreateNew(const char* id, const char* name,
                                        const char* importedTimeStart,
                                        const char* importIntervalLen) {
    SHADOW_TRACE;
    if (CreateNew(id, name) != NX_SUCCESS) {
        trace.Error("Failed to create Nuvex Shadow .");
        return NX_FAILURE;
    }
    return SetRootAttributes(
        trace, "Failed to create Nuvex Shadow .",
        {{"IMPORTED_TIME_START", importedTimeStart}, {"IMPORT_INTERVAL_LEN", importIntervalLen}});
}

NX_RC CSWanNuvexShadowParser::SetHostID(const char* nameOrIp) {
    SHADOW_TRACE;
    return SetElementAttributes(trace, "Failed set Host ID", "HOST_ID", ChildOrder(),
                                {{"NAME_OR_IP", nameOrIp}}, nullptr);
}

NX_RC CSWanNuvexShadowParser::GetHostID(SHString& nameOrIp) {
    SHADOW_TRACE;
    return GetElementAttributes(trace, "Failed get Host ID", "HOST_ID", {{"NAME_OR_IP", &nameOrIp}},
                                nullptr);
}

NX_RC CSWanNuvexShadowParser::SetRecordingDetailes(const char* recordingName,
                                                   const char* destinationIp, const char* packetLen,
                                                   const char* sampleInterval) {
    SHADOW_TRACE;
    return SetElementAttributes(trace, "Failed set Recording detailes", "RECORDING_DETAILS",
                                ChildOrder(),
                                {{"RECORDING_NAME", recordingName},
                                 {"DESTINATION_IP", destinationIp},
                                 {"PACKET_LEN", packetLen},
                                 {"SAMPLE_INTERVAL", sampleInterval}},
                                nullptr);
}

NX_RC CSWanNuvexShadowParser::GetRecordingDetailes(SHString& recordingName, SHString& destinationIp,
                                                   SHString& packetLen, SHString& sampleInterval) {
    SHADOW_TRACE;
    return GetElementAttributes(trace, "Failed get Recording detailes", "RECORDING_DETAILS",
                                {{"RECORDING_NAME", &recordingName},
                                 {"DESTINATION_IP", &destinationIp},
                                 {"PACKET_LEN", &packetLen},
                                 {"SAMPLE_INTERVAL", &sampleInterval}},
                                nullptr);
}

NX_RC CSWanNuvexShadowParser::SetRecordedLatency(const char* dataBlockName,
                                                 const char* playbackMode,
                                                 const char* scaleFactor) {
    SHADOW_TRACE;
    return SetElementAttributes(trace, "Failed set Recorded Latency detailes", "RECORDED_LATENCY",
                                ChildOrder(),
                                {{"DATA_BLOCK_NAME", dataBlockName},
                                 {"PLAYBACK_MODE", playbackMode},
                                 {"SCALE_FACTOR", scaleFactor}},
                                nullptr);
}

NX_RC CSWanNuvexShadowParser::GetRecordedLatency(SHString& dataBlockName, SHString& playbackMode,
                                                 SHString& scaleFactor) {
    SHADOW_TRACE;
    return GetElementAttributes(trace, "Failed get GetRecordedLatency", "RECORDED_LATENCY",
                                {{"DATA_BLOCK_NAME", &dataBlockName},
                                 {"PLAYBACK_MODE", &playbackMode},
                                 {"SCALE_FACTOR", &scaleFactor}},
                                nullptr);
}

NX_RC CSWanNuvexShadowParser::SetRecordedLoss(const char* scaleFactor) {
    SHADOW_TRACE;
    return SetElementAttributes(trace, "Failed  SetRecordedLoss", "RECORDED_LOSS", ChildOrder(),
                                {{"SCALE_FACTOR", scaleFactor}}, nullptr);
}

NX_RC CSWanNuvexShadowParser::GetRecordedLoss(SHString& scaleFactor) {
    SHADOW_TRACE;
    return GetElementAttributes(trace, "Failed  GetRecordedLoss", "RECORDED_LOSS",
                                {{"SCALE_FACTOR", &scaleFactor}}, nullptr);
}

NX_RC CSWanNuvexShadowParser::GetRecordedStartTime(SHString& start) {
    SHADOW_TRACE;
    return GetRootAttributes(trace, "Failed  GetRecordedStartTime",
                             {{"IMPORTED_TIME_START", &start}}, nullptr);
}

NX_RC CSWanNuvexShadowParser::RemoveElement(const char* tag) {
    SHADOW_TRACE;
    return DomCall(trace, "Failed  RemoveElement", [&] {
        DOMElement* element = nullptr;
        if (!tag || !bGetUniqueElement(tag, &element))
            return false;
        RemoveChildOf(Root(), element);
        return true;
    });
}
