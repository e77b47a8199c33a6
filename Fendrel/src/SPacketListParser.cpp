#include "Fendrel/SPacketListParser.h"

CSPacketListParser::CSPacketListParser() = default;

CSPacketListParser::CSPacketListParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSPacketListParser::~CSPacketListParser() = default;

NX_RC CSPacketListParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE("CSPacketListParser", "SPacketListParser");
    return CreateNewElement(trace, "PACKET_LIST", id, name, "Fail to create PACKET_LIST object");
}
