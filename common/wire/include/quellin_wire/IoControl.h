// I/O control codes of the control device and the status values its requests complete with.
#pragma once

#include <cstdint>

namespace quellin::wire {

inline constexpr uint32_t kIoctlCapturedPackets = 0x220006;
inline constexpr uint32_t kIoctlStatus = 0x22000A;
inline constexpr uint32_t kIoctlControl = 0x22000E;
inline constexpr uint32_t kIoctlPacketList0 = 0x220012;
inline constexpr uint32_t kIoctlPacketList1 = 0x220016;
inline constexpr uint32_t kIoctlPacketList2 = 0x22001A;
inline constexpr uint32_t kIoctlPacketList3 = 0x22001E;
inline constexpr uint32_t kIoctlCounters = 0x220022;
inline constexpr uint32_t kIoctlAdapterCount = 0x220028;
inline constexpr uint32_t kIoctlAdapterList = 0x22002E;
inline constexpr uint32_t kIoctlIsEmulating = 0x220032;
inline constexpr uint32_t kIoctlPlayBlockLength = 0x220036;
inline constexpr uint32_t kIoctlPlayBlock = 0x22003A;

inline constexpr uint32_t kStatusSuccess = 0x00000000;
inline constexpr uint32_t kStatusPending = 0x00000103;
inline constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
inline constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;

} // namespace quellin::wire
