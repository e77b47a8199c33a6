// Turns an imported scenario into the play parameters that NuvexPlayEmulation takes:
// a scenario document through the element parsers, or a downloaded recording.
//
// These are the driver manager's scenario conversions; CDriverMngr forwards to them on
// CPlayParams records. Sample arrays that a conversion allocates are new[] arrays owned
// by the record from then on, and the conversions free the arrays a record already
// holds: a record given here must start value-initialised (as CPlayParams always is). Results: 1
// success, 0 failure, and 1008 from the document conversion when its network objects cannot be
// counted. A failed conversion leaves the record partly filled: the caller must not play it.
#pragma once

#include <AltirenAPI.h>

#include <cstdint>
#include <string>

class CSWanNuvexParser;
class CSGatewayParser;
class CSEndPointParser;
class CSTopovelDocParser;
class CWSTScenario;

class CScenarioConverter {
public:
    // Frees the record's sample arrays, zeroes it and sets the library's defaults.
    static void ClearAndDefault(PlayParameters* params);

    // With the DTD of the client's installation folder (InstallFolder of the settings).
    static int ConvertTopovelToNuvexPlayParams(const std::string& xml, PlayParameters* params);
    // `dtdFolder` is the folder of the scenario DTD.
    static int ConvertTopovelToNuvexPlayParams(const std::string& xml, PlayParameters* params,
                                               const std::string& dtdFolder);
    static int TopovexConvertLatency(CSWanNuvexParser* wan, PlayParameters* params,
                                     std::string& playbackMode, uint16_t& latencyScale);
    static int TopovexConvertLoss(CSWanNuvexParser* wan, PlayParameters* params,
                                  uint16_t& lossScale, uint8_t& recordedLoss);
    static int TopovexConvertEffects(CSWanNuvexParser* wan, PlayParameters* params);
    // side: non-zero East (the client gateway), 0 West (the server gateway).
    static int TopovexConvertGateway(CSGatewayParser* gateway, PlayParameters* params,
                                     uint32_t side);
    static int TopovexConvertIncludeExcludeIP(CSEndPointParser* endPoint, PlayParameters* params);
    static int TopovexConvertImportedData(CSTopovelDocParser* doc, PlayParameters* params,
                                          uint16_t latencyScale, uint16_t lossScale,
                                          uint8_t recordedLoss, const std::string& dtdFolder);

    // A downloaded recording (settings mode or recorded mode).
    static int ConvertWSTToNuvexPlayParams(const CWSTScenario& scenario, PlayParameters* params);

    // The import page's scenario by its source kind (0 recording, 1 document, with the
    // DTD folder of the installation): true only when the conversion gave 1. Its other
    // results, the document's 1008 among them, are failures: the play must not go ahead.
    static bool ConvertImportedScenario(int sourceKind, const CWSTScenario& recording,
                                        const std::string& document, PlayParameters* params,
                                        const std::string& dtdFolder);
};
