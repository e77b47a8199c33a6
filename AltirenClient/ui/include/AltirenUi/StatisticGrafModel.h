// The points of one connection's graph: one per second, throughput in Kbps (the bytes of
// that second shifted right by 7) and frames, each labelled with its time text, and the
// maxima of the two value axes, which start at 100 and 2 and never shrink. The points
// are the window's own, under the chart lock; the chart only shows them. Also the CSV
// text of an export and the rule that names its file.
#pragma once

#include "AltirenClient/StatisticsTypes.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct GraphPoint {
    std::string timeText;
    uint32_t throughputKbps = 0;
    uint32_t frames = 0;
};

class CStatisticGrafModel {
public:
    static constexpr uint32_t kInitialThroughputMax = 100;
    static constexpr uint32_t kInitialFramesMax = 2;

    static uint32_t ThroughputKbps(uint32_t bytes) { return bytes >> 7; }

    // Appends the points in order, raising the axis maxima where they are passed.
    void AddPoints(const std::vector<HistoryPoint>& points);
    // No points; the axis maxima stay.
    void Clear();

    size_t GetPointCount() const;
    uint32_t GetThroughputMax() const;
    uint32_t GetFramesMax() const;
    std::string GetLastTimeText() const;
    // A copy of every point, taken under the lock.
    std::vector<GraphPoint> Snapshot() const;
    // Up to count points from first on.
    std::vector<GraphPoint> Range(size_t first, size_t count) const;

    // The file an export writes to: the chosen name, with ".csv" appended unless the
    // first ".csv" in it stands at its very end.
    static std::string CsvFileName(const std::string& chosen);
    // The two header lines of the export of a connection's graph.
    static std::string CsvHeader(const StatisticsParam& param);
    static std::string CsvLine(const GraphPoint& point);

private:
    mutable std::mutex m_lock; // the chart lock
    std::vector<GraphPoint> m_points;
    uint32_t m_nThroughputMax = kInitialThroughputMax;
    uint32_t m_nFramesMax = kInitialFramesMax;
    std::string m_strLastTime;
};
