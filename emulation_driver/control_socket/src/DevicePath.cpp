#include "ControlSocket/DevicePath.h"

#include <cstdlib>

namespace quellin::ctlsock {

std::string device_path() {
    const char* env = std::getenv(kDeviceEnvironment);
    return env && *env ? std::string(env) : std::string(kDefaultDevicePath);
}

} // namespace quellin::ctlsock
