// WAN section element: latency and loss kinds, WAN effects, round trips through text.
#include "ElementTestSupport.h"
#include "Fendrel/SWanNuvexParser.h"
#include "TestParsers.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

using fendrel_test::Text;
using fendrel_test::ValidatesInScenario;
using fendrel_test::Xml;

namespace {

// Writes a kind or effect, and reads it back joined with "|".
struct Case {
    const char* tag;
    std::function<NX_RC(CSWanNuvexParser&)> set;
    std::function<NX_RC(CSWanNuvexParser&, std::string&)> get;
    const char* expected;
};

SHString a, b, c, d, e;

std::string Join(std::initializer_list<SHString*> parts) {
    std::string out;
    for (SHString* part : parts)
        out += (out.empty() ? "" : "|") + Text(*part);
    return out;
}

template <class Getter>
std::function<NX_RC(CSWanNuvexParser&, std::string&)> Read(Getter getter, int n) {
    return [getter, n](CSWanNuvexParser& wan, std::string& out) {
        std::initializer_list<SHString*> all = {&a, &b, &c, &d, &e};
        for (SHString* s : all)
            s->Assign("");
        NX_RC rc = getter(wan);
        std::vector<SHString*> used(all.begin(), all.begin() + n);
        out.clear();
        for (SHString* s : used)
            out += (out.empty() ? "" : "|") + Text(*s);
        return rc;
    };
}

const std::vector<Case>& LatencyCases() {
    static const std::vector<Case> cases{
        {"FIXED_LATENCY", [](auto& w) { return w.SetFixedLatency("100"); },
         Read([](auto& w) { return w.GetFixedLatency(a); }, 1), "100"},
        {"NORMAL_LATENCY", [](auto& w) { return w.SetNormalLatency("50", "5"); },
         Read([](auto& w) { return w.GetNormalLatency(a, b); }, 2), "50|5"},
        {"UNIFORM_LATENCY", [](auto& w) { return w.SetUniformLatency("10", "90", false, "3"); },
         Read([](auto& w) { return w.GetUniformLatency(a, b, c, d); }, 4), "10|90|no|3"},
        {"LINEAR_LATENCY", [](auto& w) { return w.SetLinearLatency("1", "2", "60"); },
         Read([](auto& w) { return w.GetLinearLatency(a, b, c); }, 3), "1|2|60"},
        {"RECORDED_LATENCY", [](auto& w) { return w.SetRecordedLatency("Morning", "LOOP", "150"); },
         Read([](auto& w) { return w.GetRecordedLatency(a, b, c); }, 3), "Morning|LOOP|150"},
    };
    return cases;
}

const std::vector<Case>& LossCases() {
    static const std::vector<Case> cases{
        {"PERIODIC_LOSS", [](auto& w) { return w.SetPeriodicPacketLoss("7"); },
         Read([](auto& w) { return w.GetPeriodicPacketLoss(a); }, 1), "7"},
        {"RANDOM_LOSS", [](auto& w) { return w.SetRandomPacketLoss("2.5"); },
         Read([](auto& w) { return w.GetRandomPacketLoss(a); }, 1), "2.5"},
        {"BURST_LOSS", [](auto& w) { return w.SetBurstPacketLoss("1", "2", "8"); },
         Read([](auto& w) { return w.GetBurstPacketLoss(a, b, c); }, 3), "1|2|8"},
        {"GILBERT_ELLIOT_LOSS",
         [](auto& w) { return w.SetGilbertElliotLoss("5", "0.1", "30", "40"); },
         Read([](auto& w) { return w.GetGilbertElliotLoss(a, b, c, d); }, 4), "5|0.1|30|40"},
        {"RECORDED_LOSS", [](auto& w) { return w.SetRecordedPacketLoss("100"); },
         Read([](auto& w) { return w.GetRecordedPacketLoss(a); }, 1), "100"},
    };
    return cases;
}

const std::vector<Case>& EffectCases() {
    static const std::vector<Case> cases{
        {"BIT_ERROR", [](auto& w) { return w.SetBitError("1000", "1", "3"); },
         Read([](auto& w) { return w.GetBitError(a, b, c); }, 3), "1000|1|3"},
        {"OUT_OF_ORDER", [](auto& w) { return w.SetOutOfOrder("4", "1", "6"); },
         Read([](auto& w) { return w.GetOutOfOrder(a, b, c); }, 3), "4|1|6"},
        {"DUPLICATE_PACKETS", [](auto& w) { return w.SetDuplicatePackets("2", "1", "2"); },
         Read([](auto& w) { return w.GetDuplicatePackets(a, b, c); }, 3), "2|1|2"},
        {"FRAGMENTATION", [](auto& w) { return w.SetFragmentation("9", "576", WF_IGNORE_DF_BIT); },
         Read([](auto& w) { return w.GetFragmentation(a, b, c); }, 3), "9|576|IGNORE_DF_BIT"},
        {"TTL_DECREMENT", [](auto& w) { return w.SetTTL("1", "4", "10", WF_IGNORE_DF_BIT); },
         Read([](auto& w) { return w.GetTTL(a, b, c, d); }, 4), "1|4|10|SEND_ICMP_ERROR"},
        {"DISCONNECT", [](auto& w) { return w.SetDisconnect("60", "1", "5"); },
         Read([](auto& w) { return w.GetDisconnect(a, b, c); }, 3), "60|1|5"},
        {"CONGESTION", [](auto& w) { return w.SetCongestion("30", "2", "8", "400", "12"); },
         Read([](auto& w) { return w.GetCongestion(a, b, c, d, e); }, 5), "30|2|8|400|12"},
    };
    return cases;
}

// Every case set on one element, then read from the element and from its text.
void RoundTrip(const std::vector<Case>& cases, bool oneOfGroup) {
    for (const Case& item : cases) {
        SCOPED_TRACE(item.tag);
        CSWanNuvexParser wan;
        ASSERT_EQ(wan.CreateNew("WAN_1", "Link"), NX_SUCCESS);
        // In a one-of group, the kind set first is replaced by the one under test.
        if (oneOfGroup) {
            const Case& other = &item == &cases.front() ? cases.back() : cases.front();
            ASSERT_EQ(other.set(wan), NX_SUCCESS);
        }
        ASSERT_EQ(item.set(wan), NX_SUCCESS);
        ASSERT_EQ(item.set(wan), NX_SUCCESS); // twice: still one element
        std::string text = Xml(wan);
        EXPECT_EQ(text.find(std::string("<") + item.tag), text.rfind(std::string("<") + item.tag));
        EXPECT_TRUE(ValidatesInScenario(wan));

        CSWanNuvexParser back;
        ASSERT_EQ(back.Parse(text.c_str(), false), NX_SUCCESS);
        std::string values;
        EXPECT_EQ(item.get(back, values), NX_SUCCESS);
        EXPECT_EQ(values, item.expected);
        if (oneOfGroup) {
            const Case& other = &item == &cases.front() ? cases.back() : cases.front();
            EXPECT_EQ(other.get(back, values), NX_FAILURE) << other.tag;
        }
    }
}

} // namespace

TEST(WanLatency, EachKindRoundTripsAndReplacesTheOther) {
    RoundTrip(LatencyCases(), true);
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    SHString kind("none");
    EXPECT_EQ(wan.GetLatencyType(kind), NX_SUCCESS); // no latency: untouched
    EXPECT_EQ(Text(kind), "none");
    for (const Case& item : LatencyCases()) {
        ASSERT_EQ(item.set(wan), NX_SUCCESS);
        ASSERT_EQ(wan.GetLatencyType(kind), NX_SUCCESS);
        EXPECT_EQ(Text(kind), item.tag);
    }
    ASSERT_EQ(wan.ClearLatency(), NX_SUCCESS);
    EXPECT_EQ(Xml(wan).find("LATENCY"), std::string::npos);
}

TEST(WanLoss, EachKindRoundTripsAndReplacesTheOther) {
    RoundTrip(LossCases(), true);
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    SHString kind;
    for (const Case& item : LossCases()) {
        ASSERT_EQ(item.set(wan), NX_SUCCESS);
        ASSERT_EQ(wan.GetPacketLossType(kind), NX_SUCCESS);
        EXPECT_EQ(Text(kind), item.tag);
    }
    // Gilbert-Elliot replaced by random loss leaves only the root's RANDOM_LOSS.
    ASSERT_EQ(wan.SetGilbertElliotLoss("1", "2", "3", "4"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRandomPacketLoss("6"), NX_SUCCESS);
    std::string text = Xml(wan);
    EXPECT_EQ(text.find("GILBERT"), std::string::npos);
    EXPECT_EQ(text.find("RANDOM_LOSS"), text.rfind("RANDOM_LOSS"));
}

TEST(WanEffects, EachEffectRoundTripsAndClearLeavesLatencyAndLoss) {
    RoundTrip(EffectCases(), false);
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    ASSERT_EQ(wan.SetFixedLatency("20"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRandomPacketLoss("1"), NX_SUCCESS);
    for (const Case& item : EffectCases()) {
        std::string values;
        EXPECT_EQ(item.get(wan, values), NX_FAILURE) << item.tag; // absent
        ASSERT_EQ(item.set(wan), NX_SUCCESS);
    }
    EXPECT_TRUE(ValidatesInScenario(wan));
    ASSERT_EQ(wan.SetBitError("5", "6", "7"), NX_SUCCESS);
    ASSERT_EQ(wan.GetBitError(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c}), "5|6|7");
    ASSERT_EQ(wan.ClearWANEffect(), NX_SUCCESS);
    for (const Case& item : EffectCases()) {
        std::string values;
        EXPECT_EQ(item.get(wan, values), NX_FAILURE) << item.tag;
    }
    ASSERT_EQ(wan.GetFixedLatency(a), NX_SUCCESS);
    ASSERT_EQ(wan.GetRandomPacketLoss(b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "20|1");
}

TEST(WanEffects, BehaviourTexts) {
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    const std::pair<int, const char*> fragmentation[] = {
        {0, "IGNORE_DF_BIT"}, {1, "SEND_ICMP_ERROR"}, {2, "DONT_SEND_ICMP_ERROR"}, {7, ""}};
    for (auto [value, text] : fragmentation) {
        ASSERT_EQ(wan.SetFragmentation("1", "2", static_cast<eWF_BHV>(value)), NX_SUCCESS);
        ASSERT_EQ(wan.GetFragmentation(a, b, c), NX_SUCCESS);
        EXPECT_EQ(Text(c), text) << value;
    }
    const std::pair<int, const char*> ttl[] = {{0, "SEND_ICMP_ERROR"},
                                               {1, "SEND_ICMP_ERROR"},
                                               {2, "DONT_SEND_ICMP_ERROR"},
                                               {9, "SEND_ICMP_ERROR"}};
    for (auto [value, text] : ttl) {
        ASSERT_EQ(wan.SetTTL("1", "2", "3", static_cast<eWF_BHV>(value)), NX_SUCCESS);
        ASSERT_EQ(wan.GetTTL(a, b, c, d), NX_SUCCESS);
        EXPECT_EQ(Text(d), text) << value;
    }
}

TEST(WanEffects, CongestionWithoutChildrenLeavesPeriodValues) {
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.Parse("<WAN_NUVEX><CONGESTION AVG_FREQUENCY=\"1\"/></WAN_NUVEX>", false),
              NX_SUCCESS);
    d.Assign("lat");
    e.Assign("loss");
    ASSERT_EQ(wan.GetCongestion(a, b, c, d, e), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &d, &e}), "1|lat|loss");
}

TEST(WanFaults, CongestionFirstDocumentAnswersTheWansOwnValues) {
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    ASSERT_EQ(wan.SetFixedLatency("10"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRandomPacketLoss("1"), NX_SUCCESS);
    ASSERT_EQ(wan.SetCongestion("30", "2", "8", "999", "88"), NX_SUCCESS);
    // Setting the kinds again appends them behind CONGESTION.
    ASSERT_EQ(wan.SetFixedLatency("20"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRandomPacketLoss("2"), NX_SUCCESS);
    std::string text = Xml(wan);
    ASSERT_LT(text.find("CONGESTION"), text.find("<FIXED_LATENCY LATENCY=\"20\""));

    CSWanNuvexParser back;
    ASSERT_EQ(back.Parse(text.c_str(), false), NX_SUCCESS);
    for (CSWanNuvexParser* w : {&wan, &back}) {
        ASSERT_EQ(w->GetFixedLatency(a), NX_SUCCESS);
        ASSERT_EQ(w->GetRandomPacketLoss(b), NX_SUCCESS);
        EXPECT_EQ(Join({&a, &b}), "20|2");
        ASSERT_EQ(w->GetCongestion(a, b, c, d, e), NX_SUCCESS);
        EXPECT_EQ(Join({&d, &e}), "999|88");
    }
    // With only the congestion period's values there is no WAN latency or loss.
    ASSERT_EQ(wan.ClearLatency(), NX_SUCCESS);
    ASSERT_EQ(wan.ClearPacketLoss(), NX_SUCCESS);
    EXPECT_EQ(wan.GetFixedLatency(a), NX_FAILURE);
    EXPECT_EQ(wan.GetRandomPacketLoss(a), NX_FAILURE);
}

namespace {

// A document without a document element: no element can be created in it.
class CRootlessWan : public CSWanNuvexParser {
public:
    void DropRoot() { Doc()->removeChild(Doc()->getDocumentElement())->release(); }
};

} // namespace

TEST(WanFaults, EffectSetterFailsWhenItsElementCannotBeCreated) {
    CRootlessWan wan;
    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    wan.DropRoot();
    for (const Case& item : EffectCases())
        EXPECT_EQ(item.set(wan), NX_FAILURE) << item.tag;
    for (const Case& item : LatencyCases())
        EXPECT_EQ(item.set(wan), NX_FAILURE) << item.tag;
}

TEST(WanFaults, NoDocumentAndNullTexts) {
    CSWanNuvexParser wan;
    for (const auto* cases : {&LatencyCases(), &LossCases(), &EffectCases()})
        for (const Case& item : *cases) {
            std::string values;
            EXPECT_EQ(item.set(wan), NX_FAILURE) << item.tag;
            EXPECT_EQ(item.get(wan, values), NX_FAILURE) << item.tag;
        }
    EXPECT_EQ(wan.ClearLatency(), NX_FAILURE);
    EXPECT_EQ(wan.ClearWANEffect(), NX_FAILURE);
    EXPECT_EQ(wan.GetLatencyType(a), NX_FAILURE);
    EXPECT_EQ(wan.SetDescription("d"), NX_FAILURE);

    ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
    ASSERT_EQ(wan.SetFixedLatency("5"), NX_SUCCESS);
    EXPECT_EQ(wan.SetNormalLatency("1", nullptr), NX_FAILURE);
    EXPECT_EQ(wan.SetGilbertElliotLoss("1", "2", nullptr, "4"), NX_FAILURE);
    EXPECT_EQ(wan.SetBitError(nullptr, "1", "2"), NX_FAILURE);
    EXPECT_EQ(wan.SetCongestion("1", "2", "3", "4", nullptr), NX_FAILURE);
    EXPECT_EQ(wan.SetDescription(nullptr), NX_FAILURE);
    // A refused kind leaves the present one in place.
    ASSERT_EQ(wan.GetFixedLatency(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "5");
    EXPECT_EQ(Xml(wan),
              "<WAN_NUVEX ID=\"W\" NAME=\"w\"><FIXED_LATENCY LATENCY=\"5\"/></WAN_NUVEX>\n\n");

    ASSERT_EQ(wan.SetDescription("Transatlantic"), NX_SUCCESS);
    ASSERT_EQ(wan.GetDescription(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "Transatlantic");
}

TEST(WanTrace, QuietMethodsWriteAnExitRecordOnlyAfterTheirFailures) {
    const std::string text = fendrel_test::Traced([] {
        CSWanNuvexParser wan;
        EXPECT_EQ(wan.GetFixedLatency(a), NX_FAILURE);
        ASSERT_EQ(wan.CreateNew("W", "w"), NX_SUCCESS);
        ASSERT_EQ(wan.SetRandomPacketLoss("1"), NX_SUCCESS);
        ASSERT_EQ(wan.GetRandomPacketLoss(a), NX_SUCCESS);
    });
    EXPECT_NE(text.find("[E]\tNo Document created.\r\n CSWanNuvexParser::GetFixedLatency()"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Exited Method\r\n CSWanNuvexParser::GetFixedLatency()"),
              std::string::npos);
    EXPECT_NE(text.find("Entered Method\r\n CSWanNuvexParser::CreateNew()"), std::string::npos);
    EXPECT_EQ(text.find("CSWanNuvexParser::SetRandomPacketLoss()"), std::string::npos);
    EXPECT_EQ(text.find("CSWanNuvexParser::GetRandomPacketLoss()"), std::string::npos);
}
