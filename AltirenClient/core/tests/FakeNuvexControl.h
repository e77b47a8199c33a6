// A control library for the client's tests: scripted results for the driver calls,
// scripted packet-list results, and the library's own packet decoding.
#pragma once

#include "AltirenClient/NuvexControl.h"

#include <quellin_wire/Records.h>

#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <vector>

class FakeNuvexControl : public INuvexControl {
public:
    struct Batch {
        int result = 0;
        std::vector<NuvexPacketRecord> records;
        std::array<std::vector<NuvexPacketListEntry>, 4> lists;
    };

    // Driver calls.
    int statusResult = 0;
    uint32_t statusState = 0;
    int resetResult = 0;
    int playResult = 0;
    int stopResult = 0;
    int osCode = 2000;
    uint16_t adapterCount = 1;

    int statusCalls = 0, resetCalls = 0, playCalls = 0, stopCalls = 0, defaultCalls = 0;
    // Run inside the status request and the stop, after the count (a daemon that holds the
    // call); they may run on another thread.
    std::function<void()> onStatus, onStop;
    uint32_t playedAdapterAddress = 0;

    // Packet lists: one batch per request; an empty script answers with nothing captured.
    std::deque<Batch> batches;
    int listCalls = 0, freeCalls = 0;
    bool throwInDecode = false; // the protocol text fails as an allocation would
    uint32_t lastListsWanted = 0;

    int GetStatus(uint32_t* emulating) override {
        ++statusCalls;
        if (onStatus)
            onStatus();
        *emulating = statusState;
        return statusResult;
    }
    int ForceDriverReset() override {
        ++resetCalls;
        return resetResult;
    }
    void SetDefaultPlayParams(PlayParameters* params) override {
        ++defaultCalls;
        NuvexSetDefaultPlayParams(params);
    }
    int PlayEmulation(PlayParameters* params) override {
        ++playCalls;
        playedAdapterAddress = params->adapterAddress;
        return playResult;
    }
    int StopEmulation() override {
        ++stopCalls;
        if (onStop)
            onStop();
        return stopResult;
    }
    int OperatingSystemCode() override { return osCode; }
    uint16_t DriverAdapterCount() override { return adapterCount; }

    int GetPacketListStatistics(NuvexPacketList* result) override {
        ++listCalls;
        lastListsWanted = result->listsWanted;
        Batch batch;
        if (!batches.empty()) {
            batch = std::move(batches.front());
            batches.pop_front();
        }
        if (batch.result != 0)
            return batch.result;
        result->recordCount = static_cast<uint32_t>(batch.records.size());
        result->records = new NuvexPacketRecord[batch.records.size()];
        std::copy(batch.records.begin(), batch.records.end(), result->records);
        for (size_t l = 0; l < 4; ++l) {
            result->listCounts[l] = static_cast<uint32_t>(batch.lists[l].size());
            result->lists[l] = new NuvexPacketListEntry[batch.lists[l].size()];
            std::copy(batch.lists[l].begin(), batch.lists[l].end(), result->lists[l]);
        }
        return 0;
    }
    void FreePackets(NuvexPacketList* result) override {
        ++freeCalls;
        NuvexFreePackets(result);
    }
    uint32_t GetPacketSize(const uint8_t* packet) override { return NuvexGetPacketSize(packet); }
    void GetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length,
                           uint8_t source) override {
        NuvexGetDisplayAddress(packet, text, length, source);
    }
    uint16_t GetPort(const uint8_t* packet, uint8_t source) override {
        return NuvexGetPort(packet, source);
    }
    void GetProtocol(const uint8_t* packet, char text[40]) override {
        if (throwInDecode)
            throw std::bad_alloc();
        NuvexGetProtocol(packet, text);
    }
};
