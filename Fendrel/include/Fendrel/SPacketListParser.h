// The PACKET_LIST element: a network object that carries nothing beyond its identity.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSPacketListParser : public CSTopovelBaseParser {
public:
    CSPacketListParser();
    CSPacketListParser(const char* dtdFileName, const char* version);
    CSPacketListParser(const CSPacketListParser& other) = default;
    CSPacketListParser& operator=(const CSPacketListParser& other) = default;
    ~CSPacketListParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
};
