// The control library as the client uses it. CNuvexControl calls the library's exports
// and the driver's control device; tests put a fake in its place.
#pragma once

#include <AltirenAPI.h>

#include <cstdint>

class INuvexControl {
public:
    virtual ~INuvexControl() = default;

    virtual int GetStatus(uint32_t* emulating) = 0;
    virtual int ForceDriverReset() = 0;
    virtual void SetDefaultPlayParams(PlayParameters* params) = 0;
    virtual int PlayEmulation(PlayParameters* params) = 0;
    virtual int StopEmulation() = 0;

    virtual int GetPacketListStatistics(NuvexPacketList* result) = 0;
    virtual void FreePackets(NuvexPacketList* result) = 0;
    virtual uint32_t GetPacketSize(const uint8_t* packet) = 0;
    virtual void GetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length,
                                   uint8_t source) = 0;
    virtual uint16_t GetPort(const uint8_t* packet, uint8_t source) = 0;
    virtual void GetProtocol(const uint8_t* packet, char text[40]) = 0;

    // The operating-system class the client branches on: 4 (NT 4), 2000 (NT 5 and
    // later), 95, 98, or 0.
    virtual int OperatingSystemCode() = 0;
    // The driver's number of bound adapters (control code 0x220028); 65535 when the
    // device cannot be opened or the request writes nothing.
    virtual uint16_t DriverAdapterCount() = 0;
};

class CNuvexControl : public INuvexControl {
public:
    int GetStatus(uint32_t* emulating) override;
    int ForceDriverReset() override;
    void SetDefaultPlayParams(PlayParameters* params) override;
    int PlayEmulation(PlayParameters* params) override;
    int StopEmulation() override;
    int GetPacketListStatistics(NuvexPacketList* result) override;
    void FreePackets(NuvexPacketList* result) override;
    uint32_t GetPacketSize(const uint8_t* packet) override;
    void GetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length,
                           uint8_t source) override;
    uint16_t GetPort(const uint8_t* packet, uint8_t source) override;
    void GetProtocol(const uint8_t* packet, char text[40]) override;
    // Always 2000 here: the system is of the NT 5 family.
    int OperatingSystemCode() override { return 2000; }
    uint16_t DriverAdapterCount() override;

    // The process-wide instance.
    static CNuvexControl& Instance();
};
