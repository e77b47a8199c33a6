#include "AltirenUi/StatisticGrafModel.h"

#include <algorithm>
#include <cstddef>

void CStatisticGrafModel::AddPoints(const std::vector<HistoryPoint>& points) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (const HistoryPoint& point : points) {
        GraphPoint shown{point.timeText, ThroughputKbps(point.bytesLastSecond),
                         point.framesLastSecond};
        if (shown.throughputKbps > m_nThroughputMax)
            m_nThroughputMax = shown.throughputKbps;
        if (shown.frames > m_nFramesMax)
            m_nFramesMax = shown.frames;
        m_points.push_back(std::move(shown));
    }
    if (!points.empty())
        m_strLastTime = points.back().timeText;
}

void CStatisticGrafModel::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_points.clear();
}

size_t CStatisticGrafModel::GetPointCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_points.size();
}

uint32_t CStatisticGrafModel::GetThroughputMax() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nThroughputMax;
}

uint32_t CStatisticGrafModel::GetFramesMax() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nFramesMax;
}

std::string CStatisticGrafModel::GetLastTimeText() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_strLastTime;
}

std::vector<GraphPoint> CStatisticGrafModel::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_points;
}

std::vector<GraphPoint> CStatisticGrafModel::Range(size_t first, size_t count) const {
    std::lock_guard<std::mutex> lock(m_lock);
    if (first >= m_points.size())
        return {};
    const size_t end = first + std::min(count, m_points.size() - first);
    return std::vector<GraphPoint>(m_points.begin() + static_cast<std::ptrdiff_t>(first),
                                   m_points.begin() + static_cast<std::ptrdiff_t>(end));
}

std::string CStatisticGrafModel::CsvFileName(const std::string& chosen) {
    static const std::string kExtension = ".csv";
    const size_t first = chosen.find(kExtension);
    if (first != std::string::npos && first + kExtension.size() == chosen.size())
        return chosen;
    return chosen + kExtension;
}

std::string CStatisticGrafModel::CsvHeader(const StatisticsParam& param) {
    return "Protocol " + param.protocol + "  SourceAddress:Port " + param.sourceAddress + ":" +
           std::to_string(param.sourcePort) + "  DestinationAddress:Port " +
           param.destinationAddress + ":" + std::to_string(param.destinationPort) +
           ",,\nTimeStamp,Throughput(Kbps),FPS\n";
}

std::string CStatisticGrafModel::CsvLine(const GraphPoint& point) {
    return point.timeText + "," + std::to_string(point.throughputKbps) + "," +
           std::to_string(point.frames) + "\n";
}
