// Checks that a scenario document describes the one topology the emulator plays (client
// end point, client gateway, WAN section, server gateway, server end point) and rewrites
// it into the normal form with fixed ids and the fixed chain of links. Works only
// through the document library's element parsers. Results: 0 valid, else a code below.
#pragma once

#include <string>

class CSTopovelDocParser;
class CSTopovelBaseParser;
class CSGatewayParser;
class CSWanNuvexParser;

enum : unsigned {
    TOPOVEL_VALID = 0,
    TOPOVEL_PARSE_FAILURE = 1008,     // document, element or parse failure; unlinked objects
    TOPOVEL_RENAME_FAILURE = 1009,    // ids unreadable; links or text cannot be rewritten
    TOPOVEL_UNSUPPORTED_SHAPE = 1010, // an element kind the emulator cannot play
    TOPOVEL_PARTIAL_QUEUES = 1011,    // queues on some but not all four NIC directions
    TOPOVEL_NIC_COUNT = 1012,         // a gateway without exactly two NICs
    TOPOVEL_QUEUE_POLICY_MISMATCH = 1013,
    TOPOVEL_QUEUE_POLICY_UNREADABLE = 1014,
    TOPOVEL_ENDPOINT_COUNT = 1015,   // not exactly two end points
    TOPOVEL_ENDPOINT_MISSING = 1016, // SERVER or CLIENT missing or not linked
    TOPOVEL_SAMPLES_OUT_OF_RANGE = 1025,
    TOPOVEL_INTERVAL_OUT_OF_RANGE = 1026,
};

class CSTopovelValidator {
public:
    virtual ~CSTopovelValidator() = default;

    // Validates `xml` and, on 0, replaces it with the normalised document text. The DTD
    // folder may be null.
    unsigned ValidateTopovel(std::string& xml, const char* dtdPath);

    unsigned ValidateGateways(CSTopovelDocParser* doc, const std::string& serverLinked,
                              const std::string& clientLinked);
    unsigned ValidateNICs(CSGatewayParser* gateway);
    unsigned GetLinkedObject(CSTopovelDocParser* doc, const char* id, std::string& other);
    unsigned CheckForSupportShapes(CSTopovelDocParser* doc);
    bool InitLinks(CSTopovelDocParser* doc);
    // `dtdPath` is where the data block's DTD is looked up (may be null).
    bool ValidateDataBlockAndScaleFactor(CSTopovelDocParser* doc, CSWanNuvexParser* wan,
                                         const char* dtdPath = nullptr);
    bool AreLatencyValuesValid(const int* samples, unsigned count, float scale, int maximum);
    bool ArePacketLossValuesValid(const float* samples, unsigned count, float scale, float maximum);

    unsigned ValidateImportedData(const char* xml, int minInterval, int maxInterval,
                                  const char* dtdPath);
    unsigned ReplaceNetObject(CSTopovelDocParser* doc, CSTopovelBaseParser* element);
};
