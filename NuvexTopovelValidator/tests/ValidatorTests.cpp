#include "NuvexTopovelValidator/STopovelValidator.h"
#include "ScenarioXml.h"

#include <gtest/gtest.h>

using namespace scenario_test;

namespace {
const ::testing::Environment* const g_xml = ::testing::AddGlobalTestEnvironment(new XmlEnvironment);
}

TEST(Validator, BasicTopologyBecomesItsNormalForm) {
    std::string xml = FendrelDoc("basic_topology.xml");
    CSTopovelValidator v;
    ASSERT_EQ(v.ValidateTopovel(xml, DtdDir().c_str()), 0u);
    EXPECT_EQ(xml, FendrelDoc("basic_topology_normal.xml"));
}
