// The statistics behind the statistics windows in their tests: a statistics manager over
// the scripted control library and the test's registry, ticked by hand with captured
// packets, one batch a second.
#pragma once

#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/Resource.h"
#include "FakeNuvexControl.h"
#include "PacketBuilder.h"

#include <AltirenUiTest/GuiTest.h>

#include <vector>

namespace guitest {

// A TCP connection of the benchmarking range, station to network.
inline PacketSpec TcpPacket(uint16_t sourcePort, uint16_t size = 1000,
                            const std::string& source = "198.18.0.1",
                            const std::string& destination = "198.18.1.2") {
    PacketSpec spec;
    spec.protocol = 6;
    spec.source = source;
    spec.destination = destination;
    spec.sourcePort = sourcePort;
    spec.destinationPort = 80;
    spec.totalLength = size;
    return spec;
}

// The connection of a packet as the windows name it.
inline StatisticsParam ParamOf(const PacketSpec& spec) {
    StatisticsParam param;
    param.sourceAddress = spec.source;
    param.sourcePort = spec.sourcePort;
    param.destinationAddress = spec.destination;
    param.destinationPort = spec.destinationPort;
    param.protocol = spec.protocol == 6 ? "TCP" : (spec.protocol == 17 ? "UDP" : "ICMP");
    return param;
}

class StatisticsFeed {
public:
    // The timers of the manager and the windows never fire on their own in a test.
    explicit StatisticsFeed(TestRegistry& registry)
        : m_configured(Configure(registry)),
          manager(control, platform::registry::Registry(registry.dir().str())) {}

    // One second in which each packet was sent once (outbound, packet list 0).
    void Tick(const std::vector<PacketSpec>& packets) {
        FakeNuvexControl::Batch batch;
        for (const PacketSpec& spec : packets) {
            batch.records.push_back(RecordFromWire(WireRecord(m_sequence, 1, spec)));
            batch.lists[0].push_back(EntryFromWire(m_sequence, 0, m_time));
            ++m_sequence;
        }
        m_time += 1000;
        control.batches.push_back(std::move(batch));
        manager.OnTimer(IDT_STATISTICS_POLL);
    }

    size_t Connections() {
        StatisticsMap map;
        std::string time;
        manager.GetLastSecondStatistics(map, time);
        return map.size();
    }

private:
    static bool Configure(TestRegistry& registry) {
        return registry.SetDword("PollingInterval", 3600000) &&
               registry.SetDword("StatGuiRefresh", 3600000);
    }

    bool m_configured;
    uint32_t m_sequence = 1;
    uint32_t m_time = 50000;

public:
    FakeNuvexControl control;
    CAltirenStatisticsManager manager;
};

} // namespace guitest
