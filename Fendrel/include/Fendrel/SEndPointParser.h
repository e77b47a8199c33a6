// The ENDPOINT element: the hosts an end of the emulated path stands for, and its
// address range lists.
#pragma once

#include "Fendrel/SIpRangeParser.h"

class CSEndPointParser : public CSIpRangeParser {
public:
    CSEndPointParser();
    CSEndPointParser(const char* dtdFileName, const char* version);
    CSEndPointParser(const CSEndPointParser& other);
    CSEndPointParser& operator=(const CSEndPointParser& other);
    ~CSEndPointParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;

    // HOST_ID elements stand before INCLUDE_IPS; indexes count them in document order.
    NX_RC AddHostID(const char* nameOrIp);
    NX_RC GetHostIDCount(unsigned& count);
    // An index past the last leaves the output unchanged and succeeds.
    NX_RC GetHostID(unsigned index, SHString& nameOrIp);
    // An index past the last changes nothing and succeeds.
    NX_RC ClearHostID(unsigned index);
};
