#include "Fendrel/FendrelUtils.h"

#include <gtest/gtest.h>

namespace {

class XmlEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(XMLInitModule()); }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new XmlEnvironment);

} // namespace
