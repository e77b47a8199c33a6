#include "Fendrel/SPortParser.h"

namespace {

const char kClass[] = "CSPortParser";
const char kFile[] = "SPortParser";

} // namespace

CSPortParser::CSPortParser() = default;

CSPortParser::CSPortParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSPortParser::~CSPortParser() = default;

NX_RC CSPortParser::CreateNew(const char* id, const char* name) {
    NX_METHOD_TRACE(kClass, kFile);
    return CreateNewElement(trace, "PORT", id, name, "Fail to create PORT object");
}

NX_RC CSPortParser::SetPortInfo(const char* cardPosition, const char* portPosition) {
    NX_METHOD_TRACE(kClass, kFile);
    return SetRootAttributes(trace, "Failed to set Port Info",
                             {{"CARD_POSITION", cardPosition}, {"PORT_POSITION", portPosition}});
}

NX_RC CSPortParser::GetPortInfo(SHString& cardPosition, SHString& portPosition) {
    NX_METHOD_TRACE(kClass, kFile);
    return GetRootAttributes(trace, "Failed to get Port Info",
                             {{"CARD_POSITION", &cardPosition}, {"PORT_POSITION", &portPosition}});
}
