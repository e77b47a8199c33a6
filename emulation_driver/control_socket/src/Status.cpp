#include "ControlSocket/Status.h"

namespace quellin::ctlsock {

uint32_t win32_error_from_status(uint32_t status) {
    switch (status) {
    case kStatusSuccess:
        return kErrorSuccess;
    case kStatusInvalidParameter:
        return kErrorInvalidParameter;
    case kStatusBufferTooSmall:
        return kErrorInsufficientBuffer;
    case kStatusUnsuccessful:
        return kErrorGenFailure;
    case kStatusInvalidHandle:
        return kErrorInvalidHandle;
    case kStatusPipeBroken:
        return kErrorBrokenPipe;
    case kStatusIoTimeout:
        return kErrorTimeout;
    default:
        return status_succeeded(status) ? kErrorSuccess : kErrorGenFailure;
    }
}

} // namespace quellin::ctlsock
