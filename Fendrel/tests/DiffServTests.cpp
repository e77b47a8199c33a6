// The DiffServ gateway, its traffic control blocks and their traffic classes.
#include "Fendrel/DomWriter.h"
#include "Fendrel/SDSGatewayParser.h"
#include "TestParsers.h"
#include "ValidationSupport.h"

#include <gtest/gtest.h>

#include <memory>

using fendrel_test::DataFile;
using fendrel_test::Text;
using fendrel_test::ValidNetObject;
using fendrel_test::Xml;

namespace {

std::string Join(std::initializer_list<SHString*> values) {
    std::string out;
    for (SHString* v : values)
        out += (v == *values.begin() ? "" : "|") + Text(*v);
    return out;
}

std::string BlockText(const char* id, const char* system) {
    CSDSTrafficControlBlock block;
    if (block.CreateNew(id, "Block", system) != NX_SUCCESS)
        return "";
    return Xml(block);
}

// A gateway with two NICs, the second with the block of the test data.
void BuildGateway(CSDSGatewayParser& gw) {
    ASSERT_EQ(gw.CreateNew("DSG_1", "Edge"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("N0", "LAN", "100000", "0", "100", "100"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("N1", "WAN", "2048", "4", "90", "80"), NX_SUCCESS);
    ASSERT_EQ(gw.SetRoutingRules("198.19.0.0", "WAN_1"), NX_SUCCESS);
    ASSERT_EQ(gw.AddTrafficControlBlock("N1", DataFile("ds_traffic_control_block.xml").c_str()),
              NX_SUCCESS);
}

// A block whose class CLASS_TEXT cannot be written as well-formed text.
class CBrokenBlock : public CSDSTrafficControlBlock {
public:
    // Straight into the DOM: the setters refuse such a text.
    void AddUnwritableClass() {
        DOMElement* cls = Doc()->createElement(u"DS_CLASS");
        cls->setAttribute(u"NAME", u"bell\x01");
        Root()->appendChild(cls);
    }
};

} // namespace

// ---------------------------------------------------------------- gateway

TEST(DSGatewayParser, BuildsNicsWithBlocksWritesAndReadsBack) {
    CSDSGatewayParser gw;
    BuildGateway(gw);
    unsigned count = 0;
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(gw.AddTrafficControlBlock(0u, BlockText("TCB_0", "PQ").c_str()), NX_SUCCESS);
    const std::string xml = Xml(gw);
    EXPECT_EQ(xml.rfind("<DS_GATEWAY ID=\"DSG_1\" NAME=\"Edge\"><DS_NICS><DS_NIC ", 0), 0u) << xml;
    EXPECT_NE(xml.find("</DS_NICS><ROUTING_RULES>"), std::string::npos) << xml;
    EXPECT_TRUE(ValidNetObject(xml));

    CSDSGatewayParser read("Topovel_1_2.dtd", "1.2");
    ASSERT_EQ(read.Parse(xml.c_str(), false), NX_SUCCESS);
    SHString id, name, bw, overhead, in, out;
    ASSERT_EQ(read.GetNIC(1, id, name, bw, overhead, in, out), NX_SUCCESS);
    EXPECT_EQ(Join({&id, &name, &bw, &overhead, &in, &out}), "N1|WAN|2048|4|90|80");
    CSDomElementRef block;
    ASSERT_EQ(read.GetTrafficControlBlock(0, block), NX_SUCCESS);
    EXPECT_EQ(orvane::xml::GetAttr(block.Get(), "ID"), "TCB_0");
    ASSERT_EQ(read.GetTrafficControlBlock(1, block), NX_SUCCESS);
    EXPECT_EQ(orvane::xml::GetAttr(block.Get(), "QUEUING_SYSTEM"), "CBWFQ");

    // The block read back is a traffic control block with all its classes.
    CSDSTrafficControlBlock tcb;
    ASSERT_EQ(tcb.Parse(SerializeNode(block.Get()).c_str(), false), NX_SUCCESS);
    ASSERT_EQ(tcb.GetClassCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 7u);
}

TEST(DSGatewayParser, ReplacesABlockAndRefusesBadPlaces) {
    CSDSGatewayParser gw;
    const std::string block = BlockText("TCB_A", "PQ");
    EXPECT_EQ(gw.AddTrafficControlBlock("N0", block.c_str()), NX_FAILURE);
    EXPECT_EQ(gw.AddTrafficControlBlock(0u, block.c_str()), NX_FAILURE);
    ASSERT_EQ(gw.CreateNew("G", "N"), NX_SUCCESS);
    EXPECT_EQ(gw.AddTrafficControlBlock(0u, block.c_str()), NX_FAILURE); // no DS_NICS
    ASSERT_EQ(gw.AddNic("N0", "LAN", "1", "0", "1", "1"), NX_SUCCESS);
    EXPECT_EQ(gw.AddTrafficControlBlock(1u, block.c_str()), NX_FAILURE);
    EXPECT_EQ(gw.AddTrafficControlBlock("N9", block.c_str()), NX_FAILURE);
    EXPECT_EQ(gw.AddTrafficControlBlock(static_cast<const char*>(nullptr), block.c_str()),
              NX_FAILURE);
    const std::string empty = Xml(gw);
    EXPECT_EQ(gw.AddTrafficControlBlock("N0", "<DS_TRAFFIC_CONTROL_BLOCK>"), NX_FAILURE);
    EXPECT_EQ(gw.AddTrafficControlBlock("N0", nullptr), NX_FAILURE);
    EXPECT_EQ(Xml(gw), empty);

    ASSERT_EQ(gw.AddTrafficControlBlock("N0", block.c_str()), NX_SUCCESS);
    ASSERT_EQ(gw.AddTrafficControlBlock(0u, BlockText("TCB_B", "CQ").c_str()), NX_SUCCESS);
    const std::string xml = Xml(gw);
    EXPECT_EQ(xml.find("TCB_A"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<DS_TRAFFIC_CONTROL_BLOCK"), xml.rfind("<DS_TRAFFIC_CONTROL_BLOCK"));
    EXPECT_NE(xml.find("TCB_B"), std::string::npos) << xml;
    EXPECT_TRUE(ValidNetObject(xml));
}

TEST(DSGatewayParser, PlainQueuesAreNotAvailable) {
    CSDSGatewayParser gw;
    BuildGateway(gw);
    SHString a("keep"), b, c;
    EXPECT_EQ(gw.SetInOutQueue("N0", "1", "2", true), NX_FAILURE);
    EXPECT_EQ(gw.GetInOutQueue("N0", a, b, true), NX_FAILURE);
    EXPECT_EQ(gw.RemoveQueue("N0", false), NX_FAILURE);
    EXPECT_EQ(gw.SetQueuePolicyDropTail("N0", true), NX_FAILURE);
    EXPECT_EQ(gw.SetQueuePolicyRED("N0", true, "1", "2"), NX_FAILURE);
    EXPECT_EQ(gw.GetQueuePolicy("N0", true, a, b, c), NX_FAILURE);
    EXPECT_EQ(Text(a), "keep");
    EXPECT_EQ(Xml(gw).find("_QUEUE Q_"), std::string::npos);
    // The inherited NIC operations work on the DiffServ names.
    ASSERT_EQ(gw.SetNicID("N0", "LAN_0"), NX_SUCCESS);
    ASSERT_EQ(gw.GetNicID(0, a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "LAN_0");
    ASSERT_EQ(gw.RemoveNIC("LAN_0"), NX_SUCCESS);
    unsigned count = 0;
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
}

TEST(DSGatewayParser, HandedOutBlockOutlivesTheGateway) {
    auto gw = std::make_unique<CSDSGatewayParser>();
    CSDomElementRef block;
    EXPECT_EQ(gw->GetTrafficControlBlock(0, block), NX_FAILURE);
    BuildGateway(*gw);
    EXPECT_EQ(gw->GetTrafficControlBlock(0, block), NX_FAILURE); // N0 holds no block
    EXPECT_TRUE(block.IsNULL());
    EXPECT_EQ(gw->GetTrafficControlBlock(2, block), NX_FAILURE);
    ASSERT_EQ(gw->GetTrafficControlBlock(1, block), NX_SUCCESS);
    ASSERT_FALSE(block.IsNULL());

    // Replacing the NIC's block leaves the handed-out element readable.
    CSDomElementRef replaced = block;
    ASSERT_EQ(gw->AddTrafficControlBlock(1u, BlockText("TCB_NEW", "PQ").c_str()), NX_SUCCESS);
    EXPECT_EQ(orvane::xml::GetAttr(replaced.Get(), "ID"), "TCB_1");

    ASSERT_EQ(gw->GetTrafficControlBlock(1, block), NX_SUCCESS);
    gw.reset(); // the gateway and its only other share of the document are gone
    EXPECT_EQ(orvane::xml::GetAttr(block.Get(), "ID"), "TCB_NEW");
    EXPECT_EQ(SerializeNode(block.Get()),
              "<DS_TRAFFIC_CONTROL_BLOCK ID=\"TCB_NEW\" NAME=\"Block\" QUEUING_SYSTEM=\"PQ\"/>\n");
    EXPECT_EQ(orvane::xml::GetAttr(replaced.Get(), "NAME"), "Branch office");

    // Removing the NIC leaves the block whole, also once new elements are created.
    CSDSGatewayParser owner;
    BuildGateway(owner);
    ASSERT_EQ(owner.GetTrafficControlBlock(1, block), NX_SUCCESS);
    ASSERT_EQ(owner.RemoveNIC("N1"), NX_SUCCESS);
    for (int i = 0; i < 20; ++i) {
        const std::string id = "M" + std::to_string(i);
        ASSERT_EQ(owner.AddNic(id.c_str(), "More", "1", "0", "1", "1"), NX_SUCCESS);
        ASSERT_EQ(owner.AddTrafficControlBlock(id.c_str(), BlockText("TCB_X", "PQ").c_str()),
                  NX_SUCCESS);
    }
    EXPECT_EQ(orvane::xml::TagName(block.Get()), "DS_TRAFFIC_CONTROL_BLOCK");
    EXPECT_EQ(orvane::xml::GetAttr(block.Get(), "ID"), "TCB_1");
    EXPECT_EQ(block.Get()->getParentNode()->getParentNode(), nullptr); // the detached NIC's

    // A gateway that re-creates its document leaves the old one to the reference.
    CSDSGatewayParser other;
    BuildGateway(other);
    ASSERT_EQ(other.GetTrafficControlBlock(1, block), NX_SUCCESS);
    ASSERT_EQ(other.CreateNew("G2", "Fresh"), NX_SUCCESS);
    EXPECT_EQ(orvane::xml::GetAttr(block.Get(), "ID"), "TCB_1");
    block.Reset();
    EXPECT_TRUE(block.IsNULL());
}

// ---------------------------------------------------------------- traffic control block

TEST(DSTrafficControlBlock, CreatesCountsAndHandsOutClasses) {
    CSDSTrafficControlBlock tcb;
    SHString s;
    unsigned count = 9;
    EXPECT_EQ(tcb.CreateNew("T", "N"), NX_FAILURE);
    EXPECT_TRUE(tcb.IsNULL());
    EXPECT_EQ(tcb.GetQueueingModel(s), NX_FAILURE);
    EXPECT_EQ(tcb.GetClassCount(count), NX_FAILURE);
    CSDSClass cls;
    EXPECT_EQ(tcb.GetClass(0, cls), NX_FAILURE);

    ASSERT_EQ(tcb.CreateNew("T", "N", "PQ"), NX_SUCCESS);
    ASSERT_EQ(tcb.GetQueueingModel(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "PQ");
    ASSERT_EQ(tcb.GetClassCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(tcb.CreateNew("T2", "N2"), NX_FAILURE); // keeps the document it has
    EXPECT_FALSE(tcb.IsNULL());

    ASSERT_EQ(tcb.Parse(DataFile("ds_traffic_control_block.xml").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(tcb.GetClassCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(tcb.GetClass(count, cls), NX_FAILURE);
    ASSERT_EQ(tcb.GetClass(6, cls), NX_SUCCESS);
    bool isDefault = false;
    ASSERT_EQ(cls.IsDefaultClass(isDefault), NX_SUCCESS);
    EXPECT_TRUE(isDefault);
    ASSERT_EQ(tcb.GetClass(0, cls), NX_SUCCESS);
    ASSERT_EQ(cls.GetName(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "voice");
    ASSERT_EQ(cls.IsDefaultClass(isDefault), NX_SUCCESS);
    EXPECT_FALSE(isDefault);
}

TEST(DSTrafficControlBlock, ClassTextThatDoesNotParseIsAFailure) {
    CBrokenBlock tcb;
    ASSERT_EQ(tcb.CreateNew("T", "N", "PQ"), NX_SUCCESS);
    tcb.AddUnwritableClass();
    CSDSClass cls;
    EXPECT_EQ(tcb.GetClass(0, cls), NX_FAILURE);
    EXPECT_TRUE(cls.IsNULL());
}

// ---------------------------------------------------------------- traffic class

TEST(DSClass, ReadsEveryQueueingKind) {
    CSDSTrafficControlBlock tcb;
    ASSERT_EQ(tcb.Parse(DataFile("ds_traffic_control_block.xml").c_str(), true), NX_SUCCESS);
    CSDSClass cls;
    SHString a, b, c, d, e, f, g;
    unsigned count = 0;

    ASSERT_EQ(tcb.GetClass(0, cls), NX_SUCCESS); // voice
    ASSERT_EQ(cls.GetDSCP(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "46");
    ASSERT_EQ(cls.GetClassifierFiltresCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(cls.GetClassifierFilter(0, a, b, c, d, e, f, g), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d, &e, &f, &g}),
              "198.18.0.1|198.18.0.9|198.19.0.1|198.19.0.1|17|5060|46");
    ASSERT_EQ(cls.GetClassifierFilter(1, a, b, c, d, e, f, g), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d, &e, &f, &g}), "||||17|16384|");
    EXPECT_EQ(cls.GetClassifierFilter(2, a, b, c, d, e, f, g), NX_FAILURE);
    ASSERT_EQ(cls.GetShaper(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "128000|8000");
    ASSERT_EQ(cls.GetPolicer(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "256000|16000");
    ASSERT_EQ(cls.GetQueueingType(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "DS_PRIORITY_QUEUE");
    ASSERT_EQ(cls.GetPriorityQueue(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "1");
    EXPECT_EQ(cls.GetCBWFQ(a, b), NX_FAILURE);

    ASSERT_EQ(tcb.GetClass(1, cls), NX_SUCCESS); // bulk
    EXPECT_EQ(cls.GetClassifierFiltresCount(count), NX_FAILURE);
    EXPECT_EQ(cls.GetShaper(a, b), NX_FAILURE);
    EXPECT_EQ(cls.GetPolicer(a, b), NX_FAILURE);
    ASSERT_EQ(cls.GetCustomQueue(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "20|40");

    ASSERT_EQ(tcb.GetClass(2, cls), NX_SUCCESS); // web
    ASSERT_EQ(cls.GetQueueingType(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "DS_CBWFQ");
    ASSERT_EQ(cls.GetCBWFQ(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "30|DS_CBWFQ_CUSTOM");
    ASSERT_EQ(cls.GetCBWFQCustomType(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "DS_CBWFQ_RED");
    ASSERT_EQ(cls.GetCBWFQWCustomRed(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "10|30");
    EXPECT_EQ(cls.GetCBWFQCustomDropTail(a), NX_FAILURE);
    EXPECT_EQ(cls.GetCBWFQPriority(a), NX_FAILURE);

    ASSERT_EQ(tcb.GetClass(3, cls), NX_SUCCESS); // mail
    ASSERT_EQ(cls.GetCBWFQPriority(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "64");
    EXPECT_EQ(cls.GetCBWFQCustomType(a), NX_FAILURE);

    ASSERT_EQ(tcb.GetClass(4, cls), NX_SUCCESS); // ftp
    ASSERT_EQ(cls.GetCBWFQCustomDropTail(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "32");
    EXPECT_EQ(cls.GetCBWFQWCustomRed(a, b), NX_FAILURE);

    ASSERT_EQ(tcb.GetClass(5, cls), NX_SUCCESS); // unset
    a.Assign("keep");
    EXPECT_EQ(cls.GetQueueingType(a), NX_FAILURE);
    EXPECT_EQ(Text(a), "keep");

    ASSERT_EQ(tcb.GetClass(6, cls), NX_SUCCESS); // default
    ASSERT_EQ(cls.GetCBWFQ_DEFAULT(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "yes");
    ASSERT_EQ(cls.GetCBWFQ_DEFAULTDropTail(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "128");
}

TEST(DSClass, CreatesTheTwoKindsAndReportsMissingParts) {
    CSDSClass cls;
    bool isDefault = false;
    SHString a("keep"), b("keep");
    EXPECT_EQ(cls.CreateNew("I", "N"), NX_FAILURE);
    EXPECT_TRUE(cls.IsNULL());
    EXPECT_EQ(cls.IsDefaultClass(isDefault), NX_FAILURE);
    EXPECT_EQ(cls.GetShaper(a, b), NX_FAILURE);

    ASSERT_EQ(cls.CreateNew(true, "default", "0"), NX_SUCCESS);
    ASSERT_EQ(cls.IsDefaultClass(isDefault), NX_SUCCESS);
    EXPECT_TRUE(isDefault);
    EXPECT_EQ(Xml(cls), "<DS_DEFAULT_CLASS DSCP=\"0\" NAME=\"default\"/>\n\n");
    ASSERT_EQ(cls.CreateNew(false, "video", "34"), NX_SUCCESS);
    ASSERT_EQ(cls.IsDefaultClass(isDefault), NX_SUCCESS);
    EXPECT_FALSE(isDefault);
    ASSERT_EQ(cls.GetDSCP(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "34");
    const std::string classXml = Xml(cls);

    // An empty DS_CBWFQ still hands out its bandwidth.
    ASSERT_EQ(cls.Parse("<DS_CLASS><DS_QUEUEING><DS_CBWFQ BANDWIDTH=\"7\"> </DS_CBWFQ>"
                        "</DS_QUEUEING><DS_CBWFQ_PRIORITY/><DS_CBWFQ_DEFAULT/></DS_CLASS>",
                        false),
              NX_SUCCESS);
    b.Assign("keep");
    EXPECT_EQ(cls.GetCBWFQ(a, b), NX_FAILURE);
    EXPECT_EQ(Join({&a, &b}), "7|keep");
    EXPECT_EQ(cls.GetCBWFQPriority(a), NX_FAILURE);
    EXPECT_EQ(cls.GetCBWFQ_DEFAULTDropTail(a), NX_FAILURE);

    // A built block with built classes validates inside a DiffServ gateway.
    CSDSTrafficControlBlock tcb;
    ASSERT_EQ(tcb.CreateNew("T", "N", "CBWFQ"), NX_SUCCESS);
    CSDSGatewayParser gw;
    ASSERT_EQ(gw.CreateNew("G", "N"), NX_SUCCESS);
    ASSERT_EQ(gw.AddNic("N0", "LAN", "1", "0", "1", "1"), NX_SUCCESS);
    std::string block = Xml(tcb);
    block.insert(block.find("/>"), "><x");
    block.replace(block.find("><x/>"), 5, ">" + classXml + "</DS_TRAFFIC_CONTROL_BLOCK>");
    ASSERT_EQ(gw.AddTrafficControlBlock("N0", block.c_str()), NX_SUCCESS) << block;
    EXPECT_TRUE(ValidNetObject(Xml(gw)));
}
