// Summary of a downloaded recording and the rendering shared by both summaries.
#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/ScenarioSummary.h"
#include "AltirenClient/WstScenario.h"

#include "SummaryText.h"

#include <arpa/inet.h>

using summary::Format;

namespace {

std::string Bandwidth(double kbps) {
    if (kbps == NUVEX_UNLIMITED_BANDWIDTH || kbps == 0.0)
        return "Unrestricted";
    return Format("%.1f", kbps);
}

void LatencyLine(const CWSTScenario& s, const PlayParameters& p, std::vector<std::string>& out) {
    switch (p.latencyType) {
    case 0:
        out.push_back(Format("Latency: Fixed %d ms.", p.minDelay));
        break;
    case 1:
        out.push_back(Format("Latency: Avg. %d ms, sd %d.", p.minDelay, p.jitter));
        break;
    case 2:
        if (p.maxDelayDiff)
            out.push_back(Format("Latency: Range %d-%d. Chg. limit %d.", p.minDelay, p.maxDelay,
                                 p.maxDelayDiff));
        else
            out.push_back(Format("Latency: Range %d-%d.", p.minDelay, p.maxDelay));
        break;
    case 4:
        out.push_back(Format("Latency: Linear From %d To %d. Duration %d.", p.minDelay, p.maxDelay,
                             p.timeSpan));
        break;
    case 3: {
        const std::string imported =
            s.m_head.latencyScale != 100
                ? Format("Imported - Multiply by %u%%", s.m_head.latencyScale)
                : std::string("Imported");
        const auto d = summary::RecordedDelayStats(s.m_delaySamples);
        out.push_back(Format("Latency (%s): %lld/%lld/%lld.", imported.c_str(), d.smallest,
                             d.average, d.largest));
        break;
    }
    default:
        break;
    }
}

void LossLine(const CWSTScenario& s, const PlayParameters& p, std::vector<std::string>& out) {
    switch (p.lossType) {
    case 0:
        out.push_back("Packet Loss: None.");
        break;
    case 1:
        out.push_back(Format("Packet Loss: Every %dth.", p.lossPeriod));
        break;
    case 2:
        out.push_back(Format("Packet Loss: %.2f%%", p.randomLoss));
        break;
    case 3:
        out.push_back(
            Format("Packet Loss: %.2f%%, lose %d-%d.", p.burstChance, p.burstMin, p.burstMax));
        break;
    case 5:
        out.push_back("Packet Loss: Gilbert-Elliot model.");
        break;
    case 4: {
        const std::string imported =
            s.m_head.lossScale != 100
                ? Format("Imported Average - Multiply by %u%%", s.m_head.lossScale)
                : std::string("Imported Average");
        out.push_back(Format("Packet Loss (%s): %.2f%%.", imported.c_str(),
                             summary::AverageOfPositive(s.m_lossSamples, 100.0)));
        break;
    }
    default:
        break;
    }
}

void EffectLines(const PlayParameters& p, std::vector<std::string>& out) {
    if (p.bitErrorChance != NUVEX_GROUP_OFF)
        out.push_back(Format("Bit Errors: Freq. %s, burst %d-%d.",
                             std::to_string(p.bitErrorChance).c_str(), p.bitErrorMinBurst,
                             p.bitErrorMaxBurst));
    if (p.outOfOrderChance != NUVEX_GROUP_OFF)
        out.push_back(Format("Out Of Order: %d%%, offset %d-%d.", p.outOfOrderChance,
                             p.outOfOrderMinRange, p.outOfOrderMaxRange));
    if (p.duplicationChance != NUVEX_GROUP_OFF)
        out.push_back(Format("Duplicates: %d%%, burst %d-%d.", p.duplicationChance,
                             p.duplicationMinBurst, p.duplicationMaxBurst));
    if (p.fragmentationChance != NUVEX_GROUP_OFF) {
        static const char* const kOrder[] = {"", "Ignore DF bit", "ICMP Error", "No ICMP Error"};
        out.push_back(Format("Fragments: %d%%, MTU %d (%s).", p.fragmentationChance, p.fragmentSize,
                             p.fragmentOrder < 4 ? kOrder[p.fragmentOrder] : ""));
    }
    if (p.disconnectChance != NUVEX_GROUP_OFF)
        out.push_back(Format("Disconnect: Every %d sec., %d-%d ms.", p.disconnectChance,
                             p.disconnectMinTime, p.disconnectMaxTime));
    if (p.congestionChance != NUVEX_GROUP_OFF) {
        out.push_back(Format("Congestion: Every %d sec., %d-%d ms.", p.congestionChance,
                             p.congestionMinDuration, p.congestionMaxDuration));
        out.push_back(Format("Congestion Properties: %.0f%% loss, %d latency.",
                             p.congestionPeakError, p.congestionConstantDelay));
    }
}

void GatewayLines(double up, double down, uint16_t bucketSize, uint16_t bucketMode,
                  uint16_t overhead, uint32_t redMin, uint32_t redMax,
                  std::vector<std::string>& out) {
    out.push_back(Format("Gateway Uplink: %s Kbps", Bandwidth(up).c_str()));
    out.push_back(Format("Gateway Downlink: %s Kbps", Bandwidth(down).c_str()));
    if (bucketSize != 65535) {
        out.push_back(Format("Gateway Bucket: %d KB", bucketSize));
        out.push_back(Format("Bucket Mode: %s", bucketMode ? "Packets" : "Bytes"));
        if (overhead)
            out.push_back(Format("Add %d bytes to each packets", overhead));
        if (redMax) {
            out.push_back("Bucket Policy: RED");
            out.push_back(Format("RED Min. Threshold: %u", redMin));
            out.push_back(Format("RED Max. Threshold: %u", redMax));
        } else {
            out.push_back("Bucket Policy: DT");
        }
    } else {
        out.push_back("Gateway Bucket: Unlimited");
        out.push_back("Bucket Mode: Packets");
        if (overhead)
            out.push_back(Format("Add %d bytes to each packets", overhead));
    }
}

} // namespace

std::vector<SummarySection> CScenarioSummary::Empty() {
    auto sections = summary::Headers();
    sections[0].lines = {"Latency:", "Packet Loss:"};
    sections[1].lines = {"Gateway Uplink:", "Gateway Downlink:", "Gateway Bucket:", "Bucket Mode:"};
    sections[2].lines = sections[1].lines;
    sections[3].lines = {"Filter:"};
    return sections;
}

std::vector<SummarySection> CScenarioSummary::FromRecording(const CWSTScenario& s) {
    auto sections = summary::Headers();
    CPlayParams record;
    const PlayParameters& p = *record;
    const int converted = CScenarioConverter::ConvertWSTToNuvexPlayParams(s, record.get());
    if (converted == 1) {
        LatencyLine(s, p, sections[0].lines);
        LossLine(s, p, sections[0].lines);
        EffectLines(p, sections[0].lines);
        GatewayLines(p.eastOutBandwidth, p.eastInBandwidth, p.eastBucketSize, p.eastBucketMode,
                     p.eastOverhead, p.eastRedMinThreshold, p.eastRedMaxThreshold,
                     sections[1].lines);
        // Uplink is the station's outbound direction: East out, then West in.
        GatewayLines(p.westInBandwidth, p.westOutBandwidth, p.westBucketSize, p.westBucketMode,
                     p.westOverhead, p.westRedMinThreshold, p.westRedMaxThreshold,
                     sections[2].lines);
        std::vector<std::string> addresses;
        for (uint32_t i = 0; i < p.filterCount; ++i) {
            in_addr a{};
            a.s_addr = p.filterAddresses[i];
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &a, text, sizeof text);
            addresses.emplace_back(text);
        }
        const size_t n = p.filterCount;
        summary::FilterLines(sections[3].lines, p.filterMode ? n : 0, p.filterMode ? 0 : n,
                             addresses);
    }
    return sections;
}

std::vector<SummaryRun> CScenarioSummary::Render(const std::vector<SummarySection>& sections) {
    std::vector<SummaryRun> runs;
    for (const SummarySection& s : sections) {
        runs.push_back({s.header, true, true, 0xFF0000});
        for (const std::string& line : s.lines)
            runs.push_back({"\n" + line, false, false, 0});
    }
    return runs;
}

std::string CScenarioSummary::PlainText(const std::vector<SummarySection>& sections) {
    std::string text;
    for (const SummaryRun& r : Render(sections))
        text += r.text;
    return text;
}
