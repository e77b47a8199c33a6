#include "AltirenClient/NuvexControl.h"

#include <ControlSocket/ControlClient.h>
#include <quellin_wire/IoControl.h>

#include <algorithm>

int CNuvexControl::GetStatus(uint32_t* emulating) {
    return NuvexGetStatus(emulating);
}
int CNuvexControl::ForceDriverReset() {
    return NuvexForceDriverReset();
}
void CNuvexControl::SetDefaultPlayParams(PlayParameters* params) {
    NuvexSetDefaultPlayParams(params);
}
int CNuvexControl::PlayEmulation(PlayParameters* params) {
    return NuvexPlayEmulation(params);
}
int CNuvexControl::StopEmulation() {
    return NuvexStopEmulation();
}
int CNuvexControl::GetPacketListStatistics(NuvexPacketList* result) {
    return NuvexGetPacketListStatistics(result);
}
void CNuvexControl::FreePackets(NuvexPacketList* result) {
    NuvexFreePackets(result);
}
uint32_t CNuvexControl::GetPacketSize(const uint8_t* packet) {
    return NuvexGetPacketSize(packet);
}
void CNuvexControl::GetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length,
                                      uint8_t source) {
    NuvexGetDisplayAddress(packet, text, length, source);
}
uint16_t CNuvexControl::GetPort(const uint8_t* packet, uint8_t source) {
    return NuvexGetPort(packet, source);
}
void CNuvexControl::GetProtocol(const uint8_t* packet, char text[40]) {
    NuvexGetProtocol(packet, text);
}

uint16_t CNuvexControl::DriverAdapterCount() {
    // The answer starts as 0xFFFF; what the driver writes replaces it.
    uint8_t out[2] = {0xFF, 0xFF};
    quellin::ctlsock::ControlClient device;
    if (device.open()) {
        constexpr int kTimeoutMs = 5000;
        quellin::ctlsock::Reply reply =
            device.call(quellin::wire::kIoctlAdapterCount, {}, sizeof(out), kTimeoutMs);
        // A buffered request: the driver's bytes come back in the system buffer.
        if (reply.ok())
            std::copy_n(reply.system_buffer.begin(),
                        std::min<size_t>(reply.system_buffer.size(), sizeof(out)), out);
        device.close();
    }
    return static_cast<uint16_t>(out[0] | (out[1] << 8));
}

CNuvexControl& CNuvexControl::Instance() {
    static CNuvexControl control;
    return control;
}
