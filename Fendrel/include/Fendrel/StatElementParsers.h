// Readers of the statistics elements of the statistics document: each takes one
// element's text (CSTallivoreDocParser::GetStatObjectXML) through Parse and hands out
// its measured values as text.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

// WAN_NUVEX_STAT: latency and packet counts of a WAN section.
class CSWanNuvexStatParser : public CSTopovelBaseParser {
public:
    CSWanNuvexStatParser();
    CSWanNuvexStatParser(const char* dtdFileName, const char* version);
    CSWanNuvexStatParser(const CSWanNuvexStatParser& other) = default;
    CSWanNuvexStatParser& operator=(const CSWanNuvexStatParser& other) = default;
    ~CSWanNuvexStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetLatencyStatData(SHString& minLatency, SHString& avgLatency, SHString& maxLatency);
    NX_RC GetPacketsStatData(SHString& currPackets, SHString& maxPackets);
};

// NUVEX_SHADOW_STAT: the same values for a WAN shadow.
class CSWanNuvexShadowStatParser : public CSWanNuvexStatParser {
public:
    CSWanNuvexShadowStatParser();
    CSWanNuvexShadowStatParser(const char* dtdFileName, const char* version);
    CSWanNuvexShadowStatParser(const CSWanNuvexShadowStatParser& other) = default;
    CSWanNuvexShadowStatParser& operator=(const CSWanNuvexShadowStatParser& other) = default;
    ~CSWanNuvexShadowStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
};

// GATEWAY_STAT: one NIC_STAT per NIC; indexes count the NIC_STAT elements below the
// root in document order, from 0.
class CSGatewayStatParser : public CSTopovelBaseParser {
public:
    CSGatewayStatParser();
    CSGatewayStatParser(const char* dtdFileName, const char* version);
    CSGatewayStatParser(const CSGatewayStatParser& other) = default;
    CSGatewayStatParser& operator=(const CSGatewayStatParser& other) = default;
    ~CSGatewayStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetNICsCount(unsigned int& count);
    NX_RC GetNICStatIdName(int index, SHString& id, SHString& name);
    NX_RC GetNICStatThroughput(int index, SHString& bpsIn, SHString& bpsOut);
    NX_RC GetNICStatThroughputTotal(int index, SHString& totalIn, SHString& totalOut);
    NX_RC GetNICStatBW(int index, SHString& bwUtilIn, SHString& bwUtilOut);
    NX_RC GetNICStatQLen(int index, SHString& qLenIn, SHString& qLenOut);
    NX_RC GetNICStatQLoss(int index, SHString& qLossCountIn, SHString& qLossCountOut);

protected:
    // 1 without a document, with a negative index or one past the last NIC_STAT.
    NX_RC GetNicAttributeByIndex(int index, const char* attribute, SHString& value);

private:
    NX_RC GetNicPair(int index, const char* first, SHString& firstValue, const char* second,
                     SHString& secondValue);
};

// ENDPOINTS_STAT: throughput of an endpoint.
class CSEndPointStatParser : public CSTopovelBaseParser {
public:
    CSEndPointStatParser();
    CSEndPointStatParser(const char* dtdFileName, const char* version);
    CSEndPointStatParser(const CSEndPointStatParser& other) = default;
    CSEndPointStatParser& operator=(const CSEndPointStatParser& other) = default;
    ~CSEndPointStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetThroughput(SHString& throughputIn, SHString& throughputOut, SHString& totalIn,
                        SHString& totalOut);
};

// PORT_STAT: throughput of a port.
class CSPortStatParser : public CSTopovelBaseParser {
public:
    CSPortStatParser();
    CSPortStatParser(const char* dtdFileName, const char* version);
    CSPortStatParser(const CSPortStatParser& other) = default;
    CSPortStatParser& operator=(const CSPortStatParser& other) = default;
    ~CSPortStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetThroughput(SHString& throughputIn, SHString& throughputOut, SHString& totalIn,
                        SHString& totalOut);
};

// FRAME_RELAY_PVC_STAT: throughput, drops and queues of a frame-relay circuit.
class CSFrameRelayStatParser : public CSTopovelBaseParser {
public:
    CSFrameRelayStatParser();
    CSFrameRelayStatParser(const char* dtdFileName, const char* version);
    CSFrameRelayStatParser(const CSFrameRelayStatParser& other) = default;
    CSFrameRelayStatParser& operator=(const CSFrameRelayStatParser& other) = default;
    ~CSFrameRelayStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetThroughputStat(SHString& bpsWest, SHString& bpsEast, SHString& westShapeId,
                            SHString& eastShapeId);
    NX_RC GetDropStat(SHString& cirDropCount, SHString& cirTotalPackets, SHString& eirDropCount,
                      SHString& eirTotalPackets);
    NX_RC GetQueueStat(SHString& qLenWest, SHString& qLenEast, SHString& qDropCountWest,
                       SHString& totalPacketsWest, SHString& qDropCountEast,
                       SHString& totalPacketsEast);
};

// PACKET_LIST_STAT: the number of captured packets and the URL they are fetched from.
class CSPacketListStatParser : public CSTopovelBaseParser {
public:
    CSPacketListStatParser();
    CSPacketListStatParser(const char* dtdFileName, const char* version);
    CSPacketListStatParser(const CSPacketListStatParser& other) = default;
    CSPacketListStatParser& operator=(const CSPacketListStatParser& other) = default;
    ~CSPacketListStatParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetPacketCount(SHString& count);
    // The count as a number; a text that is not a decimal number within the range of
    // unsigned int leaves `count` unchanged.
    NX_RC GetPacketCount(unsigned int& count);
    NX_RC GetRequestURL(SHString& url);
};
