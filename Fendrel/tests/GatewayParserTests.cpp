// Gateway element: NICs, queues, queue policies, routing rules and the renaming hook.
#include "ElementTestSupport.h"
#include "Fendrel/SGatewayParser.h"
#include "TestParsers.h"

#include <gtest/gtest.h>

#include <cstring>

using fendrel_test::At;
using fendrel_test::Text;
using fendrel_test::ValidatesInScenario;
using fendrel_test::Xml;

namespace {

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(gw.CreateNew("GW_1", "Entry"), NX_SUCCESS); }

    // Two NICs, each with both queues, and two routes.
    void BuildTwoNics() {
        ASSERT_EQ(gw.AddNic("NIC_A", "West", "1000", "14", "80", "90"), NX_SUCCESS);
        ASSERT_EQ(gw.SetRoutingRules("10.0.0.0", "WAN_1"), NX_SUCCESS);
        ASSERT_EQ(gw.AddNic("NIC_B", "East", "2000", "0", "100", "100"), NX_SUCCESS);
        ASSERT_EQ(gw.SetRoutingRules("0.0.0.0", "EP_2"), NX_SUCCESS);
        ASSERT_EQ(gw.SetInOutQueue("NIC_A", "64", "PACKETS", true), NX_SUCCESS);
        ASSERT_EQ(gw.SetInOutQueue("NIC_A", "32", "BYTES", false), NX_SUCCESS);
        ASSERT_EQ(gw.SetInOutQueue("NIC_B", "128", "PACKETS", false), NX_SUCCESS);
        ASSERT_EQ(gw.SetInOutQueue("NIC_B", "256", "PACKETS", true), NX_SUCCESS);
        ASSERT_EQ(gw.SetQueuePolicyDropTail("NIC_A", true), NX_SUCCESS);
        ASSERT_EQ(gw.SetQueuePolicyRED("NIC_A", false, "5", "15"), NX_SUCCESS);
        ASSERT_EQ(gw.SetQueuePolicyRED("NIC_B", true, "10", "40"), NX_SUCCESS);
    }

    CSGatewayParser gw;
    SHString a, b, c, d, e, f;
};

// Renames the gateway's elements, as a derived gateway kind does.
class CRenamedGateway : public CSGatewayParser {
protected:
    const char* GetTagName(const char* tag) override {
        if (tag && std::strcmp(tag, "GATEWAY") == 0)
            return "DS_GATEWAY";
        if (tag && std::strcmp(tag, "NICS") == 0)
            return "DS_NICS";
        if (tag && std::strcmp(tag, "NIC") == 0)
            return "DS_NIC";
        return nullptr;
    }
};

} // namespace

TEST_F(GatewayTest, TwoNicsWithQueuesPoliciesAndRoutesRoundTrip) {
    BuildTwoNics();
    std::string text = Xml(gw);
    // NICS stands before ROUTING_RULES although the first route came before the second NIC;
    // each NIC holds its out queue before its in queue.
    EXPECT_LT(At(text, "<NICS>"), At(text, "<ROUTING_RULES>"));
    EXPECT_LT(At(text, "Q_MEMORY_SIZE=\"32\""), At(text, "Q_MEMORY_SIZE=\"64\""));
    EXPECT_TRUE(ValidatesInScenario(gw));

    CSGatewayParser back;
    ASSERT_EQ(back.Parse(text.c_str(), false), NX_SUCCESS);
    unsigned count = 0;
    EXPECT_EQ(back.GetNICsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(back.GetNIC(1, a, b, c, d, e, f), NX_SUCCESS);
    EXPECT_EQ(Text(a) + Text(b) + Text(c) + Text(d) + Text(e) + Text(f), "NIC_BEast20000100100");
    ASSERT_EQ(back.GetNicID(0, a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "NIC_A");

    ASSERT_EQ(back.GetInOutQueue("NIC_A", a, b, false), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "/" + Text(b), "32/BYTES");
    ASSERT_EQ(back.GetInOutQueue("NIC_B", a, b, true), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "/" + Text(b), "256/PACKETS");

    // Drop-tail leaves the threshold strings as they were.
    SHString policy, low("keep"), high("keep");
    ASSERT_EQ(back.GetQueuePolicy("NIC_A", true, policy, low, high), NX_SUCCESS);
    EXPECT_EQ(Text(policy) + Text(low) + Text(high), "Q_POLICY_DROP_TAILkeepkeep");
    ASSERT_EQ(back.GetQueuePolicy("NIC_A", false, policy, low, high), NX_SUCCESS);
    EXPECT_EQ(Text(policy) + " " + Text(low) + " " + Text(high), "Q_POLICY_RED 5 15");
    // A queue without a policy.
    EXPECT_EQ(back.GetQueuePolicy("NIC_B", false, policy, low, high), NX_FAILURE);

    ASSERT_EQ(back.GetRoutRulesCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(back.GetRoutingRules(1, a, b), NX_SUCCESS);
    EXPECT_EQ(Text(a) + " " + Text(b), "0.0.0.0 EP_2");
}

TEST_F(GatewayTest, QueueAndPolicyReplacement) {
    ASSERT_EQ(gw.AddNic("N", "n", "1", "2", "3", "4"), NX_SUCCESS);
    // The policy operations never create a queue.
    EXPECT_EQ(gw.SetQueuePolicyDropTail("N", true), NX_FAILURE);
    EXPECT_EQ(Xml(gw).find("Q_POLICY"), std::string::npos);

    ASSERT_EQ(gw.SetInOutQueue("N", "10", "PACKETS", true), NX_SUCCESS);
    ASSERT_EQ(gw.SetQueuePolicyDropTail("N", true), NX_SUCCESS);
    ASSERT_EQ(gw.SetInOutQueue("N", "20", "BYTES", true), NX_SUCCESS); // keeps its policy
    ASSERT_EQ(gw.SetQueuePolicyRED("N", true, "1", "9"), NX_SUCCESS);
    std::string text = Xml(gw);
    EXPECT_EQ(text.find("Q_POLICY_DROP_TAIL"), std::string::npos);
    EXPECT_NE(text.find("<IN_QUEUE Q_MEMORY_MODE=\"BYTES\" Q_MEMORY_SIZE=\"20\"><Q_POLICY_RED "
                        "MAX_THRESHOLD=\"9\" MIN_THRESHOLD=\"1\"/></IN_QUEUE>"),
              std::string::npos)
        << text;

    EXPECT_EQ(gw.RemoveQueue("N", true), NX_SUCCESS);
    EXPECT_EQ(gw.RemoveQueue("N", true), NX_FAILURE);
    EXPECT_EQ(gw.GetInOutQueue("N", a, b, true), NX_FAILURE);
    EXPECT_EQ(gw.GetInOutQueue("nobody", a, b, false), NX_FAILURE);
}

TEST_F(GatewayTest, PolicyOfAnIndentedParsedDocumentIsReplaced) {
    const char* indented = "<GATEWAY ID=\"G\">\n"
                           "  <NICS>\n"
                           "    <NIC ID=\"N\">\n"
                           "      <IN_QUEUE Q_MEMORY_SIZE=\"8\">\n"
                           "        <Q_POLICY_DROP_TAIL/>\n"
                           "      </IN_QUEUE>\n"
                           "    </NIC>\n"
                           "  </NICS>\n"
                           "</GATEWAY>\n";
    ASSERT_EQ(gw.Parse(indented, false), NX_SUCCESS);
    ASSERT_EQ(gw.SetQueuePolicyRED("N", true, "3", "7"), NX_SUCCESS);
    SHString policy, low, high;
    ASSERT_EQ(gw.GetQueuePolicy("N", true, policy, low, high), NX_SUCCESS);
    EXPECT_EQ(Text(policy) + " " + Text(low) + " " + Text(high), "Q_POLICY_RED 3 7");
    EXPECT_EQ(Xml(gw).find("Q_POLICY_DROP_TAIL"), std::string::npos);
}

TEST_F(GatewayTest, NicLookupsCountsAndRemoval) {
    unsigned count = 7;
    EXPECT_EQ(gw.GetNICsCount(count), NX_FAILURE); // no NICS yet: no count of 0
    EXPECT_EQ(gw.GetNIC(0, a, b, c, d, e, f), NX_FAILURE);
    ASSERT_EQ(gw.AddNic("N", "first", "1", "1", "1", "1"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("N", "second", "1", "1", "1", "1"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("M", "third", "1", "1", "1", "1"), NX_SUCCESS);

    EXPECT_EQ(gw.GetNicID(3, a), NX_FAILURE);
    EXPECT_EQ(gw.GetNicID(-1, a), NX_FAILURE);
    EXPECT_EQ(gw.GetNIC(-1, a, b, c, d, e, f), NX_FAILURE);
    EXPECT_EQ(gw.SetNicID("unknown", "X"), NX_FAILURE);
    // Two NICs share an ID: the first is renamed.
    ASSERT_EQ(gw.SetNicID("N", "R"), NX_SUCCESS);
    ASSERT_EQ(gw.GetNIC(0, a, b, c, d, e, f), NX_SUCCESS);
    EXPECT_EQ(Text(a) + Text(b), "Rfirst");
    ASSERT_EQ(gw.GetNicID(1, a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "N");

    EXPECT_EQ(gw.RemoveNIC("unknown"), NX_SUCCESS);
    ASSERT_EQ(gw.RemoveNIC("R"), NX_SUCCESS);
    ASSERT_EQ(gw.RemoveNIC("N"), NX_SUCCESS);
    ASSERT_EQ(gw.RemoveNIC("M"), NX_SUCCESS);
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS); // the list stays, empty
    EXPECT_EQ(count, 0u);
}

TEST_F(GatewayTest, RoutingRules) {
    unsigned count = 0;
    EXPECT_EQ(gw.RemoveRoutingRules(), NX_SUCCESS);
    EXPECT_EQ(gw.GetRoutRulesCount(count), NX_FAILURE);
    ASSERT_EQ(gw.SetRoutingRules("a", "b"), NX_SUCCESS);
    // A NIC list made afterwards goes in front of the rules.
    ASSERT_EQ(gw.AddNic("N", "n", "1", "1", "1", "1"), NX_SUCCESS);
    std::string text = Xml(gw);
    EXPECT_LT(At(text, "<NICS>"), At(text, "<ROUTING_RULES>"));
    EXPECT_EQ(gw.GetRoutingRules(1, a, b), NX_FAILURE);
    EXPECT_EQ(gw.GetRoutingRules(-1, a, b), NX_FAILURE);
    ASSERT_EQ(gw.RemoveRoutingRules(), NX_SUCCESS);
    EXPECT_EQ(gw.GetRoutRulesCount(count), NX_FAILURE);
    ASSERT_EQ(gw.SetRoutingRules("c", "d"), NX_SUCCESS);
    EXPECT_GT(At(Xml(gw), "<ROUTING_RULES>"), At(Xml(gw), "<NICS>"));
}

TEST(GatewayFaults, NoDocumentAndNullTextsAreRefused) {
    CSGatewayParser gw;
    SHString a, b, c;
    unsigned count = 0;
    EXPECT_EQ(gw.SetRoutingRules("a", "b"), NX_FAILURE);
    EXPECT_EQ(gw.AddNic("N", "n", "1", "1", "1", "1"), NX_FAILURE);
    EXPECT_EQ(gw.GetRoutRulesCount(count), NX_FAILURE);
    EXPECT_EQ(gw.GetQueuePolicy("N", true, a, b, c), NX_FAILURE);
    EXPECT_EQ(gw.RemoveRoutingRules(), NX_FAILURE);

    ASSERT_EQ(gw.CreateNew("G", "g"), NX_SUCCESS);
    EXPECT_EQ(gw.AddNic(nullptr, "n", "1", "1", "1", "1"), NX_FAILURE);
    EXPECT_EQ(gw.AddNic("N", "n", "1", "1", "1", nullptr), NX_FAILURE);
    ASSERT_EQ(gw.AddNic("N", "n", "1", "1", "1", "1"), NX_SUCCESS);
    EXPECT_EQ(gw.SetNicID(nullptr, "X"), NX_FAILURE);
    EXPECT_EQ(gw.SetNicID("N", nullptr), NX_FAILURE);
    EXPECT_EQ(gw.SetInOutQueue("N", nullptr, "m", true), NX_FAILURE);
    EXPECT_EQ(gw.SetInOutQueue(nullptr, "1", "m", true), NX_FAILURE);
    ASSERT_EQ(gw.SetInOutQueue("N", "1", "m", true), NX_SUCCESS);
    EXPECT_EQ(gw.SetQueuePolicyRED("N", true, nullptr, "2"), NX_FAILURE);
    EXPECT_EQ(gw.GetQueuePolicy(nullptr, true, a, b, c), NX_FAILURE);
    EXPECT_EQ(gw.RemoveNIC(nullptr), NX_FAILURE);
    EXPECT_EQ(gw.SetRoutingRules(nullptr, "x"), NX_FAILURE);
    // Nothing half-written: one NIC, its queue without a policy, no rules.
    std::string text = Xml(gw);
    EXPECT_EQ(text.find("Q_POLICY"), std::string::npos);
    EXPECT_EQ(text.find("ROUTING_RULES"), std::string::npos);
}

TEST(GatewayRenamed, EveryOperationUsesTheSubclassNames) {
    CRenamedGateway gw;
    ASSERT_EQ(gw.CreateNew("DS", "Diff"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("N", "n", "1", "2", "3", "4"), NX_SUCCESS);
    ASSERT_EQ(gw.SetNicID("N", "M"), NX_SUCCESS);
    unsigned count = 0;
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
    SHString id;
    ASSERT_EQ(gw.GetNicID(0, id), NX_SUCCESS);
    EXPECT_EQ(Text(id), "M");
    EXPECT_EQ(Xml(gw), "<DS_GATEWAY ID=\"DS\" NAME=\"Diff\"><DS_NICS><DS_NIC BANDWIDTH=\"1\" "
                       "ID=\"M\" IN_BW_UTIL=\"3\" NAME=\"n\" OUT_BW_UTIL=\"4\" "
                       "PACKET_OVERHEAD_BYTES=\"2\"/></DS_NICS></DS_GATEWAY>\n\n");
    EXPECT_TRUE(ValidatesInScenario(gw));
}
