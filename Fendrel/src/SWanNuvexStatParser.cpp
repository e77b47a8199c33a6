#include "Fendrel/StatElementParsers.h"

#include "StatAttributes.h"

namespace {

const char kWanClass[] = "CSWanNuvexStatParser";
const char kWanFile[] = "CSWanNuvexStatParser";
const char kShadowClass[] = "CSWanNuvexShadowStatParser";
const char kShadowFile[] = "SWanNuvexShadowStatParser";

} // namespace

CSWanNuvexStatParser::CSWanNuvexStatParser() = default;

CSWanNuvexStatParser::CSWanNuvexStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSWanNuvexStatParser::~CSWanNuvexStatParser() = default;

NX_RC CSWanNuvexStatParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kWanClass, kWanFile);
    return CreateNewElement(trace, "WAN_NUVEX_STAT", id, name,
                            "Fail to create WAN_NUVEX_STAT object");
}

NX_RC CSWanNuvexStatParser::GetLatencyStatData(SHString& minLatency, SHString& avgLatency,
                                               SHString& maxLatency) {
    NX_METHOD_TRACE(kWanClass, kWanFile);
    return NX_READ_ROOT_IN_SEQUENCE({"MIN_LATENCY", &minLatency}, {"AVG_LATENCY", &avgLatency},
                                    {"MAX_LATENCY", &maxLatency});
}

NX_RC CSWanNuvexStatParser::GetPacketsStatData(SHString& currPackets, SHString& maxPackets) {
    NX_METHOD_TRACE(kWanClass, kWanFile);
    return NX_READ_ROOT_IN_SEQUENCE({"CURR_PACKETS", &currPackets}, {"MAX_PACKETS", &maxPackets});
}

CSWanNuvexShadowStatParser::CSWanNuvexShadowStatParser() = default;

CSWanNuvexShadowStatParser::CSWanNuvexShadowStatParser(const char* dtdFileName, const char* version)
    : CSWanNuvexStatParser(dtdFileName, version) {}

CSWanNuvexShadowStatParser::~CSWanNuvexShadowStatParser() = default;

NX_RC CSWanNuvexShadowStatParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kShadowClass, kShadowFile);
    return CreateNewElement(trace, "NUVEX_SHADOW_STAT", id, name,
                            "Fail to create NUVEX_SHADOW_STAT object");
}
