#include "AltirenClient/AltirenStatisticsManager.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/Resource.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

namespace {

constexpr const char* kClass = "CAltirenStatisticsManager";
constexpr size_t kIndexReserve = 50993;
constexpr uint32_t kMinimumTimerMs = 10;
constexpr uint32_t kCountedLists[] = {0, 3};

std::string BoundedText(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

// Takes the statistics mutex; false, with `failure` in the trace, when it cannot be taken.
bool TakeLock(std::unique_lock<std::recursive_mutex>& lock, const char* failure) {
    try {
        lock.lock();
        return true;
    } catch (const std::exception&) {
        CLIENT_TRACE(CSTrace::eError, failure, kClass);
        return false;
    }
}

} // namespace

CAltirenStatisticsManager::CAltirenStatisticsManager()
    : CAltirenStatisticsManager(CNuvexControl::Instance()) {}

CAltirenStatisticsManager::CAltirenStatisticsManager(INuvexControl& control)
    : CAltirenStatisticsManager(control, platform::registry::Registry()) {}

CAltirenStatisticsManager::CAltirenStatisticsManager(INuvexControl& control,
                                                     platform::registry::Registry registry)
    : m_historyLimit(CClientSettings::kDefaultLastSecondMapListSize), m_control(control),
      m_registry(std::move(registry)) {
    CLIENT_TRACE_ENTERED(kClass);
    m_deferred.reserve(kMaxDeferredEntries);
    m_index.reserve(kIndexReserve);
}

CAltirenStatisticsManager::~CAltirenStatisticsManager() {
    try {
        if (!StopPoll())
            CLIENT_TRACE(CSTrace::eError, "Failed to stop polling", kClass);
        ClearStatsConsumers();
        m_timer.reset();
    } catch (...) {
        CLIENT_TRACE(CSTrace::eError, "Got an exception in destructor", kClass);
    }
}

void CAltirenStatisticsManager::Init() {
    CClientSettings settings(m_registry);
    const uint32_t pairLimit = settings.GetMaxPairs();
    const size_t historyLimit = settings.GetLastSecondMapListSize();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_pairLimit = pairLimit;
    m_historyLimit = historyLimit;
    m_clock = 0;
    m_deferred.clear();
    m_previousRecords.clear();
    m_previousIndex.clear();
}

int CAltirenStatisticsManager::StartPoll() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_bPolling) {
        CLIENT_TRACE(CSTrace::eInformation, "Already polling. OK!", kClass);
        return 1;
    }
    try {
        Init();
        uint32_t interval = CClientSettings(m_registry).GetPollingInterval();
        if (!m_timer) {
            m_timer = std::make_unique<QTimer>();
            QObject::connect(m_timer.get(), &QTimer::timeout,
                             [this] { OnTimer(IDT_STATISTICS_POLL); });
        }
        // As a window timer: intervals below 10 ms run at 10 ms.
        interval = std::clamp<uint32_t>(interval, kMinimumTimerMs, INT32_MAX);
        m_timer->start(static_cast<int>(interval));
        if (!m_timer->isActive()) {
            CLIENT_TRACE(CSTrace::eError, "Cannot create statistics timer", kClass);
            return 0;
        }
    } catch (const std::exception&) {
        CLIENT_TRACE(CSTrace::eError, "Cannot create statistics timer", kClass);
        return 0;
    }
    m_timerId = IDT_STATISTICS_POLL;
    m_bPolling = 1;
    CLIENT_TRACE_EXITED(kClass);
    return 1;
}

int CAltirenStatisticsManager::StopPoll() {
    CLIENT_TRACE_ENTERED(kClass);
    if (!m_bPolling) {
        CLIENT_TRACE(CSTrace::eError, "Already stopped polling. OK!", kClass);
        return 1;
    }
    std::unique_lock<std::recursive_mutex> lock(m_mutex, std::defer_lock);
    if (!TakeLock(lock, "Failed to lock mutex"))
        return 0;
    if (m_timerId) {
        try {
            m_timer->stop();
        } catch (...) {
            CLIENT_TRACE(CSTrace::eError, "Got an exception when killing timer", kClass);
            return 0;
        }
        m_timerId = 0;
    }
    ClearAll();
    lock.unlock();
    m_bPolling = 0;
    CLIENT_TRACE_EXITED(kClass);
    return 1;
}

void CAltirenStatisticsManager::ClearAll() {
    m_lastSecond.clear();
    m_history.clear();
}

void CAltirenStatisticsManager::SendClearEvent() {
    for (IStatisticsConsumer* consumer : m_consumers)
        consumer->OnClearStatisticsBuffer();
}

int CAltirenStatisticsManager::ClearStatisticsBuffer() {
    CLIENT_TRACE_ENTERED(kClass);
    std::unique_lock<std::recursive_mutex> lock(m_mutex, std::defer_lock);
    if (!TakeLock(lock, "Failed to lock mutex"))
        return 0;
    ClearAll();
    m_clock = 0;
    SendClearEvent();
    return 1;
}

int CAltirenStatisticsManager::GetLastSecondStatistics(StatisticsMap& map, std::string& timeText) {
    CLIENT_TRACE_ENTERED(kClass);
    std::unique_lock<std::recursive_mutex> lock(m_mutex, std::defer_lock);
    if (!TakeLock(lock, "Cannot lock statistics mutex"))
        return 0;
    timeText = FormatStatisticsTime(m_clock);
    map = m_lastSecond;
    return 1;
}

int CAltirenStatisticsManager::GetLastSecondStatistics(const StatisticsParam& param,
                                                       HistoryPoint& point) {
    CLIENT_TRACE_ENTERED(kClass);
    std::unique_lock<std::recursive_mutex> lock(m_mutex, std::defer_lock);
    if (!TakeLock(lock, "Cannot lock statistics mutex"))
        return 0;
    point = HistoryPoint{};
    point.timeText = FormatStatisticsTime(m_clock);
    auto it = m_lastSecond.find(ConnectionKey(param.sourceAddress, param.sourcePort,
                                              param.destinationAddress, param.destinationPort,
                                              param.protocol));
    if (it != m_lastSecond.end()) {
        point.framesLastSecond = it->second.framesLastSecond;
        point.totalFrames = it->second.totalFrames;
        point.bytesLastSecond = it->second.bytesLastSecond;
        point.totalBytes = it->second.totalBytes;
    }
    return 1;
}

int CAltirenStatisticsManager::GetHistoryStatistics(const StatisticsParam& param,
                                                    std::vector<HistoryPoint>& answer) {
    CLIENT_TRACE_ENTERED(kClass);
    answer.clear();
    std::unique_lock<std::recursive_mutex> lock(m_mutex, std::defer_lock);
    if (!TakeLock(lock, "Cannot lock statistics mutex"))
        return 0;
    const std::string key =
        ConnectionKey(param.sourceAddress, param.sourcePort, param.destinationAddress,
                      param.destinationPort, param.protocol);
    auto first = m_history.begin();
    while (first != m_history.end() && first->find(key) == first->end())
        ++first;
    if (first == m_history.end()) {
        lock.unlock();
        CLIENT_TRACE(CSTrace::eError,
                     "Wrong Number of seconds. Please check FromSecond and ToSecond params",
                     kClass);
        return 0;
    }
    answer.reserve(static_cast<size_t>(m_history.end() - first));
    for (auto second = first; second != m_history.end(); ++second) {
        HistoryPoint point;
        auto it = second->find(key);
        // Every second after the first holds the connection: records stay until a clear,
        // which empties the history too.
        if (it != second->end()) {
            point.framesLastSecond = it->second.framesLastSecond;
            point.totalFrames = it->second.totalFrames;
            point.bytesLastSecond = it->second.bytesLastSecond;
            point.totalBytes = it->second.totalBytes;
            point.timeText = FormatStatisticsTime(it->second.timeStamp);
        }
        answer.push_back(std::move(point));
    }
    return 1;
}

uint32_t CAltirenStatisticsManager::GetClock() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_clock;
}

size_t CAltirenStatisticsManager::GetHistorySize() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_history.size();
}

size_t CAltirenStatisticsManager::GetDeferredCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_deferred.size();
}

int CAltirenStatisticsManager::AddConsumer(IStatisticsConsumer* consumer) {
    CLIENT_TRACE_ENTERED(kClass);
    if (!consumer) {
        CLIENT_TRACE(CSTrace::eError, "NULL consumer was passed", kClass);
        return 0;
    }
    m_consumers.push_back(consumer);
    return 1;
}

void CAltirenStatisticsManager::RemoveConsumer(IStatisticsConsumer* consumer) {
    m_consumers.erase(std::remove(m_consumers.begin(), m_consumers.end(), consumer),
                      m_consumers.end());
}

void CAltirenStatisticsManager::OnTimer(unsigned /*timerId*/) {
    CLIENT_TRACE_ENTERED(kClass);
    NuvexPacketList result{};
    result.listsWanted = 1;
    if (m_control.GetPacketListStatistics(&result) != 0)
        return;
    try {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        Fold(result);
        AppendHistorySecond();
    } catch (const std::exception& e) {
        CLIENT_TRACE(CSTrace::eError, e.what(), kClass);
    }
    // The packets go back to the library whatever happened above.
    m_control.FreePackets(&result);
}

void CAltirenStatisticsManager::Fold(const NuvexPacketList& result) {
    AdvanceClock(result);
    InitLastSecondMap();

    const uint32_t records = result.records ? result.recordCount : 0;
    m_index.clear();
    for (uint32_t i = 0; i < records; ++i)
        m_index[result.records[i].sequence] = i;

    for (const DeferredEntry& deferred : m_deferred) {
        auto it = m_index.find(deferred.entry.sequence);
        if (it == m_index.end())
            continue;
        const NuvexPacketRecord& record = result.records[it->second];
        if (IsCounted(record, deferred.entry, deferred.list))
            UpdateConnection(record);
    }
    m_deferred.clear();

    for (uint32_t list : kCountedLists) {
        const NuvexPacketListEntry* entries = result.lists[list];
        const uint32_t count = entries ? result.listCounts[list] : 0;
        for (uint32_t i = 0; i < count; ++i) {
            const NuvexPacketRecord* record = nullptr;
            if (auto it = m_index.find(entries[i].sequence); it != m_index.end())
                record = &result.records[it->second];
            else if (auto before = m_previousIndex.find(entries[i].sequence);
                     before != m_previousIndex.end())
                record = &m_previousRecords[before->second]; // came a tick ahead
            if (record) {
                if (IsCounted(*record, entries[i], list))
                    UpdateConnection(*record);
                continue;
            }
            // Its record comes with the next result, or never.
            if (m_deferred.size() >= kMaxDeferredEntries)
                m_deferred.clear();
            m_deferred.push_back({entries[i], list});
        }
    }
    m_previousRecords.assign(result.records, result.records + records);
    m_previousIndex.swap(m_index);
}

void CAltirenStatisticsManager::AdvanceClock(const NuvexPacketList& result) {
    if (m_clock != 0) {
        m_clock += 1000;
        return;
    }
    uint32_t first = 0;
    if (result.lists[0] && result.listCounts[0] > 0)
        first = result.lists[0][0].timeOfDay;
    else if (result.lists[3] && result.listCounts[3] > 0)
        first = result.lists[3][0].timeOfDay;
    if (first != 0)
        m_clock = first - first % 1000;
}

void CAltirenStatisticsManager::InitLastSecondMap() {
    for (auto& [key, record] : m_lastSecond) {
        record.framesLastSecond = 0;
        record.bytesLastSecond = 0;
        record.timeStamp += 1000;
    }
}

bool CAltirenStatisticsManager::IsCounted(const NuvexPacketRecord& record,
                                          const NuvexPacketListEntry& entry, uint32_t list) {
    if ((list == 0 && record.side == 0) || (list == 3 && record.side == 1))
        return false;
    return entry.flags == 0 || (entry.flags & kUncountedFlags) == 0;
}

void CAltirenStatisticsManager::UpdateConnection(const NuvexPacketRecord& record) {
    char source[100] = {};
    char destination[100] = {};
    char protocol[40] = {};
    uint32_t length = sizeof(source);
    m_control.GetDisplayAddress(record.packet, source, &length, 1);
    const uint16_t sourcePort = m_control.GetPort(record.packet, 1);
    length = sizeof(destination);
    m_control.GetDisplayAddress(record.packet, destination, &length, 0);
    const uint16_t destinationPort = m_control.GetPort(record.packet, 0);
    m_control.GetProtocol(record.packet, protocol);

    const std::string sourceText = BoundedText(source, sizeof(source));
    const std::string destinationText = BoundedText(destination, sizeof(destination));
    const std::string protocolName = NormaliseProtocolName(BoundedText(protocol, sizeof(protocol)));
    // Whole 32 bits: an IPv6 packet's size (payload + 40) may pass 65,535.
    const uint32_t size = m_control.GetPacketSize(record.packet);

    const std::string key =
        ConnectionKey(sourceText, sourcePort, destinationText, destinationPort, protocolName);
    auto it = m_lastSecond.find(key);
    if (it != m_lastSecond.end()) {
        ConnectionStatistics& known = it->second;
        ++known.framesLastSecond;
        ++known.totalFrames;
        known.bytesLastSecond += size;
        known.totalBytes += size;
        known.timeStamp = m_clock;
        return;
    }
    // The map holds at most the pair limit: a connection beyond it is not counted, so
    // that those held keep their totals and their history from tick to tick.
    if (m_lastSecond.size() >= m_pairLimit)
        return;
    ConnectionStatistics fresh;
    fresh.framesLastSecond = 1;
    fresh.totalFrames = 1;
    fresh.bytesLastSecond = size;
    fresh.totalBytes = size;
    fresh.sourceAddress = sourceText;
    fresh.sourcePort = sourcePort;
    fresh.destinationAddress = destinationText;
    fresh.destinationPort = destinationPort;
    fresh.protocol = protocolName;
    fresh.protocolNumber = record.packet[9]; // byte 15 of the record
    fresh.timeStamp = m_clock;
    m_lastSecond.emplace(key, std::move(fresh));
}

void CAltirenStatisticsManager::AppendHistorySecond() {
    StatisticsMap copy = m_lastSecond;
    if (m_history.size() > m_historyLimit)
        m_history.pop_front();
    m_history.push_back(std::move(copy));
}
