// The NUVEX_SHADOW element: a network object that replays a recording. Its children
// HOST_ID, RECORDING_DETAILS, RECORDED_LATENCY and RECORDED_LOSS stand in this order.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSWanNuvexShadowParser : public CSTopovelBaseParser {
public:
    CSWanNuvexShadowParser();
    CSWanNuvexShadowParser(const char* dtdFileName, const char* version);
    CSWanNuvexShadowParser(const CSWanNuvexShadowParser& other) = default;
    CSWanNuvexShadowParser& operator=(const CSWanNuvexShadowParser& other) = default;
    ~CSWanNuvexShadowParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC CreateNew(const char* id, const char* name, const char* importedTimeStart,
                    const char* importIntervalLen);

    NX_RC SetHostID(const char* nameOrIp);
    NX_RC GetHostID(SHString& nameOrIp);
    NX_RC SetRecordingDetailes(const char* recordingName, const char* destinationIp,
                               const char* packetLen, const char* sampleInterval);
    NX_RC GetRecordingDetailes(SHString& recordingName, SHString& destinationIp,
                               SHString& packetLen, SHString& sampleInterval);
    NX_RC SetRecordedLatency(const char* dataBlockName, const char* playbackMode,
                             const char* scaleFactor);
    NX_RC GetRecordedLatency(SHString& dataBlockName, SHString& playbackMode,
                             SHString& scaleFactor);
    NX_RC SetRecordedLoss(const char* scaleFactor);
    NX_RC GetRecordedLoss(SHString& scaleFactor);
    NX_RC GetRecordedStartTime(SHString& start);
    // Removes the first element of that tag, a child of the root.
    NX_RC RemoveElement(const char* tag);

protected:
    // Fills the process-wide order of the children once.
    void InitWanNuvexShadowParser();

private:
    static const orvane::xml::TagOrder& ChildOrder();
};
