// Registers the daemon's service, with `imagePath` as its program, and its device node in
// the registry kept under `root`, as the control library expects to find them; and runs the
// daemon there.
#pragma once

#include "platform/Registry.h"

#include <TestSupport/QuellinProcess.h>

#include <cstdlib>
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

// Registers `binary` as the service under `root`, points the control library at that
// registry and at the control socket `device`, and starts the daemon on it.
inline void start_registered_daemon(const std::string& binary, const std::string& root,
                                    const std::string& device, QuellinProcess& daemon) {
    ASSERT_NO_FATAL_FAILURE(register_service(root, binary));
    ::setenv("ALTIREN_REGISTRY_ROOT", root.c_str(), 1);
    ::setenv("QL_DEVICE", device.c_str(), 1);
    ASSERT_TRUE(daemon.start(binary, device));
}

} // namespace testsupport
