// The CSV export of a graph window on a thread of its own: it takes a snapshot of the
// points under the chart lock, writes the file without holding it, and looks at its stop
// flag before every line. Stop (and the destructor) ask it to end and join it; nothing
// ever kills the thread, and it never touches a widget or the chart.
#pragma once

#include "AltirenUi/StatisticGrafModel.h"

#include <atomic>
#include <string>
#include <thread>

class CGraphCsvExport {
public:
    CGraphCsvExport() = default;
    ~CGraphCsvExport();
    CGraphCsvExport(const CGraphCsvExport&) = delete;
    CGraphCsvExport& operator=(const CGraphCsvExport&) = delete;

    // Starts writing the points of model (which must outlive the export) under the
    // header of param into fileName; false, with nothing started, while an export runs.
    bool Start(const CStatisticGrafModel& model, const StatisticsParam& param,
               const std::string& fileName);
    bool IsRunning() const { return m_bRunning.load(); }
    // Ends a running export at its next line and waits for it; the file keeps the lines
    // written so far.
    void Stop();

private:
    static void Run(CGraphCsvExport* self, const CStatisticGrafModel* model, std::string header,
                    std::string fileName);

    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bStop{false};
};
