#include "Fendrel/StatElementParsers.h"

namespace {

const char kEndPointClass[] = "CSEndPointStatParser";
const char kEndPointFile[] = "SEndPointStatParser";
const char kPortClass[] = "CSPortStatParser";
const char kPortFile[] = "CSPortStatParser";

} // namespace

// The throughput attributes of ENDPOINTS_STAT and PORT_STAT, read from the root.
#define THROUGHPUT_ATTRIBUTES(in, out, totalIn, totalOut)                                          \
    {                                                                                              \
        {"THROUGHPUT_IN", &in}, {"THROUGHPUT_OUT", &out}, {"TOTAL_IN", &totalIn}, {                \
            "TOTAL_OUT", &totalOut                                                                 \
        }                                                                                          \
    }

CSEndPointStatParser::CSEndPointStatParser() = default;

CSEndPointStatParser::CSEndPointStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSEndPointStatParser::~CSEndPointStatParser() = default;

NX_RC CSEndPointStatParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kEndPointClass, kEndPointFile);
    return CreateNewElement(trace, "ENDPOINTS_STAT", id, name,
                            "Fail to create ENDPOINTS_STAT object");
}

NX_RC CSEndPointStatParser::GetThroughput(SHString& throughputIn, SHString& throughputOut,
                                          SHString& totalIn, SHString& totalOut) {
    NX_METHOD_TRACE(kEndPointClass, kEndPointFile);
    return GetRootAttributes(trace, "Unknown exception.",
                             THROUGHPUT_ATTRIBUTES(throughputIn, throughputOut, totalIn, totalOut));
}

CSPortStatParser::CSPortStatParser() = default;

CSPortStatParser::CSPortStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSPortStatParser::~CSPortStatParser() = default;

NX_RC CSPortStatParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kPortClass, kPortFile);
    return CreateNewElement(trace, "PORT_STAT", id, name, "Fail to create PORT_STAT object");
}

NX_RC CSPortStatParser::GetThroughput(SHString& throughputIn, SHString& throughputOut,
                                      SHString& totalIn, SHString& totalOut) {
    NX_METHOD_TRACE(kPortClass, kPortFile);
    return GetRootAttributes(trace, "Unknown exception.",
                             THROUGHPUT_ATTRIBUTES(throughputIn, throughputOut, totalIn, totalOut));
}
