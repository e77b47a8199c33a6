// The FRAME_RELAY_PVC element: a frame-relay permanent virtual circuit. Its children
// UNIFORM_LATENCY, COMMITTED_DATA_LOSS, EXCESS_DATA_LOSS, FR_CONGESTION and
// FRAD_PARAMETERS stand in this order whatever order they are set in.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSFrameRelayParser : public CSTopovelBaseParser {
public:
    CSFrameRelayParser();
    CSFrameRelayParser(const char* dtdFileName, const char* version);
    CSFrameRelayParser(const CSFrameRelayParser& other) = default;
    CSFrameRelayParser& operator=(const CSFrameRelayParser& other) = default;
    ~CSFrameRelayParser() override;

    // The root with CIR and EIR empty.
    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC CreateNew(const char* id, const char* name, const char* cir, const char* eir);

    NX_RC SetDeliveryRate(const char* cir, const char* eir);
    NX_RC GetDeliveryRate(SHString& cir, SHString& eir);
    NX_RC SetUniformLatency(const char* min, const char* max, bool limitChange,
                            const char* limitChangeValue);
    NX_RC GetUniformLatency(SHString& min, SHString& max, SHString& limitChange,
                            SHString& limitChangeValue);
    // Each call appends one more RANDOM_LOSS; the getters read the first.
    NX_RC SetCommitedDataLoss(const char* chance);
    NX_RC GetCommitedDataLoss(SHString& chance);
    NX_RC SetExcessDataLoss(const char* chance);
    NX_RC GetExcessDataLoss(SHString& chance);
    NX_RC SetCongestion(const char* avgFrequency, bool periodic, const char* minTimespan,
                        const char* maxTimespan, const char* minEirUsage, const char* maxEirUsage);
    NX_RC GetCongestion(SHString& avgFrequency, SHString& frequencyMode, SHString& minTimespan,
                        SHString& maxTimespan, SHString& minEirUsage, SHString& maxEirUsage);
    NX_RC SetFRADParam(const char* decreaseRate, const char* increaseRate,
                       const char* outQueueSize);
    NX_RC GetFRADParam(SHString& decreaseRate, SHString& increaseRate, SHString& outQueueSize);
    // Removes the first element of that tag, a child of the root; 0 when there is none.
    NX_RC RemoveEelement(const char* tag);

protected:
    // Fills the process-wide order of the children once.
    void InitFrameRelay();

private:
    static const orvane::xml::TagOrder& ChildOrder();
    NX_RC AddRandomLoss(const fendrel::MethodTrace& trace, const char* failure,
                        const char* container, const char* chance);
    NX_RC GetRandomLoss(const fendrel::MethodTrace& trace, const char* failure,
                        const char* container, SHString& chance);
};
