// Per-connection traffic statistics of the playing emulation. While polling, each timer
// tick (every PollingInterval ms, on the thread that owns the manager) takes the captured
// packets from the control library, folds those of packet lists 0 and 3 into the records
// of the current second and keeps one copy of them per second as history. The statistics
// windows read copies; consumers hear when everything was dropped.
#pragma once

#include "AltirenClient/NuvexControl.h"
#include "AltirenClient/StatisticsTypes.h"

#include <platform/Registry.h>

#include <QTimer>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CAltirenStatisticsManager {
public:
    static constexpr size_t kMaxDeferredEntries = 50000;
    // Flag bits of a list entry that keep it out of the statistics.
    static constexpr uint16_t kUncountedFlags = 0x0001 | 0x0008 | 0x0040 | 0x0080 | 0x0100;

    // Over the control library's exports and the registry store of the process.
    CAltirenStatisticsManager();
    explicit CAltirenStatisticsManager(INuvexControl& control);
    CAltirenStatisticsManager(INuvexControl& control, platform::registry::Registry registry);
    virtual ~CAltirenStatisticsManager();
    CAltirenStatisticsManager(const CAltirenStatisticsManager&) = delete;
    CAltirenStatisticsManager& operator=(const CAltirenStatisticsManager&) = delete;

    // 1 when polling (also when it already was), 0 when the timer cannot run.
    int StartPoll();
    // 1 when stopped (also when it already was); drops all statistics.
    int StopPoll();
    bool IsPolling() const { return m_bPolling != 0; }

    // Drops all statistics, forgets the clock and tells the consumers.
    int ClearStatisticsBuffer();

    // Copies of the current second's records and the current second as time text.
    int GetLastSecondStatistics(StatisticsMap& map, std::string& timeText);
    static void ClearLastSecondStatistics(StatisticsMap& map) { map.clear(); }
    // One connection in the current second; zero counters when it is unknown.
    int GetLastSecondStatistics(const StatisticsParam& param, HistoryPoint& point);
    // One connection's seconds, oldest first, from its first appearance; 0 and an empty
    // answer for a connection that the history does not hold.
    int GetHistoryStatistics(const StatisticsParam& param, std::vector<HistoryPoint>& answer);
    static void ClearHistoryStatistics(std::vector<HistoryPoint>& answer) { answer.clear(); }

    int AddConsumer(IStatisticsConsumer* consumer);
    // Forgets a consumer that goes away before the manager.
    void RemoveConsumer(IStatisticsConsumer* consumer);
    void ClearStatsConsumers() { m_consumers.clear(); }

    // The tick; the timer identifier is not examined.
    void OnTimer(unsigned timerId);

    // For the windows and the tests (under the statistics mutex).
    uint32_t GetClock() const;
    size_t GetHistorySize() const;
    size_t GetDeferredCount() const;
    int GetPollingIntervalMs() const { return m_timer ? m_timer->interval() : 0; }

private:
    struct DeferredEntry {
        NuvexPacketListEntry entry;
        uint32_t list;
    };

    void Init();
    void ClearAll();
    void SendClearEvent();
    void Fold(const NuvexPacketList& result);
    void AdvanceClock(const NuvexPacketList& result);
    void InitLastSecondMap();
    static bool IsCounted(const NuvexPacketRecord& record, const NuvexPacketListEntry& entry,
                          uint32_t list);
    void UpdateConnection(const NuvexPacketRecord& record);
    void AppendHistorySecond();

    int m_bPolling = 0;
    unsigned m_timerId = 0;
    mutable std::recursive_mutex m_mutex;
    StatisticsMap m_lastSecond;
    uint32_t m_pairLimit = 0;
    size_t m_historyLimit = 0;
    std::deque<StatisticsMap> m_history;
    uint32_t m_clock = 0;
    std::vector<IStatisticsConsumer*> m_consumers;
    std::vector<DeferredEntry> m_deferred; // capacity kMaxDeferredEntries, never grown

    INuvexControl& m_control;
    platform::registry::Registry m_registry;
    std::unique_ptr<QTimer> m_timer;
    std::unordered_map<uint32_t, size_t> m_index; // packet id -> record, per tick
    // The records of the tick before, with their index: the library hands out what has
    // arrived, and a packet's record can come a tick before its list entries.
    std::vector<NuvexPacketRecord> m_previousRecords;
    std::unordered_map<uint32_t, size_t> m_previousIndex;
};
