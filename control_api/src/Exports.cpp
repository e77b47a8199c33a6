// The sixteen exports: thin wrappers that guard the caller's pointers.
#include "AltirenAPI.h"
#include "AltirenAPI/PacketText.h"
#include "AltirenAPI/Session.h"
#include "AltirenPlayCheck/Defaults.h"

#include <cstring>

namespace pk = altiren_api::packet;

namespace {

pk::Bytes captured(const uint8_t* packet) {
    return pk::Bytes(packet, pk::kCapturedBytes);
}

} // namespace

using altiren_api::Session;

extern "C" {

int NuvexIsDriverInstalled(void) {
    return Session::instance().driverInstalled() ? 1 : 0;
}

int NuvexPlayEmulation(PlayParameters* params) {
    return params ? Session::instance().play(*params) : NUVEX_RC_NO_DRIVER;
}

int NuvexStopEmulation(void) {
    return Session::instance().stop();
}

int NuvexGetStatus(uint32_t* playing) {
    return playing ? Session::instance().getStatus(*playing) : NUVEX_RC_NO_DRIVER;
}

int NuvexForceDriverReset(void) {
    return Session::instance().forceDriverReset();
}

int GetLastSecondStatistics(uint32_t statistics[12]) {
    return statistics ? Session::instance().lastSecondStatistics(statistics) : NUVEX_RC_NO_DRIVER;
}

int NuvexGetPacketListStatistics(NuvexPacketList* result) {
    return result ? Session::instance().getPacketList(*result) : NUVEX_RC_NO_DRIVER;
}

void NuvexFreePackets(NuvexPacketList* result) {
    if (result)
        Session::freePackets(*result);
}

int NuvexSetPacketListBufferOptions(uint32_t size, int32_t mode) {
    return Session::instance().setPacketListBufferOptions(size, mode);
}

void NuvexSetDefaultPlayParams(PlayParameters* params) {
    if (params)
        altiren_api::set_default_play_params(*params);
}

int NuvexGetPacketIpVersion(const uint8_t* packet) {
    if (!packet)
        return 2;
    switch (pk::ip_version(captured(packet))) {
    case 4:
        return 0;
    case 6:
        return 1;
    default:
        return 2;
    }
}

uint32_t NuvexGetPacketSize(const uint8_t* packet) {
    return packet ? pk::packet_size(captured(packet)) : 0;
}

void NuvexGetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length, uint8_t source) {
    if (!packet || !text || !length)
        return;
    auto address = pk::address_text(captured(packet), source != 0);
    if (!address)
        return;
    uint32_t size = *length;
    if (address->size() < size) {
        std::memset(text, 0, size);
        std::memcpy(text, address->data(), address->size());
    }
    *length = static_cast<uint32_t>(address->size());
}

uint16_t NuvexGetPort(const uint8_t* packet, uint8_t source) {
    return packet ? pk::port(captured(packet), source != 0) : 0;
}

void NuvexGetProtocol(const uint8_t* packet, char text[40]) {
    if (!packet || !text)
        return;
    auto protocol = pk::protocol_text(captured(packet));
    if (!protocol)
        return;
    std::memset(text, 0, pk::kProtocolTextSize);
    std::memcpy(text, protocol->data(), protocol->size());
}

int NuvexIsPacketLossDueToBER(const uint8_t* packet) {
    return packet && pk::header_checksum_fails(captured(packet)) ? 1 : 0;
}

} // extern "C"
