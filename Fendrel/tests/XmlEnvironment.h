// Shared set-up of the library's tests: the XML platform and the test documents.
#pragma once

#include "TestSupport/TempDir.h"

#include <string>

namespace fendrel_test {

inline std::string DtdDir() {
    return FENDREL_DTD_DIR;
}

inline std::string DataFile(const std::string& name) {
    return testsupport::read_file(std::string(FENDREL_TEST_DATA_DIR) + "/" + name);
}

} // namespace fendrel_test
