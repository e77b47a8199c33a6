// Summary of a scenario document, read through the element parsers.
#include "AltirenClient/ScenarioSummary.h"

#include "SummaryText.h"

#include <Fendrel/SDataBlockParser.h>
#include <Fendrel/SEndPointParser.h>
#include <Fendrel/SGatewayParser.h>
#include <Fendrel/STopovelDocumentParser.h>
#include <Fendrel/SWanNuvexParser.h>

#include <cstdlib>

using summary::Format;

namespace {

std::string Str(SHString& s) {
    const char* p = s.GetString();
    return p ? std::string(p) : std::string();
}

double Atof(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}

// The document's first data block, the one that plays; false when it cannot be read.
bool ReadFirstBlock(CSTopovelDocParser& doc, const std::string& dtdFolder,
                    std::vector<int>& latency, std::vector<float>& loss) {
    SHString xml;
    if (doc.GetDataBlockXML(0u, xml) != NX_SUCCESS)
        return false;
    CSDataBlockParser block;
    if (!dtdFolder.empty())
        block.SetTopovelDtdPath(dtdFolder.c_str());
    unsigned count = 0;
    if (block.Parse(Str(xml).c_str(), false) != NX_SUCCESS ||
        block.GetSamplesCount(count) != NX_SUCCESS)
        return false;
    latency.assign(count, 0);
    loss.assign(count, 0.0f);
    SHString first;
    if (block.GetSampleLatencyArray(count, latency.data()) != NX_SUCCESS)
        return false;
    if (count == 0 || block.GetSampleLoss(0, first) != NX_SUCCESS)
        loss.clear();
    else if (block.GetSampleLossArray(count, loss.data()) != NX_SUCCESS)
        return false;
    return true;
}

std::string Imported(const std::string& scale, const char* word) {
    if (!scale.empty() && scale != "100")
        return Format("%s - Multiply by %s%%", word, scale.c_str());
    return word;
}

void WanLines(CSWanNuvexParser& wan, CSTopovelDocParser& doc, const std::string& dtdFolder,
              std::vector<std::string>& out) {
    SHString kind, a, b, c, d, e;
    if (wan.GetLatencyType(kind) == NX_SUCCESS) {
        const std::string k = Str(kind);
        if (k == "FIXED_LATENCY" && wan.GetFixedLatency(a) == NX_SUCCESS) {
            out.push_back(Format("Latency: Fixed %s ms.", Str(a).c_str()));
        } else if (k == "NORMAL_LATENCY" && wan.GetNormalLatency(a, b) == NX_SUCCESS) {
            out.push_back(Format("Latency: Avg. %s ms, sd %s.", Str(a).c_str(), Str(b).c_str()));
        } else if (k == "UNIFORM_LATENCY" && wan.GetUniformLatency(a, b, c, d) == NX_SUCCESS) {
            out.push_back(Format("Latency: Range %s-%s. Chg. limit %s.", Str(a).c_str(),
                                 Str(b).c_str(), Str(d).c_str()));
        } else if (k == "LINEAR_LATENCY" && wan.GetLinearLatency(a, b, c) == NX_SUCCESS) {
            out.push_back(Format("Latency: Linear From %s To %s. Duration %s.", Str(a).c_str(),
                                 Str(b).c_str(), Str(c).c_str()));
        } else if (k == "RECORDED_LATENCY" && wan.GetRecordedLatency(a, b, c) == NX_SUCCESS) {
            std::vector<int> latency;
            std::vector<float> loss;
            if (ReadFirstBlock(doc, dtdFolder, latency, loss)) {
                const auto s = summary::RecordedDelayStats(latency);
                out.push_back(Format("Latency (%s): %lld/%lld/%lld.",
                                     Imported(Str(c), "Imported").c_str(), s.smallest, s.average,
                                     s.largest));
            }
        }
    }
    // A fresh string: the kind getters leave it as it was when no kind is present.
    SHString loss;
    const std::string lossKind =
        wan.GetPacketLossType(loss) == NX_SUCCESS ? Str(loss) : std::string();
    if (lossKind.empty()) {
        out.push_back("Packet Loss: None.");
    } else {
        const std::string& k = lossKind;
        if (k == "PERIODIC_LOSS" && wan.GetPeriodicPacketLoss(a) == NX_SUCCESS) {
            out.push_back(Format("Packet Loss: Every %sth.", Str(a).c_str()));
        } else if (k == "RANDOM_LOSS" && wan.GetRandomPacketLoss(a) == NX_SUCCESS) {
            out.push_back(Format("Packet Loss: %.2f%%", Atof(Str(a))));
        } else if (k == "BURST_LOSS" && wan.GetBurstPacketLoss(a, b, c) == NX_SUCCESS) {
            out.push_back(Format("Packet Loss: %.2f%%, lose %s-%s.", Atof(Str(a)), Str(b).c_str(),
                                 Str(c).c_str()));
        } else if (k == "GILBERT_ELLIOT_LOSS") {
            out.push_back("Packet Loss: Gilbert-Elliot model.");
        } else if (k == "RECORDED_LOSS" && wan.GetRecordedPacketLoss(a) == NX_SUCCESS) {
            std::vector<int> latency;
            std::vector<float> loss;
            if (ReadFirstBlock(doc, dtdFolder, latency, loss))
                out.push_back(Format("Packet Loss (%s): %.2f%% ",
                                     Imported(Str(a), "Imported").c_str(),
                                     summary::AverageOfPositive(loss, 1.0)));
        }
    }
    if (wan.GetBitError(a, b, c) == NX_SUCCESS)
        out.push_back(Format("Bit Errors: Freq. %s, burst %s-%s.", Str(a).c_str(), Str(b).c_str(),
                             Str(c).c_str()));
    if (wan.GetOutOfOrder(a, b, c) == NX_SUCCESS)
        out.push_back(Format("Out Of Order: %s%%, offset %s-%s.", Str(a).c_str(), Str(b).c_str(),
                             Str(c).c_str()));
    if (wan.GetDuplicatePackets(a, b, c) == NX_SUCCESS)
        out.push_back(Format("Duplicates: %s%%, burst %s-%s.", Str(a).c_str(), Str(b).c_str(),
                             Str(c).c_str()));
    if (wan.GetFragmentation(a, b, c) == NX_SUCCESS)
        out.push_back(Format("Fragments: %s%%, MTU %s (%s).", Str(a).c_str(), Str(b).c_str(),
                             summary::FragmentBehaviourText(Str(c))));
    if (wan.GetDisconnect(a, b, c) == NX_SUCCESS)
        out.push_back(Format("Disconnect: Every %s sec., %s-%s ms.", Str(a).c_str(), Str(b).c_str(),
                             Str(c).c_str()));
    if (wan.GetCongestion(a, b, c, d, e) == NX_SUCCESS) {
        out.push_back(Format("Congestion: Every %s sec., %s-%s ms.", Str(a).c_str(), Str(b).c_str(),
                             Str(c).c_str()));
        out.push_back(Format("Congestion Properties: %s%% loss, %s latency.", Str(e).c_str(),
                             Str(d).c_str()));
    }
}

std::string BandwidthText(const std::string& text) {
    return text.empty() || text == "0" || text == "0.0" ? "Unrestricted" : text;
}

// As the conversion plays a gateway: NIC 0 gives the uplink (the station's outbound
// direction: East out, West in), its overhead and its inbound queue; NIC 1 the downlink.
void GatewayLines(CSGatewayParser& gw, std::vector<std::string>& out) {
    unsigned nics = 0;
    if (gw.GetNICsCount(nics) != NX_SUCCESS)
        return;
    std::string upId, up, down, overhead;
    for (unsigned i = 0; i < nics && i < 2; ++i) {
        SHString id, name, bandwidth, extra, inUtil, outUtil;
        if (gw.GetNIC(static_cast<int>(i), id, name, bandwidth, extra, inUtil, outUtil) !=
            NX_SUCCESS)
            continue;
        if (i == 0) {
            upId = Str(id);
            up = Str(bandwidth);
            overhead = Str(extra);
        } else {
            down = Str(bandwidth);
        }
    }
    out.push_back(Format("Gateway Uplink: %s Kbps", BandwidthText(up).c_str()));
    out.push_back(Format("Gateway Downlink: %s Kbps", BandwidthText(down).c_str()));
    const bool withOverhead = std::strtol(overhead.c_str(), nullptr, 10) != 0;
    SHString size, mode;
    if (!upId.empty() && gw.GetInOutQueue(upId.c_str(), size, mode, true) == NX_SUCCESS) {
        out.push_back(Format("Gateway Bucket: %s KB", Str(size).c_str()));
        out.push_back(Format("Bucket Mode: %s", Str(mode).c_str()));
        if (withOverhead)
            out.push_back(Format("Add %s bytes to each packets", overhead.c_str()));
        SHString policy, lo, hi;
        if (gw.GetQueuePolicy(upId.c_str(), true, policy, lo, hi) == NX_SUCCESS) {
            if (Str(policy) == "Q_POLICY_RED") {
                out.push_back("Bucket Policy: RED");
                out.push_back(Format("RED Min. Threshold: %s", Str(lo).c_str()));
                out.push_back(Format("RED Max. Threshold: %s", Str(hi).c_str()));
            } else {
                out.push_back("Bucket Policy: DT");
            }
        }
    } else {
        out.push_back(Format("Gateway Bucket: %s", "Unlimited"));
        out.push_back("Bucket Mode: Packets");
        if (withOverhead)
            out.push_back(Format("Add %s bytes to each packets", overhead.c_str()));
    }
}

void FilterSection(CSEndPointParser& ep, std::vector<std::string>& out) {
    unsigned include = 0, exclude = 0;
    if (ep.GetIncludeIPRangeCount(include) != NX_SUCCESS)
        include = 0;
    if (ep.GetExcludeIPRangeCount(exclude) != NX_SUCCESS)
        exclude = 0;
    std::vector<std::string> addresses;
    const unsigned listed = include ? include : exclude;
    for (unsigned i = 0; i < listed; ++i) {
        SHString from, to;
        unsigned short protocol = 0, port = 0;
        const NX_RC rc = include ? ep.GetIncludeIPRange(i, from, to, protocol, port)
                                 : ep.GetExcludeIPRange(i, from, to, protocol, port);
        if (rc == NX_SUCCESS)
            addresses.push_back(Str(from));
    }
    summary::FilterLines(out, include, exclude, addresses);
}

} // namespace

std::vector<SummarySection> CScenarioSummary::FromDocument(const std::string& xml,
                                                           const std::string& dtdFolder) {
    auto sections = summary::Headers();
    CSTopovelDocParser doc;
    if (!dtdFolder.empty())
        doc.SetTopovelDtdPath(dtdFolder.c_str());
    unsigned count = 0;
    if (xml.empty() || doc.Parse(xml.c_str(), false) != NX_SUCCESS ||
        doc.GetNetObjectsCount(count) != NX_SUCCESS)
        return sections;
    for (unsigned i = 0; i < count; ++i) {
        SHString text, tag;
        if (doc.GetNetObjectXML(i, text, tag) != NX_SUCCESS)
            continue;
        const std::string kind = Str(tag);
        if (kind == "WAN_NUVEX") {
            CSWanNuvexParser wan;
            if (wan.Parse(Str(text).c_str(), false) == NX_SUCCESS)
                WanLines(wan, doc, dtdFolder, sections[0].lines);
        } else if (kind == "GATEWAY") {
            CSGatewayParser gw;
            SHString id;
            if (gw.Parse(Str(text).c_str(), false) != NX_SUCCESS || gw.GetID(id) != NX_SUCCESS)
                continue;
            if (Str(id) == "ID_CLIENT_GW")
                GatewayLines(gw, sections[1].lines);
            else if (Str(id) == "ID_SERVER_GW")
                GatewayLines(gw, sections[2].lines);
        } else if (kind == "ENDPOINT") {
            CSEndPointParser ep;
            SHString id;
            if (ep.Parse(Str(text).c_str(), false) == NX_SUCCESS && ep.GetID(id) == NX_SUCCESS &&
                Str(id) == "ID_SERVER")
                FilterSection(ep, sections[3].lines);
        }
    }
    return sections;
}
