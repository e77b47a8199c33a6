// The PORT element: a network object placed by a card and a port position, with the
// include and exclude address ranges of CSIpRangeParser.
#pragma once

#include "Fendrel/SIpRangeParser.h"

class CSPortParser : public CSIpRangeParser {
public:
    CSPortParser();
    CSPortParser(const char* dtdFileName, const char* version);
    CSPortParser(const CSPortParser& other) = default;
    CSPortParser& operator=(const CSPortParser& other) = default;
    ~CSPortParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC SetPortInfo(const char* cardPosition, const char* portPosition);
    // Both positions are read before either output is assigned.
    NX_RC GetPortInfo(SHString& cardPosition, SHString& portPosition);
};
