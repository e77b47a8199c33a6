#include "Fendrel/StatElementParsers.h"

#include "StatAttributes.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

const char kClass[] = "CSPacketListStatParser";
const char kFile[] = "CSPacketListStatParser";

// A decimal number (leading blanks and a "+" allowed) within the range of unsigned int.
bool parse_count(const char* text, unsigned int& count) {
    if (!text)
        return false;
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (errno == ERANGE || value > UINT_MAX)
        return false;
    count = static_cast<unsigned int>(value);
    return true;
}

} // namespace

#define PL_STAT_TRACE NX_METHOD_TRACE(kClass, kFile)

CSPacketListStatParser::CSPacketListStatParser() = default;

CSPacketListStatParser::CSPacketListStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSPacketListStatParser::~CSPacketListStatParser() = default;

NX_RC CSPacketListStatParser::CreateNew(const char* id, const char* name) {
    PL_STAT_TRACE;
    return CreateNewElement(trace, "PACKET_LIST_STAT", id, name,
                            "Fail to create PACKET_LIST_STAT object");
}

NX_RC CSPacketListStatParser::GetPacketCount(SHString& count) {
    PL_STAT_TRACE;
    return NX_READ_ROOT_IN_SEQUENCE({"PACKET_COUNT", &count});
}

NX_RC CSPacketListStatParser::GetPacketCount(unsigned int& count) {
    PL_STAT_TRACE;
    SHString text;
    NX_RC rc = GetPacketCount(text);
    if (rc == NX_SUCCESS)
        parse_count(text.GetString(), count);
    return rc;
}

NX_RC CSPacketListStatParser::GetRequestURL(SHString& url) {
    PL_STAT_TRACE;
    return NX_READ_ROOT_IN_SEQUENCE({"REQUEST_URL", &url});
}
