// Scenario documents of the tests: the client's own (tests/data) and the document
// library's, the DTD folder, and the XML platform for the whole test program.
#pragma once

#include <Fendrel/FendrelUtils.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <string>

namespace scenario_test {

inline std::string DtdDir() {
    return FENDREL_DTD_DIR;
}

inline std::string ClientDoc(const std::string& name) {
    return testsupport::read_file(std::string(SCENARIO_TEST_DATA_DIR) + "/" + name);
}

inline std::string FendrelDoc(const std::string& name) {
    return testsupport::read_file(std::string(FENDREL_TEST_DATA_DIR) + "/" + name);
}

// A normal-form document around one WAN element's children, with optional further net
// objects and recorded data.
inline std::string WanDoc(const std::string& wanChildren, const std::string& objects = "",
                          const std::string& recording = "") {
    return "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
           "<TOPOVEL ID=\"T\" NAME=\"T\" TOPOVEL_VERSION=\"1.2\"><NET_OBJECTS>"
           "<WAN_NUVEX ID=\"ID_WAN_NUVEX\" NAME=\"WAN\">" +
           wanChildren + "</WAN_NUVEX>" + objects + "</NET_OBJECTS><LINKS/>" + recording +
           "</TOPOVEL>\n";
}

inline std::string DataBlock(const std::string& samples, const std::string& interval = "100",
                             const std::string& length = "60") {
    return "<RECORDING_DATA><DATA_BLOCK ID=\"DB\" NAME=\"B\"><RECORDING_DETAILS "
           "IMPORTED_INTERVAL_LENGTH=\"" +
           length + "\" SAMPLE_INTERVAL=\"" + interval +
           "\"/><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"" + interval + "\">" + samples +
           "</LATENCY_AND_LOSS_DATA></DATA_BLOCK></RECORDING_DATA>";
}

class XmlEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(XMLInitModule()); }
};

} // namespace scenario_test
