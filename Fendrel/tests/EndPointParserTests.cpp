// Endpoint element: host ids and the include and exclude address range lists.
#include "ElementTestSupport.h"
#include "Fendrel/SEndPointParser.h"
#include "TestParsers.h"

#include <gtest/gtest.h>

#include <stdexcept>

using fendrel_test::At;
using fendrel_test::Text;
using fendrel_test::ValidatesInScenario;
using fendrel_test::Xml;

namespace {

class EndPointTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ep.CreateNew("EP_1", "CLIENT"), NX_SUCCESS); }

    CSEndPointParser ep;
    SHString from, to;
    unsigned short protocol = 0, port = 0;
    unsigned count = 0;
};

} // namespace

TEST_F(EndPointTest, HostsAndRangesRoundTripAndValidate) {
    ASSERT_EQ(ep.AddIncludeIPRange("10.0.0.1", "10.0.0.255", 6, 80), NX_SUCCESS);
    ASSERT_EQ(ep.AddExcludeIPRange("10.0.0.7", "10.0.0.7", 65535, 65535), NX_SUCCESS);
    ASSERT_EQ(ep.AddIncludeIPRange("192.168.1.1", "192.168.1.9", 17, 53), NX_SUCCESS);
    // Host ids keep their order and stand before INCLUDE_IPS, made first.
    ASSERT_EQ(ep.AddHostID("client-a"), NX_SUCCESS);
    ASSERT_EQ(ep.AddHostID("10.0.0.2"), NX_SUCCESS);
    std::string text = Xml(ep);
    EXPECT_LT(At(text, "client-a"), At(text, "10.0.0.2\""));
    EXPECT_LT(At(text, "10.0.0.2\""), At(text, "<INCLUDE_IPS>"));
    EXPECT_LT(At(text, "<INCLUDE_IPS>"), At(text, "<EXCLUDE_IPS>")); // order of first use
    EXPECT_TRUE(ValidatesInScenario(ep));

    CSEndPointParser back;
    ASSERT_EQ(back.Parse(text.c_str(), false), NX_SUCCESS);
    ASSERT_EQ(back.GetHostIDCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(back.GetHostID(1, from), NX_SUCCESS);
    EXPECT_EQ(Text(from), "10.0.0.2");
    ASSERT_EQ(back.GetIncludeIPRangeCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(back.GetIncludeIPRange(1, from, to, protocol, port), NX_SUCCESS);
    EXPECT_EQ(Text(from) + "-" + Text(to), "192.168.1.1-192.168.1.9");
    EXPECT_EQ(protocol, 17);
    EXPECT_EQ(port, 53);
    ASSERT_EQ(back.GetExcludeIPRange(0, from, to, protocol, port), NX_SUCCESS);
    EXPECT_NE(Xml(back).find("PROTOCOL=\"65535\""), std::string::npos);
    EXPECT_EQ(protocol, 65535);
    EXPECT_EQ(port, 65535);

    ASSERT_EQ(back.SetIncludeIPRange(0, "1.1.1.1", "1.1.1.2", 1, 7), NX_SUCCESS);
    ASSERT_EQ(back.GetIncludeIPRange(0, from, to, protocol, port), NX_SUCCESS);
    EXPECT_EQ(Text(from) + "-" + Text(to) + " " + std::to_string(protocol) + "/" +
                  std::to_string(port),
              "1.1.1.1-1.1.1.2 1/7");
}

TEST_F(EndPointTest, HostIdsWithoutIncludeListAndIndexesPastTheEnd) {
    ASSERT_EQ(ep.AddExcludeIPRange("a", "b", 1, 1), NX_SUCCESS);
    ASSERT_EQ(ep.AddHostID("h"), NX_SUCCESS); // appended after the exclude list
    EXPECT_LT(At(Xml(ep), "<EXCLUDE_IPS>"), At(Xml(ep), "<HOST_ID"));
    SHString host("unchanged");
    EXPECT_EQ(ep.GetHostID(1, host), NX_SUCCESS);
    EXPECT_EQ(Text(host), "unchanged");
    EXPECT_EQ(ep.ClearHostID(1), NX_SUCCESS);
    ASSERT_EQ(ep.ClearHostID(0), NX_SUCCESS);
    ASSERT_EQ(ep.GetHostIDCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
}

TEST_F(EndPointTest, RemovingRanges) {
    ASSERT_EQ(ep.AddIncludeIPRange("a", "b", 1, 2), NX_SUCCESS);
    ASSERT_EQ(ep.AddExcludeIPRange("c", "d", 3, 4), NX_SUCCESS);
    EXPECT_EQ(ep.RemoveIncludeIPRange(5), NX_SUCCESS); // past the last: nothing
    EXPECT_EQ(ep.GetIncludeIPRange(1, from, to, protocol, port), NX_FAILURE);
    ASSERT_EQ(ep.RemoveIncludeIPRange(0), NX_SUCCESS);
    ASSERT_EQ(ep.RemoveExcludeIPRange(0), NX_SUCCESS);
    std::string text = Xml(ep);
    EXPECT_NE(text.find("<INCLUDE_IPS/>"), std::string::npos) << text; // stays, empty
    EXPECT_EQ(text.find("EXCLUDE_IPS"), std::string::npos) << text;    // removed
}

TEST(IpRangeFaults, MissingListsAndNullTexts) {
    CSEndPointParser ep;
    SHString from("f"), to("t");
    unsigned short protocol = 9, port = 9;
    unsigned count = 42;
    EXPECT_EQ(ep.GetIncludeIPRangeCount(count), NX_FAILURE); // no document
    EXPECT_EQ(ep.AddIncludeIPRange("a", "b", 1, 1), NX_FAILURE);
    EXPECT_EQ(ep.AddHostID("h"), NX_FAILURE);
    EXPECT_EQ(ep.GetHostIDCount(count), NX_FAILURE);

    ASSERT_EQ(ep.CreateNew("E", "SERVER"), NX_SUCCESS);
    // No list: the count is 0, not left as it was.
    count = 42;
    ASSERT_EQ(ep.GetExcludeIPRangeCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    // Reading a missing list succeeds with the outputs untouched.
    EXPECT_EQ(ep.GetIncludeIPRange(0, from, to, protocol, port), NX_SUCCESS);
    EXPECT_EQ(Text(from) + Text(to) + std::to_string(protocol), "ft9");
    // Setting a range of a missing list writes nothing and says so.
    EXPECT_EQ(ep.SetIncludeIPRange(0, "a", "b", 1, 1), NX_FAILURE);
    EXPECT_EQ(ep.SetExcludeIPRange(0, "a", "b", 1, 1), NX_FAILURE);
    EXPECT_EQ(Xml(ep).find("IPS"), std::string::npos);

    EXPECT_EQ(ep.AddIncludeIPRange(nullptr, "b", 1, 1), NX_FAILURE);
    EXPECT_EQ(ep.AddExcludeIPRange("a", nullptr, 1, 1), NX_FAILURE);
    EXPECT_EQ(ep.AddHostID(nullptr), NX_FAILURE);
    ASSERT_EQ(ep.AddIncludeIPRange("a", "b", 1, 1), NX_SUCCESS);
    EXPECT_EQ(ep.SetIncludeIPRange(0, nullptr, "b", 1, 1), NX_FAILURE);
    EXPECT_EQ(Xml(ep).find("HOST_ID"), std::string::npos);
}

namespace {

// Refuses, once, the release of the node it is attached to.
class CRefusingHandler : public xercesc::DOMUserDataHandler {
public:
    void handle(DOMOperationType operation, const XMLCh*, void*, const xercesc::DOMNode*,
                xercesc::DOMNode*) override {
        if (operation == NODE_DELETED && armed) {
            armed = false;
            throw std::runtime_error("release refused");
        }
    }
    bool armed = true;
};

class CFragileEndPoint : public CSEndPointParser {
public:
    void MakeRangeFragile(unsigned index, CRefusingHandler& handler) {
        DOMElement* range = FindElementAt("IP_RANGE", index);
        range->setUserData(u"fragile", range, &handler);
    }
};

} // namespace

TEST(IpRangeFaults, ExcludeRemovalReportsItsFailure) {
    CRefusingHandler handler;
    CFragileEndPoint ep;
    ASSERT_EQ(ep.CreateNew("E", "SERVER"), NX_SUCCESS);
    ASSERT_EQ(ep.AddExcludeIPRange("a", "b", 1, 1), NX_SUCCESS);
    ep.MakeRangeFragile(0, handler);
    // The removal fails; the clean-up of the list that is empty by now must not turn
    // that into success.
    EXPECT_EQ(ep.RemoveExcludeIPRange(0), NX_FAILURE);
    EXPECT_FALSE(handler.armed);
    EXPECT_EQ(ep.RemoveExcludeIPRange(0), NX_SUCCESS); // nothing left: the list goes
    EXPECT_EQ(Xml(ep).find("EXCLUDE_IPS"), std::string::npos);
    CSEndPointParser none;
    EXPECT_EQ(none.RemoveExcludeIPRange(0), NX_FAILURE);
}
