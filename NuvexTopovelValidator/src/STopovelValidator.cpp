#include "NuvexTopovelValidator/STopovelValidator.h"
#include "NuvexTopovelValidator/RecordedScale.h"

#include <Fendrel/SDataBlockParser.h>
#include <Fendrel/SEndPointParser.h>
#include <Fendrel/SGatewayParser.h>
#include <Fendrel/STopovelDocumentParser.h>
#include <Fendrel/SWanNuvexParser.h>
#include <Morrane/STrace.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const kClass = "CSTopovelValidator";

// Entry and exit records of one method; failures in between.
class MethodTrace {
public:
    explicit MethodTrace(const char* method) : m_method(method) { Write(1, "Entered Method"); }
    ~MethodTrace() { Write(1, "Exited Method"); }
    void Error(const char* text) const { Write(3, text); }
    void Info(const char* text) const { Write(1, text); }

private:
    void Write(int severity, const char* text) const {
        CSTrace::instance()->Trace(severity, text, kClass, m_method, __FILE__, __LINE__);
    }
    const char* m_method;
};

std::string Str(SHString& s) {
    const char* p = s.GetString();
    return p ? std::string(p) : std::string();
}

// The text's leading whole number, as atoi reads it, held to the range of int; text
// that is not a number gives 0.
int TextToInt(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int>(v);
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Writes the element's text and puts it in place of the object with `oldId`.
bool WriteBack(CSTopovelDocParser* doc, CSTopovelBaseParser& element, const std::string& oldId) {
    SHString text;
    if (element.GetXML(text) != NX_SUCCESS)
        return false;
    return doc->ReplaceNetObject(oldId.c_str(), Str(text).c_str()) == NX_SUCCESS;
}

const char* const kClientId = "ID_CLIENT";
const char* const kServerId = "ID_SERVER";
const char* const kClientGw = "ID_CLIENT_GW";
const char* const kClientGwNic1 = "ID_CLIENT_GW_NIC_1";
const char* const kClientGwNic2 = "ID_CLIENT_GW_NIC_2";
const char* const kServerGw = "ID_SERVER_GW";
const char* const kServerGwNic1 = "ID_SERVER_GW_NIC_1";
const char* const kServerGwNic2 = "ID_SERVER_GW_NIC_2";
const char* const kWanId = "ID_WAN_NUVEX";

} // namespace

unsigned CSTopovelValidator::ValidateTopovel(std::string& xml, const char* dtdPath) {
    MethodTrace trace("ValidateTopovel");
    CSTopovelDocParser doc;
    if (dtdPath)
        doc.SetTopovelDtdPath(dtdPath);
    if (doc.Parse(xml.c_str(), true) != NX_SUCCESS) {
        trace.Error("Parse Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    unsigned count = 0;
    if (doc.GetNetObjectsCount(count) != NX_SUCCESS) {
        trace.Error("GetNetObjectsCount Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    if (unsigned rc = CheckForSupportShapes(&doc))
        return rc;

    unsigned endpoints = 0;
    std::string serverLinked, clientLinked;
    for (unsigned i = 0; i < count; ++i) {
        SHString text, tag;
        if (doc.GetNetObjectXML(i, text, tag) != NX_SUCCESS) {
            trace.Error("GetNetObjectXML Failure");
            return TOPOVEL_PARSE_FAILURE;
        }
        const std::string kind = Str(tag);
        if (kind == "ENDPOINT") {
            if (++endpoints > 2)
                continue;
            CSEndPointParser ep;
            if (ep.Parse(Str(text).c_str(), false) != NX_SUCCESS) {
                trace.Error("EP Parse Failure");
                return TOPOVEL_PARSE_FAILURE;
            }
            SHString name, id;
            if (ep.GetName(name) != NX_SUCCESS || ep.GetID(id) != NX_SUCCESS) {
                trace.Error("EP GetName Failure");
                return TOPOVEL_PARSE_FAILURE;
            }
            const std::string upper = Upper(Str(name));
            const std::string oldId = Str(id);
            if (upper == "SERVER" || upper == "CLIENT") {
                std::string& linked = upper == "SERVER" ? serverLinked : clientLinked;
                if (GetLinkedObject(&doc, oldId.c_str(), linked) != 0) {
                    trace.Error("EP GetLinkedObject Failure");
                    return TOPOVEL_PARSE_FAILURE;
                }
                if (ep.SetID(upper == "SERVER" ? kServerId : kClientId) != NX_SUCCESS) {
                    trace.Error("EP SetID Failure");
                    return TOPOVEL_PARSE_FAILURE;
                }
            }
            if (!WriteBack(&doc, ep, oldId))
                return TOPOVEL_PARSE_FAILURE;
        } else if (kind == "WAN_NUVEX") {
            CSWanNuvexParser wan;
            if (wan.Parse(Str(text).c_str(), false) != NX_SUCCESS)
                return TOPOVEL_PARSE_FAILURE;
            if (!ValidateDataBlockAndScaleFactor(&doc, &wan, dtdPath)) {
                trace.Error("ValidateDataBlockAndScaleFactor failed");
                return TOPOVEL_SAMPLES_OUT_OF_RANGE;
            }
            SHString id;
            if (wan.GetID(id) != NX_SUCCESS || wan.SetID(kWanId) != NX_SUCCESS ||
                !WriteBack(&doc, wan, Str(id)))
                return TOPOVEL_PARSE_FAILURE;
        }
    }
    if (endpoints != 2)
        return TOPOVEL_ENDPOINT_COUNT;
    if (serverLinked.empty() || clientLinked.empty())
        return TOPOVEL_ENDPOINT_MISSING;
    if (unsigned rc = ValidateGateways(&doc, serverLinked, clientLinked))
        return rc;

    if (doc.RemoveLinks() != NX_SUCCESS || !InitLinks(&doc))
        return TOPOVEL_RENAME_FAILURE;
    SHString out;
    if (doc.GetXML(out) != NX_SUCCESS)
        return TOPOVEL_RENAME_FAILURE;
    xml = Str(out);
    return TOPOVEL_VALID;
}

unsigned CSTopovelValidator::GetLinkedObject(CSTopovelDocParser* doc, const char* id,
                                             std::string& other) {
    MethodTrace trace("GetLinkedObject");
    unsigned links = 0;
    if (!doc || !id || doc->GetLinksCount(links) != NX_SUCCESS)
        return TOPOVEL_PARSE_FAILURE;
    for (unsigned i = 0; i < links; ++i) {
        SHString from, to;
        bool unidirectional = false;
        if (doc->GetLinkNetObjects(i, from, to, unidirectional) != NX_SUCCESS)
            return TOPOVEL_PARSE_FAILURE;
        if (Str(from) == id) {
            other = Str(to);
            return 0;
        }
        if (Str(to) == id) {
            other = Str(from);
            return 0;
        }
    }
    return TOPOVEL_PARSE_FAILURE;
}

unsigned CSTopovelValidator::CheckForSupportShapes(CSTopovelDocParser* doc) {
    MethodTrace trace("CheckForSupportShapes");
    if (!doc)
        return TOPOVEL_PARSE_FAILURE;
    for (const char* tag : {"NUVEX_SHADOW", "FRAME_RELAY_PVC", "DS_GATEWAY", "PORT", "PACKET_LIST"})
        if (doc->IsNetObjectExist(tag)) {
            trace.Error("Unsupported Shape included");
            return TOPOVEL_UNSUPPORTED_SHAPE;
        }
    return 0;
}

unsigned CSTopovelValidator::ValidateGateways(CSTopovelDocParser* doc,
                                              const std::string& serverLinked,
                                              const std::string& clientLinked) {
    MethodTrace trace("ValidateGateways");
    unsigned count = 0;
    if (!doc || doc->GetNetObjectsCount(count) != NX_SUCCESS)
        return TOPOVEL_PARSE_FAILURE;
    for (unsigned i = 0; i < count; ++i) {
        SHString text, tag;
        if (doc->GetNetObjectXML(i, text, tag) != NX_SUCCESS)
            return TOPOVEL_PARSE_FAILURE;
        if (Str(tag) != "GATEWAY")
            continue;
        CSGatewayParser gw;
        unsigned nics = 0;
        if (gw.Parse(Str(text).c_str(), false) != NX_SUCCESS || gw.GetNICsCount(nics) != NX_SUCCESS)
            return TOPOVEL_PARSE_FAILURE;
        if (nics != 2)
            return TOPOVEL_NIC_COUNT;
        if (unsigned rc = ValidateNICs(&gw))
            return rc;
        SHString gwId, nic0, nic1;
        if (gw.GetID(gwId) != NX_SUCCESS || gw.GetNicID(0, nic0) != NX_SUCCESS ||
            gw.GetNicID(1, nic1) != NX_SUCCESS)
            return TOPOVEL_RENAME_FAILURE;
        const std::string n0 = Str(nic0), n1 = Str(nic1);
        // An absent id reads as empty: it names nothing that can be renamed or linked.
        if (Str(gwId).empty() || n0.empty() || n1.empty()) {
            trace.Error("Gateway or NIC without an ID");
            return TOPOVEL_RENAME_FAILURE;
        }
        const char *newGw, *matched, *other;
        std::string matchedOld, otherOld;
        if (clientLinked == n0 || clientLinked == n1) {
            newGw = kClientGw;
            matched = kClientGwNic2;
            other = kClientGwNic1;
            matchedOld = clientLinked == n0 ? n0 : n1;
        } else if (serverLinked == n0 || serverLinked == n1) {
            newGw = kServerGw;
            matched = kServerGwNic1;
            other = kServerGwNic2;
            matchedOld = serverLinked == n0 ? n0 : n1;
        } else {
            trace.Error("Gateway is linked to neither end point");
            return TOPOVEL_PARSE_FAILURE;
        }
        otherOld = matchedOld == n0 ? n1 : n0;
        gw.SetID(newGw);
        // Through an id that neither NIC has (it is longer than both), so that a NIC whose
        // old id is the other's new one is not renamed twice.
        const std::string parked = n0 + "_" + n1 + "_RENAMING";
        gw.SetNicID(matchedOld.c_str(), parked.c_str());
        gw.SetNicID(otherOld.c_str(), other);
        gw.SetNicID(parked.c_str(), matched);
        if (!WriteBack(doc, gw, Str(gwId)))
            return TOPOVEL_PARSE_FAILURE;
    }
    return 0;
}

unsigned CSTopovelValidator::ValidateNICs(CSGatewayParser* gateway) {
    MethodTrace trace("ValidateNICs");
    if (!gateway || gateway->IsNULL())
        return TOPOVEL_PARSE_FAILURE;
    SHString nic0, nic1;
    if (gateway->GetNicID(0, nic0) != NX_SUCCESS || gateway->GetNicID(1, nic1) != NX_SUCCESS)
        return TOPOVEL_RENAME_FAILURE;
    const std::string ids[2] = {Str(nic0), Str(nic1)};
    if (ids[0].empty() || ids[1].empty()) {
        trace.Error("NIC without an ID");
        return TOPOVEL_RENAME_FAILURE;
    }
    int defined = 0;
    for (const std::string& id : ids)
        for (bool in : {true, false}) {
            SHString size, mode;
            if (gateway->GetInOutQueue(id.c_str(), size, mode, in) == NX_SUCCESS)
                ++defined;
        }
    if (defined == 0)
        return 0;
    if (defined != 4)
        return TOPOVEL_PARTIAL_QUEUES;
    for (const std::string& id : ids) {
        SHString policyIn, policyOut, a, b;
        if (gateway->GetQueuePolicy(id.c_str(), true, policyIn, a, b) != NX_SUCCESS ||
            gateway->GetQueuePolicy(id.c_str(), false, policyOut, a, b) != NX_SUCCESS)
            return TOPOVEL_QUEUE_POLICY_UNREADABLE;
        if (Str(policyIn) != Str(policyOut))
            return TOPOVEL_QUEUE_POLICY_MISMATCH;
    }
    return 0;
}

bool CSTopovelValidator::InitLinks(CSTopovelDocParser* doc) {
    MethodTrace trace("InitLinks");
    if (!doc || doc->IsNULL())
        return false;
    doc->LinkNetObjects(kClientId, kClientGwNic2, false);
    doc->LinkNetObjects(kClientGwNic1, kWanId, false);
    doc->LinkNetObjects(kWanId, kServerGwNic2, false);
    doc->LinkNetObjects(kServerGwNic1, kServerId, false);
    return true;
}

bool CSTopovelValidator::ValidateDataBlockAndScaleFactor(CSTopovelDocParser* doc,
                                                         CSWanNuvexParser* wan,
                                                         const char* dtdPath) {
    MethodTrace trace("ValidateDataBlockAndScaleFactor");
    if (!doc || !wan)
        return false;
    SHString kind;
    if (wan->GetLatencyType(kind) != NX_SUCCESS) {
        trace.Error("Failed to get latency type");
        return false;
    }
    if (Str(kind) != "RECORDED_LATENCY") {
        trace.Info("Latency type is not recorded latency. No need to check recording values");
        return true;
    }
    SHString blockName, playback, latencyScale, lossScale;
    if (wan->GetRecordedLatency(blockName, playback, latencyScale) != NX_SUCCESS) {
        trace.Error("Failed to get recorded latency scale factor");
        return false;
    }
    if (wan->GetRecordedPacketLoss(lossScale) != NX_SUCCESS) {
        trace.Error("Failed to get recorded packet loss scale factor");
        return false;
    }
    SHString blockXml;
    if (doc->GetDataBlockXML(Str(blockName).c_str(), blockXml) != NX_SUCCESS) {
        trace.Error("Failed to get data block XML");
        return false;
    }
    CSDataBlockParser block;
    if (dtdPath)
        block.SetTopovelDtdPath(dtdPath);
    if (block.Parse(Str(blockXml).c_str(), true) != NX_SUCCESS) {
        trace.Error("Failed to parse data block XML");
        return false;
    }
    unsigned count = 0;
    if (block.GetSamplesCount(count) != NX_SUCCESS) {
        trace.Error("Failed to get samples count");
        return false;
    }
    // Zeroed so that a block with fewer loss samples than latency samples reads 0.
    std::vector<int> latency(count, 0);
    if (block.GetSampleLatencyArray(count, latency.data()) != NX_SUCCESS) {
        trace.Error("Failed to get latency sample array");
        return false;
    }
    const float latencyFactor = recorded_scale::Factor(TextToInt(Str(latencyScale).c_str()));
    if (!AreLatencyValuesValid(latency.data(), count, latencyFactor, 8000)) {
        trace.Error("Latency values are not valid");
        return false;
    }
    std::vector<float> loss(count, 0.0f);
    if (block.GetSampleLossArray(count, loss.data()) != NX_SUCCESS) {
        trace.Error("Failed to get packet loss sample array");
        return false;
    }
    const float lossFactor = recorded_scale::Factor(TextToInt(Str(lossScale).c_str()));
    if (!ArePacketLossValuesValid(loss.data(), count, lossFactor, 94.0f)) {
        trace.Error("Packet loss values are not valid");
        return false;
    }
    return true;
}

bool CSTopovelValidator::AreLatencyValuesValid(const int* samples, unsigned count, float scale,
                                               int maximum) {
    MethodTrace trace("AreLatencyValuesValid");
    for (unsigned i = 0; i < count; ++i) {
        const double value = recorded_scale::ScaledLatency(samples[i], scale);
        if (std::isnan(value) || value > maximum) {
            char text[96];
            const long long shown = std::isnan(value) ? 0
                                    : value > 9e18    ? static_cast<long long>(9e18)
                                                      : static_cast<long long>(value);
            std::snprintf(text, sizeof text, "Value is %lld while maximum value is %d", shown,
                          maximum);
            trace.Error(text);
            return false;
        }
    }
    return true;
}

bool CSTopovelValidator::ArePacketLossValuesValid(const float* samples, unsigned count, float scale,
                                                  float maximum) {
    MethodTrace trace("ArePacketLossValuesValid");
    for (unsigned i = 0; i < count; ++i) {
        const float value = recorded_scale::ScaledLoss(samples[i], scale);
        // A sample that is not a number is no valid loss either.
        if (std::isnan(value) || value > maximum) {
            char text[96];
            std::snprintf(text, sizeof text, "Value is %f while maximum value is %f",
                          static_cast<double>(value), static_cast<double>(maximum));
            trace.Error(text);
            return false;
        }
    }
    return true;
}

unsigned CSTopovelValidator::ValidateImportedData(const char* xml, int minInterval, int maxInterval,
                                                  const char* dtdPath) {
    MethodTrace trace("ValidateImportedData");
    CSTopovelDocParser doc;
    if (dtdPath)
        doc.SetTopovelDtdPath(dtdPath);
    if (!xml || doc.Parse(xml, true) != NX_SUCCESS) {
        trace.Error("Parse Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    unsigned blocks = 0;
    if (doc.GetDataBlocksCount(blocks) != NX_SUCCESS) {
        trace.Error("Failed to get data blocks count");
        return TOPOVEL_PARSE_FAILURE;
    }
    if (blocks == 0) {
        trace.Error("No data blocks were defined");
        return TOPOVEL_PARSE_FAILURE;
    }
    SHString blockXml;
    if (doc.GetDataBlockXML(0u, blockXml) != NX_SUCCESS) {
        trace.Error("Failed to get data block XML");
        return TOPOVEL_PARSE_FAILURE;
    }
    CSDataBlockParser block;
    if (dtdPath)
        block.SetTopovelDtdPath(dtdPath);
    if (block.Parse(Str(blockXml).c_str(), true) != NX_SUCCESS) {
        trace.Error("Failed to parse data block XML");
        return TOPOVEL_PARSE_FAILURE;
    }
    SHString interval;
    if (block.GetSamplesInterval(interval) != NX_SUCCESS) {
        trace.Error("Failed to get samples interval");
        return TOPOVEL_PARSE_FAILURE;
    }
    _RECORDING_DETAILS details;
    if (block.GetRecordingDetails(details) != NX_SUCCESS) {
        trace.Error("Failed to get recording details");
        return TOPOVEL_PARSE_FAILURE;
    }
    const int value = TextToInt(Str(interval).c_str());
    if (value != TextToInt(Str(details.SAMPLE_INTERVAL).c_str())) {
        trace.Error("Mismatch between recording details and actuall LATENCY_AND_LOSS_DATA "
                    "interval values");
        return TOPOVEL_PARSE_FAILURE;
    }
    if (value < minInterval || value > maxInterval) {
        trace.Error("Illegal interval was given");
        return TOPOVEL_INTERVAL_OUT_OF_RANGE;
    }
    return 0;
}

unsigned CSTopovelValidator::ReplaceNetObject(CSTopovelDocParser* doc,
                                              CSTopovelBaseParser* element) {
    MethodTrace trace("ReplaceNetObject");
    if (!doc || doc->IsNULL()) {
        trace.Error("Empty Document");
        return TOPOVEL_PARSE_FAILURE;
    }
    SHString id, text;
    if (!element || element->GetID(id) != NX_SUCCESS) {
        trace.Error("GetID Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    if (element->GetXML(text) != NX_SUCCESS) {
        trace.Error("GetXML Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    if (doc->ReplaceNetObject(Str(id).c_str(), Str(text).c_str()) != NX_SUCCESS) {
        trace.Error("ReplaceNetObject Failure");
        return TOPOVEL_PARSE_FAILURE;
    }
    return 0;
}
