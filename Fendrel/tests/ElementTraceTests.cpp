// Trace records of the element parsers: which methods write entry and exit records,
// and the failure texts callers and support staff rely on.
#include "Fendrel/SDSGatewayParser.h"
#include "Fendrel/SWanNuvexShadowParser.h"
#include "TestParsers.h"
#include "TraceCapture.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

using fendrel_test::Traced;

TEST(ElementTrace, EntryRecordsAndFailureTexts) {
    const std::string text = Traced([] {
        CSWanNuvexShadowParser shadow;
        SHString s;
        EXPECT_EQ(shadow.SetHostID("h"), NX_FAILURE);
        EXPECT_EQ(shadow.GetRecordedLoss(s), NX_FAILURE);
        EXPECT_EQ(shadow.CreateNew("S", "N"), NX_SUCCESS);
        EXPECT_EQ(shadow.RemoveElement("HOST_ID"), NX_FAILURE);
        CSDSGatewayParser gw;
        CSDomElementRef block;
        EXPECT_EQ(gw.GetTrafficControlBlock(0, block), NX_FAILURE);
        EXPECT_EQ(gw.RemoveQueue("N", true), NX_FAILURE);
        EXPECT_EQ(gw.AddTrafficControlBlock("N", "<DS_TRAFFIC_CONTROL_BLOCK/>"), NX_FAILURE);
        CSDSTrafficControlBlock tcb;
        CSDSClass cls;
        EXPECT_EQ(tcb.CreateNew("T", "N", "PQ"), NX_SUCCESS);
        EXPECT_EQ(tcb.GetClass(0, cls), NX_FAILURE);
        EXPECT_EQ(cls.CreateNew(false, "c", "0"), NX_SUCCESS);
        SHString a, b;
        EXPECT_EQ(cls.GetShaper(a, b), NX_FAILURE);
    });
    // Shadow accessors write no entry records and, without a document, nothing at all.
    EXPECT_NE(text.find("Entered Method\r\n CSWanNuvexShadowParser::CreateNew() "
                        "SWanNuvexShadowParser"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("SetHostID()"), std::string::npos) << text;
    EXPECT_EQ(text.find("GetRecordedLoss()"), std::string::npos) << text;
    EXPECT_EQ(text.find("RemoveElement()"), std::string::npos) << text;
    // Without a document GetTrafficControlBlock writes nothing either.
    EXPECT_EQ(text.find("GetTrafficControlBlock"), std::string::npos) << text;
    EXPECT_NE(text.find("[E]\tNot Implemented\r\n CSDSGatewayParser::RemoveQueue() "
                        "SDSGatewayParser"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Entered Method\r\n CSDSGatewayParser::RemoveQueue()"), std::string::npos);
    EXPECT_NE(
        text.find("[E]\tNo Document created.\r\n CSDSGatewayParser::AddTrafficControlBlock()"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("[E]\tInvalid Class Index\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[E]\tDS_SHAPER not set\r\n CSDSClass::GetShaper()"), std::string::npos)
        << text;
}
