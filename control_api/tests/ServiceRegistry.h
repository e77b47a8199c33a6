// Registers the daemon's service, with `imagePath` as its program, and its device node in
// the registry kept under `root`, as the control library expects to find them.
#pragma once

#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <string>

namespace testsupport {

inline void register_service(const std::string& root, const std::string& imagePath) {
    using platform::registry::Hive;
    platform::registry::Registry reg(root);
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\QL";
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, service), 0);
    ASSERT_EQ(
        reg.createKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\Root\\SH_QUELLIN"), 0);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, service, "ImagePath",
                           platform::registry::Value::Sz(imagePath)),
              0);
}

} // namespace testsupport
