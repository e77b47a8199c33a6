// Where the control device's socket lives.
#pragma once

#include <string>

namespace quellin::ctlsock {

constexpr const char* kDefaultDevicePath = "/run/quellin/QL";
constexpr const char* kDeviceEnvironment = "QL_DEVICE";

// QL_DEVICE when it is set and not empty, else /run/quellin/QL.
std::string device_path();

} // namespace quellin::ctlsock
