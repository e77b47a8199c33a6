#include "Fendrel/StatElementParsers.h"

#include "StatAttributes.h"

namespace {

const char kClass[] = "CSFrameRelayStatParser";
const char kFile[] = "CSFrameRelayStatParser";

} // namespace

#define FR_STAT_TRACE NX_METHOD_TRACE(kClass, kFile)

CSFrameRelayStatParser::CSFrameRelayStatParser() = default;

CSFrameRelayStatParser::CSFrameRelayStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSFrameRelayStatParser::~CSFrameRelayStatParser() = default;

NX_RC CSFrameRelayStatParser::CreateNew(const char* id, const char* name) {
    FR_STAT_TRACE;
    try {
        return CreateNewElement(trace, "FRAME_RELAY_PVC_STAT", id, name,
                                "Fail to create FRAME_RELAY_PVC_STAT object");
    } catch (...) {
        trace.Error("Fail to create CSFrameRelayStatParser");
        return NX_FAILURE;
    }
}

NX_RC CSFrameRelayStatParser::GetThroughputStat(SHString& bpsWest, SHString& bpsEast,
                                                SHString& westShapeId, SHString& eastShapeId) {
    FR_STAT_TRACE;
    return NX_READ_ROOT_IN_SEQUENCE({"BPS_WEST", &bpsWest}, {"BPS_EAST", &bpsEast},
                                    {"WEST_SHAPE_ID", &westShapeId},
                                    {"EAST_SHAPE_ID", &eastShapeId});
}

NX_RC CSFrameRelayStatParser::GetDropStat(SHString& cirDropCount, SHString& cirTotalPackets,
                                          SHString& eirDropCount, SHString& eirTotalPackets) {
    FR_STAT_TRACE;
    return NX_READ_ROOT_IN_SEQUENCE(
        {"CIR_DROP_COUNT", &cirDropCount}, {"CIR_TOTAL_PACKETS", &cirTotalPackets},
        {"EIR_DROP_COUNT", &eirDropCount}, {"EIR_TOTAL_PACKETS", &eirTotalPackets});
}

NX_RC CSFrameRelayStatParser::GetQueueStat(SHString& qLenWest, SHString& qLenEast,
                                           SHString& qDropCountWest, SHString& totalPacketsWest,
                                           SHString& qDropCountEast, SHString& totalPacketsEast) {
    FR_STAT_TRACE;
    return NX_READ_ROOT_IN_SEQUENCE(
        {"Q_LEN_WEST", &qLenWest}, {"Q_LEN_EAST", &qLenEast},
        {"Q_DROP_COUNT_WEST", &qDropCountWest}, {"TOTAL_PACKETS_WEST", &totalPacketsWest},
        {"Q_DROP_COUNT_EAST", &qDropCountEast}, {"TOTAL_PACKETS_EAST", &totalPacketsEast});
}
