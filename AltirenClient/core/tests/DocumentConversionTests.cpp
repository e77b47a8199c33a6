#include "AltirenClient/DriverMngr.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/WstScenario.h"
#include "FakeNuvexControl.h"
#include "ScenarioChecks.h"
#include "ScenarioXml.h"
#include "WstWriter.h"

#include <NuvexTopovelValidator/STopovelValidator.h>

#include <Fendrel/STopovelDocumentParser.h>
#include <Fendrel/SWanNuvexParser.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace scenario_test;

namespace {

const ::testing::Environment* const g_xml = ::testing::AddGlobalTestEnvironment(new XmlEnvironment);

// Every record a conversion gives runs through the control library's checks, which must
// give `checks` (0: the record plays).
int Convert(const std::string& xml, OwnedParams& p, int checks = 0) {
    const int rc = CScenarioConverter::ConvertTopovelToNuvexPlayParams(xml, p.get(), DtdDir());
    if (rc == 1) {
        const int got = RealChecks(*p);
        EXPECT_EQ(got, checks) << NuvexResultText(got);
    }
    return rc;
}

std::string Normalised(const std::string& name) {
    std::string xml = ClientDoc(name);
    CSTopovelValidator v;
    EXPECT_EQ(v.ValidateTopovel(xml, DtdDir().c_str()), 0u) << name;
    return xml;
}

const std::string kFixed = "<FIXED_LATENCY LATENCY=\"40\"/>";

} // namespace

TEST(DocumentConversion, RecordedScenarioOverTheFullTopology) {
    OwnedParams p;
    ASSERT_EQ(Convert(ClientDoc("recorded_scenario.xml"), p), 1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->recordedKind, 2) << "PLAYBACK_MODE RANDOM";
    EXPECT_EQ(p->lossType, 4);
    EXPECT_EQ(p->sampleCount, 4);
    EXPECT_EQ(p->sampleInterval, 100);
    ASSERT_NE(p->delaySamples, nullptr);
    // Scale factor 50 halves every delay, cut to a whole number.
    EXPECT_EQ(std::vector<uint32_t>(p->delaySamples, p->delaySamples + 4),
              (std::vector<uint32_t>{50, 22, 0, 150}));
    ASSERT_NE(p->lossSamples, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(p->lossSamples, p->lossSamples + 4),
              (std::vector<uint32_t>{4, 0, 21, 0}));
    EXPECT_EQ(p->eastOutBandwidth, 2048.0);
    EXPECT_EQ(p->eastBucketSize, 32);
    EXPECT_EQ(p->eastBucketMode, 1);
    EXPECT_EQ(p->eastRedMinThreshold, 8u);
    EXPECT_EQ(p->eastRedMaxThreshold, 24u);
    EXPECT_EQ(p->eastOutPercentage, 80);
    EXPECT_EQ(p->filterMode, 1u);
    EXPECT_EQ(p->filterCount, 1u);
    EXPECT_EQ(p->filterAddresses[0], inet_addr("198.19.0.20"));
}

TEST(DocumentConversion, EveryEffectAfterValidation) {
    OwnedParams p;
    ASSERT_EQ(Convert(Normalised("scenario_effects.xml"), p), 1);
    EXPECT_EQ(p->latencyType, 2);
    EXPECT_EQ(p->minDelay, 20);
    EXPECT_EQ(p->maxDelay, 60);
    EXPECT_EQ(p->maxDelayDiff, 10);
    EXPECT_EQ(p->lossType, 3);
    EXPECT_DOUBLE_EQ(p->burstChance, 1.5);
    EXPECT_EQ(p->burstMin, 2);
    EXPECT_EQ(p->burstMax, 4) << "4.9 cut to a whole number";
    EXPECT_EQ(p->bitErrorChance, 1000000u);
    EXPECT_EQ(p->bitErrorMaxBurst, 8);
    EXPECT_EQ(p->outOfOrderChance, 10);
    EXPECT_EQ(p->outOfOrderMaxRange, 4);
    EXPECT_EQ(p->duplicationChance, 5);
    EXPECT_EQ(p->duplicationMaxBurst, 3);
    EXPECT_EQ(p->fragmentationChance, 20);
    EXPECT_EQ(p->fragmentSize, 576);
    EXPECT_EQ(p->fragmentOrder, 2) << "SEND_ICMP_ERROR";
    EXPECT_EQ(p->disconnectChance, 60);
    EXPECT_EQ(p->disconnectMinTime, 100);
    EXPECT_EQ(p->disconnectMaxTime, 500);
    EXPECT_EQ(p->congestionChance, 30);
    EXPECT_EQ(p->congestionPeakError, 12.0) << "CHANCE 12.7 read as a whole number";
    EXPECT_EQ(p->congestionConstantDelay, 300);
    EXPECT_EQ(p->congestionMinDuration, 200);
    EXPECT_EQ(p->congestionMaxDuration, 2000);
    // Client gateway: NIC 0 (towards the WAN) out, NIC 1 ("0.0": unlimited) in.
    EXPECT_EQ(p->eastOutBandwidth, 2048.0);
    EXPECT_EQ(p->eastInBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p->eastOverhead, 4);
    EXPECT_EQ(p->eastBucketMode, 0) << "Q_MEMORY_MODE byte";
    // Server gateway: NIC 0 in, NIC 1 out.
    EXPECT_EQ(p->westInBandwidth, 10000.0);
    EXPECT_EQ(p->westOutBandwidth, 512.0);
    EXPECT_EQ(p->westOverhead, 12);
    EXPECT_EQ(p->westBucketMode, 1);
    // Include and exclude ranges: include mode with the include ranges only.
    EXPECT_EQ(p->filterMode, 1u);
    EXPECT_EQ(p->filterCount, 2u);
    EXPECT_EQ(p->filterAddresses[1], inet_addr("198.19.0.21"));
    EXPECT_EQ(p->sampleCount, 0);
}

TEST(DocumentConversion, CongestionFirstAndGilbertElliott) {
    OwnedParams p;
    ASSERT_EQ(Convert(ClientDoc("congestion_first.xml"), p), 1);
    EXPECT_EQ(p->latencyType, 1);
    EXPECT_EQ(p->minDelay, 100);
    EXPECT_EQ(p->maxDelay, 100);
    EXPECT_EQ(p->jitter, 15);
    EXPECT_EQ(p->maxDelayDiff, 65535);
    EXPECT_EQ(p->lossType, 5);
    EXPECT_DOUBLE_EQ(p->gilbertGoodLoss, 0.1);
    EXPECT_DOUBLE_EQ(p->gilbertBadLoss, 40.0);
    EXPECT_DOUBLE_EQ(p->gilbertToGood, 30.0);
    EXPECT_DOUBLE_EQ(p->gilbertToBad, 2.5);
    EXPECT_EQ(p->congestionChance, 10);
    EXPECT_EQ(p->congestionPeakError, 5.0);
    EXPECT_EQ(p->congestionConstantDelay, 250);
    EXPECT_EQ(p->eastBucketSize, 32);
    EXPECT_EQ(p->eastRedMaxThreshold, 0u) << "drop-tail leaves the thresholds at 0";
    EXPECT_EQ(p->westBucketSize, 65535) << "no inbound queue";
    EXPECT_EQ(p->westBucketMode, 1);
    EXPECT_EQ(p->filterMode, 0u);
    EXPECT_EQ(p->filterCount, 3u);

    OwnedParams g;
    ASSERT_EQ(Convert(ClientDoc("gilbert_elliott.xml"), g), 1);
    EXPECT_EQ(g->latencyType, 4);
    EXPECT_EQ(g->minDelay, 20);
    EXPECT_EQ(g->maxDelay, 200);
    EXPECT_EQ(g->timeSpan, 30);
    EXPECT_EQ(g->lossType, 5);
    EXPECT_EQ(g->eastInBandwidth, NUVEX_UNLIMITED_BANDWIDTH) << "no gateway: defaults";
}

TEST(DocumentConversion, DocumentLibraryTestDocuments) {
    // The normal form of the basic topology: its LAN side is 100,000 kbit/s, which the
    // conversion passes on and the control library refuses.
    OwnedParams p;
    ASSERT_EQ(Convert(FendrelDoc("basic_topology_normal.xml"), p, NUVEX_RC_BANDWIDTH_ABOVE), 1);
    EXPECT_EQ(p->latencyType, 0);
    EXPECT_EQ(p->minDelay, 80);
    EXPECT_EQ(p->maxDelay, 80);
    EXPECT_EQ(p->maxDelayDiff, 65535);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_DOUBLE_EQ(p->randomLoss, 0.5);
    EXPECT_EQ(p->eastOutBandwidth, 100000.0);
    EXPECT_EQ(p->eastInBandwidth, 2048.0);
    EXPECT_EQ(p->eastBucketMode, 0);
    EXPECT_EQ(p->filterAddresses[0], inet_addr("198.19.0.20"));

    // The raw basic topology has no normal-form gateway ids: its gateways are skipped.
    OwnedParams raw;
    ASSERT_EQ(Convert(FendrelDoc("basic_topology.xml"), raw), 1);
    EXPECT_EQ(raw->eastOutBandwidth, NUVEX_UNLIMITED_BANDWIDTH);

    // Recorded data: the first block, playback mode LOOP keeps the recorded kind 1.
    OwnedParams r;
    ASSERT_EQ(Convert(FendrelDoc("recorded_data.xml"), r), 1);
    EXPECT_EQ(r->recordedKind, 1);
    EXPECT_EQ(r->sampleCount, 6);
    EXPECT_EQ(std::vector<uint32_t>(r->delaySamples, r->delaySamples + 6),
              (std::vector<uint32_t>{10, 12, 15, 11, 30, 9}));
    EXPECT_EQ(std::vector<uint32_t>(r->lossSamples, r->lossSamples + 6),
              (std::vector<uint32_t>{0, 0, 1, 0, 12, 0}));
}

TEST(DocumentConversion, FailuresAreNeverSuccess) {
    OwnedParams p;
    EXPECT_EQ(Convert("", p), 0);
    EXPECT_EQ(Convert("<TOPOVEL><NET_OBJECTS>", p), 0);
    // No latency in the WAN element.
    EXPECT_EQ(Convert(WanDoc("<RANDOM_LOSS CHANCE=\"1\"/>"), p), 0);
    // Values that do not fit their 16-bit fields.
    EXPECT_EQ(Convert(WanDoc("<FIXED_LATENCY LATENCY=\"70000\"/>"), p), 0);
    EXPECT_EQ(Convert(WanDoc("<FIXED_LATENCY LATENCY=\"-5\"/>"), p), 0);
    EXPECT_EQ(Convert(WanDoc(kFixed + "<PERIODIC_LOSS PACKET_COUNT=\"nan\"/>"), p), 0);
    EXPECT_EQ(Convert(WanDoc(kFixed + "<RANDOM_LOSS CHANCE=\"inf\"/>"), p), 0);
    // A gateway with one NIC.
    const std::string oneNic =
        "<GATEWAY ID=\"ID_CLIENT_GW\" NAME=\"G\"><NICS><NIC BANDWIDTH=\"64\" ID=\"N\" "
        "IN_BW_UTIL=\"0\" PACKET_OVERHEAD_BYTES=\"0\"/></NICS></GATEWAY>";
    EXPECT_EQ(Convert(WanDoc(kFixed, oneNic), p), 0);
    // Twelve include ranges.
    std::string ranges;
    for (int i = 1; i <= 12; ++i)
        ranges += "<IP_RANGE FROM_IP=\"198.19.0." + std::to_string(i) + "\" TO_IP=\"198.19.0." +
                  std::to_string(i) + "\" PROTOCOL=\"0\" PORT=\"0\"/>";
    const std::string server = "<ENDPOINT ID=\"ID_SERVER\" NAME=\"SERVER\"><INCLUDE_IPS>" + ranges +
                               "</INCLUDE_IPS></ENDPOINT>";
    EXPECT_EQ(Convert(WanDoc(kFixed, server), p), 0);
    // A recording longer than 900 s.
    const std::string recorded = "<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" "
                                 "PLAYBACK_MODE=\"SEQUENTIAL\" SCALE_FACTOR=\"100\"/>";
    EXPECT_EQ(Convert(WanDoc(recorded, "", DataBlock("<LAT>1</LAT>", "100", "901")), p), 0);
    EXPECT_EQ(Convert(WanDoc(recorded, "", DataBlock("<LAT>1</LAT>", "100", "900")), p), 1);
    // Null parsers change nothing.
    std::string mode;
    uint16_t scale = 0;
    uint8_t flag = 0;
    EXPECT_EQ(CScenarioConverter::TopovexConvertLatency(nullptr, p.get(), mode, scale), 0);
    EXPECT_EQ(CScenarioConverter::TopovexConvertLoss(nullptr, p.get(), scale, flag), 0);
    EXPECT_EQ(CScenarioConverter::TopovexConvertEffects(nullptr, p.get()), 0);
    EXPECT_EQ(CScenarioConverter::TopovexConvertGateway(nullptr, p.get(), 1), 0);
    EXPECT_EQ(CScenarioConverter::TopovexConvertIncludeExcludeIP(nullptr, p.get()), 0);
    EXPECT_EQ(CScenarioConverter::TopovexConvertImportedData(nullptr, p.get(), 0, 0, 0, ""), 0);
}

TEST(DocumentConversion, EdgeCasesOfTheGroups) {
    OwnedParams p;
    // No loss: loss type 0.
    ASSERT_EQ(Convert(WanDoc(kFixed), p), 1);
    EXPECT_EQ(p->lossType, 0);

    // Case-sensitive queue mode and the fragment behaviours.
    const std::string gw =
        "<GATEWAY ID=\"ID_SERVER_GW\" NAME=\"G\"><NICS>"
        "<NIC BANDWIDTH=\"0\" ID=\"A\" IN_BW_UTIL=\"0\" PACKET_OVERHEAD_BYTES=\"0\"><IN_QUEUE "
        "Q_MEMORY_MODE=\"Packet\" Q_MEMORY_SIZE=\"16\"><Q_POLICY_DROP_TAIL/></IN_QUEUE></NIC>"
        "<NIC BANDWIDTH=\"64\" ID=\"B\" IN_BW_UTIL=\"50\" "
        "PACKET_OVERHEAD_BYTES=\"9\"/></NICS></GATEWAY>";
    ASSERT_EQ(Convert(WanDoc(kFixed + "<FRAGMENTATION CHANCE=\"5\" FRAG_BEHAVIOR=\"OTHER\" "
                                      "MAX_TRANSMIT_UNIT=\"100\"/>",
                             gw),
                      p),
              1);
    EXPECT_EQ(p->westBucketMode, 0);
    EXPECT_EQ(p->westBucketSize, 16);
    EXPECT_EQ(p->westInBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p->westOutBandwidth, 64.0);
    EXPECT_EQ(p->westOutPercentage, 50);
    EXPECT_EQ(p->westOverhead, 0) << "NIC 1's overhead is not used";
    EXPECT_EQ(p->fragmentOrder, 0) << "unknown behaviour leaves the order";

    for (auto [behaviour, order] :
         {std::pair{"IGNORE_DF_BIT", 1}, std::pair{"DONT_SEND_ICMP_ERROR", 3}}) {
        ASSERT_EQ(Convert(WanDoc(kFixed + "<FRAGMENTATION CHANCE=\"5\" FRAG_BEHAVIOR=\"" +
                                 behaviour + "\" MAX_TRANSMIT_UNIT=\"100\"/>"),
                          p),
                  1);
        EXPECT_EQ(p->fragmentOrder, order);
    }
}

TEST(DocumentConversion, RecordedKindsWithAndWithoutSamples) {
    OwnedParams p;
    // Recorded latency without any data block: recorded type, no samples, refused by
    // the control library's checks with 66.
    const std::string recorded =
        "<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"OTHER\" SCALE_FACTOR=\"100\"/>";
    ASSERT_EQ(Convert(WanDoc(recorded + "<RECORDED_LOSS SCALE_FACTOR=\"100\"/>"), p,
                      NUVEX_RC_SAMPLE_INTERVAL_BELOW),
              1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->lossType, 4);
    EXPECT_EQ(p->recordedKind, 1);
    EXPECT_EQ(p->sampleCount, 0);
    EXPECT_STREQ(NuvexResultText(RealChecks(*p)), "Invalid Imported Parameters settings");

    // A data block without samples changes nothing either.
    ASSERT_EQ(Convert(WanDoc(recorded, "", DataBlock("")), p, NUVEX_RC_SAMPLE_INTERVAL_BELOW), 1);
    EXPECT_EQ(p->sampleCount, 0);

    // Recorded loss over a block without loss samples: success without loss samples.
    ASSERT_EQ(Convert(WanDoc(recorded + "<RECORDED_LOSS SCALE_FACTOR=\"100\"/>", "",
                             DataBlock("<LAT>10</LAT><LAT>20</LAT>")),
                      p),
              1);
    EXPECT_EQ(p->sampleCount, 2);
    EXPECT_EQ(p->lossSamples, nullptr);

    // Loss cap at 10,000; without a recorded latency the fixed one plays along the series.
    ASSERT_EQ(Convert(WanDoc(kFixed + "<RECORDED_LOSS SCALE_FACTOR=\"65535\"/>", "",
                             DataBlock("<LAT>10</LAT><LOS>90.00</LOS><LAT>4</LAT><LOS>0.00</LOS>")),
                      p, NUVEX_RC_LOSS_SAMPLE),
              1);
    EXPECT_EQ(p->latencyType, 0);
    EXPECT_EQ(p->delaySamples[0], 40u);
    EXPECT_EQ(p->lossSamples[0], 10000u);
    EXPECT_EQ(p->lossSamples[1], 0u);

    // A scaled delay beyond 32 bits keeps the largest value instead of an undefined
    // conversion; the checks then refuse it.
    ASSERT_EQ(Convert(WanDoc("<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"SEQUENTIAL\" "
                             "SCALE_FACTOR=\"655\"/>",
                             "", DataBlock("<LAT>7</LAT><LAT>2147483647</LAT>")),
                      p, NUVEX_RC_MAX_DELAY),
              1);
    EXPECT_EQ(p->delaySamples[0], 45u); // 7 × 6.55
    EXPECT_EQ(p->delaySamples[1], 0xFFFFFFFFu);
}

// The recorded-data converter on a record that already holds series: both are replaced
// as a set, so no loss series shorter than the new count stays for the checks to read.
TEST(DocumentConversion, ImportedDataReplacesBothSeries) {
    CSTopovelDocParser doc;
    doc.SetTopovelDtdPath(DtdDir().c_str());
    ASSERT_EQ(
        doc.Parse(WanDoc(kFixed, "", DataBlock("<LAT>10</LAT><LAT>20</LAT><LAT>30</LAT>")).c_str(),
                  false),
        NX_SUCCESS);
    OwnedParams p;
    NuvexSetDefaultPlayParams(p.get());
    p->delaySamples = new uint32_t[1]{};
    p->lossSamples = new uint32_t[1]{};
    p->sampleCount = 1;
    p->lossType = 4;
    p->latencyType = 3; // as the latency converter leaves a recorded latency
    ASSERT_EQ(CScenarioConverter::TopovexConvertImportedData(&doc, p.get(), 100, 0, 0, DtdDir()),
              1);
    EXPECT_EQ(p->sampleCount, 3);
    ASSERT_NE(p->delaySamples, nullptr);
    EXPECT_EQ(p->delaySamples[2], 30u);
    EXPECT_EQ(p->lossSamples, nullptr);
    EXPECT_EQ(RealChecks(*p), 0); // reads a loss series only when one is given
}

// The validator passes exactly the recorded delays that the conversion gives and the
// control library plays: both scale the samples by one rule.
TEST(DocumentConversion, ValidatorAndConversionScaleSamplesAlike) {
    const std::string base = ClientDoc("recorded_scenario.xml");
    const auto with = [&](int scale, int sample) {
        std::string xml = base;
        const std::string factor = "SCALE_FACTOR=\"50\"";
        xml.replace(xml.find(factor), factor.size(),
                    "SCALE_FACTOR=\"" + std::to_string(scale) + "\"");
        const size_t from = xml.find("<LAT>");
        const size_t to = xml.find("</LATENCY_AND_LOSS_DATA>");
        xml.replace(from, to - from, "<LAT>" + std::to_string(sample) + "</LAT><LOS>0.00</LOS>");
        return xml;
    };
    int refused = 0;
    for (int scale : {70, 33, 110, 7, 3, 655, 99}) {
        const int edge = 800000 / scale;
        for (int sample = edge - 3; sample <= edge + 3; ++sample) {
            std::string xml = with(scale, sample);
            CSTopovelValidator v;
            const bool valid = v.ValidateTopovel(xml, DtdDir().c_str()) == 0;
            OwnedParams p;
            ASSERT_EQ(CScenarioConverter::ConvertTopovelToNuvexPlayParams(with(scale, sample),
                                                                          p.get(), DtdDir()),
                      1);
            const bool plays = RealChecks(*p) == 0;
            EXPECT_EQ(valid, plays)
                << "sample " << sample << " at " << scale << "%: delay " << p->delaySamples[0];
            refused += !valid;
        }
    }
    EXPECT_GT(refused, 0);
    // 11430 at 70 % is 8001 ms: refused by both.
    std::string xml = with(70, 11430);
    CSTopovelValidator v;
    EXPECT_EQ(v.ValidateTopovel(xml, DtdDir().c_str()), TOPOVEL_SAMPLES_OUT_OF_RANGE);
}

// A data block is read only for what the WAN section records: the document's own
// latency and loss play otherwise.
TEST(DocumentConversion, NoRecordedLatencyKeepsTheDocumentsLatency) {
    const std::string block = DataBlock("<LAT>10</LAT><LOS>1.50</LOS><LAT>20</LAT><LOS>2.00</LOS>");
    OwnedParams p;
    ASSERT_EQ(
        Convert(WanDoc("<FIXED_LATENCY LATENCY=\"100\"/><RANDOM_LOSS CHANCE=\"2\"/>", "", block),
                p),
        1);
    EXPECT_EQ(p->latencyType, 0);
    EXPECT_EQ(p->minDelay, 100);
    EXPECT_EQ(p->maxDelay, 100);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_DOUBLE_EQ(p->randomLoss, 2.0);
    EXPECT_EQ(p->sampleCount, 0);
    EXPECT_EQ(p->delaySamples, nullptr);

    // A recorded latency with a random loss: the series plays the delay, the loss stays.
    const std::string recorded = "<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" "
                                 "PLAYBACK_MODE=\"SEQUENTIAL\" SCALE_FACTOR=\"100\"/>";
    ASSERT_EQ(Convert(WanDoc(recorded + "<RANDOM_LOSS CHANCE=\"2\"/>", "", block), p), 1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->sampleCount, 2);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_EQ(p->lossSamples, nullptr);

    // A recorded loss with a fixed latency: the loss series plays, every delay sample the
    // fixed latency.
    ASSERT_EQ(
        Convert(WanDoc("<FIXED_LATENCY LATENCY=\"100\"/><RECORDED_LOSS SCALE_FACTOR=\"100\"/>", "",
                       block),
                p),
        1);
    EXPECT_EQ(p->latencyType, 0);
    EXPECT_EQ(p->lossType, 4);
    ASSERT_EQ(p->sampleCount, 2);
    EXPECT_EQ(std::vector<uint32_t>(p->delaySamples, p->delaySamples + 2),
              (std::vector<uint32_t>{100, 100}));
    EXPECT_EQ(std::vector<uint32_t>(p->lossSamples, p->lossSamples + 2),
              (std::vector<uint32_t>{1, 2}));
    // Another latency kind has no series that plays it beside a recorded loss: refused.
    EXPECT_EQ(Convert(WanDoc("<NORMAL_LATENCY AVERAGE=\"100\" STD_DEVIATION=\"5\"/>"
                             "<RECORDED_LOSS SCALE_FACTOR=\"100\"/>",
                             "", block),
                      p),
              0);
}

TEST(DocumentConversion, UncountableObjectsGive1008AndNoPlay) {
    OwnedParams p;
    const std::string bare = "<TOPOVEL ID=\"T\" NAME=\"T\"/>";
    EXPECT_EQ(Convert(bare, p), 1008);
    CWSTScenario none;
    EXPECT_FALSE(CScenarioConverter::ConvertImportedScenario(1, none, bare, p.get(), DtdDir()));
    EXPECT_FALSE(CScenarioConverter::ConvertImportedScenario(1, none, "", p.get(), DtdDir()));
    EXPECT_FALSE(CScenarioConverter::ConvertImportedScenario(2, none, bare, p.get(), DtdDir()));
    EXPECT_TRUE(CScenarioConverter::ConvertImportedScenario(
        1, none, ClientDoc("congestion_first.xml"), p.get(), DtdDir()));
    EXPECT_TRUE(CScenarioConverter::ConvertImportedScenario(0, none, "", p.get(), DtdDir()));
    CWSTScenario tooManyFilters;
    tooManyFilters.m_settings.filterCount = 12;
    EXPECT_FALSE(
        CScenarioConverter::ConvertImportedScenario(0, tooManyFilters, "", p.get(), DtdDir()));
}

// The driver manager's conversions: the record it plays is the one they filled, and a
// failed conversion is never played.
TEST(DocumentConversion, DriverManagerConvertsThenPlays) {
    // The play runs the control library's own checks of the record.
    struct CheckingControl : FakeNuvexControl {
        int PlayEmulation(PlayParameters* params) override {
            FakeNuvexControl::PlayEmulation(params);
            return RealChecks(*params);
        }
    } control;
    testsupport::TempDir dir{"convert"};
    CDriverMngr mngr{control, platform::registry::Registry(dir.str())};
    mngr.SetActiveAdapterAddress("198.18.0.1");
    CWSTScenario none;
    CPlayParams record;

    ASSERT_TRUE(mngr.ConvertImportedScenario(1, none, ClientDoc("recorded_scenario.xml"), &record,
                                             DtdDir()));
    ASSERT_NE(record->delaySamples, nullptr);
    EXPECT_EQ(mngr.Play(record.get()), 1) << mngr.GetLastErrorText();
    mngr.Stop();

    // The same record again: the recording's series replace the document's.
    const CWSTScenario recording = wst_test::RecordedScenario(20, 10, true);
    ASSERT_EQ(mngr.ConvertWSTToNuvexPlayParams(recording, &record), 1);
    EXPECT_EQ(record->sampleCount, 20);
    EXPECT_NE(record->lossSamples, nullptr);
    EXPECT_EQ(mngr.Play(record.get()), 1) << mngr.GetLastErrorText();
    mngr.Stop();

    // A recorded kind without samples converts, and the play says why it is refused.
    CWSTScenario empty = wst_test::RecordedScenario(0, 0, false);
    empty.m_loss.kindCode = wst::kLossNone;
    ASSERT_EQ(mngr.ConvertWSTToNuvexPlayParams(empty, &record), 1);
    EXPECT_EQ(record->latencyType, 3);
    EXPECT_EQ(mngr.Play(record.get()), 0);
    EXPECT_EQ(mngr.GetLastErrorText(), "Invalid Imported Parameters settings");

    const std::string bare = "<TOPOVEL ID=\"T\" NAME=\"T\"/>";
    EXPECT_EQ(mngr.ConvertTopovelToNuvexPlayParams(bare, &record, DtdDir()), 1008);
    EXPECT_EQ(mngr.ConvertTopovelToNuvexPlayParams("", &record, DtdDir()), 0);
    EXPECT_EQ(mngr.ConvertWSTToNuvexPlayParams(recording, nullptr), 0);
    EXPECT_FALSE(mngr.ConvertImportedScenario(1, none, bare, &record, DtdDir()));
    EXPECT_FALSE(mngr.ConvertImportedScenario(1, none, bare, nullptr, DtdDir()));
    EXPECT_EQ(control.playCalls, 3);

    mngr.ClearAndDefaultPlayParams(&record);
    EXPECT_EQ(record->delaySamples, nullptr);
    EXPECT_EQ(record->sampleCount, 0);
}
