// Completion statuses of control-device requests and the error numbers callers see.
#pragma once

#include <cstdint>

namespace quellin::ctlsock {

constexpr uint32_t kStatusSuccess = 0x00000000;
constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
constexpr uint32_t kStatusInvalidHandle = 0xC0000008;
constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;
constexpr uint32_t kStatusPipeBroken = 0xC000014B;
constexpr uint32_t kStatusIoTimeout = 0xC00000B5;

// Error numbers of the caller's side.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorBrokenPipe = 109;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorTimeout = 1460;

// True for success and informational statuses (the top bit clear).
constexpr bool status_succeeded(uint32_t status) {
    return (status & 0x80000000u) == 0;
}

// The error number a caller of the device sees for a completion status; statuses without
// a number of their own give the general failure 31.
uint32_t win32_error_from_status(uint32_t status);

} // namespace quellin::ctlsock
