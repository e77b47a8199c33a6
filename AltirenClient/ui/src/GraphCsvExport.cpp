#include "AltirenUi/GraphCsvExport.h"

#include "AltirenClient/ClientTrace.h"

#include <cstdio>

namespace {
constexpr const char* kClass = "CStatisticGrafWindow";
} // namespace

CGraphCsvExport::~CGraphCsvExport() {
    Stop();
}

bool CGraphCsvExport::Start(const CStatisticGrafModel& model, const StatisticsParam& param,
                            const std::string& fileName) {
    if (m_bRunning.load())
        return false;
    if (m_thread.joinable())
        m_thread.join(); // the last export has ended
    m_bStop = false;
    m_bRunning = true;
    m_thread = std::thread(Run, this, &model, CStatisticGrafModel::CsvHeader(param), fileName);
    return true;
}

void CGraphCsvExport::Stop() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CGraphCsvExport::Run(CGraphCsvExport* self, const CStatisticGrafModel* model,
                          std::string header, std::string fileName) {
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file) {
        CLIENT_TRACE(CSTrace::eError, ("Fail to open CSV file:" + fileName).c_str(), kClass);
        self->m_bRunning = false;
        return;
    }
    const std::vector<GraphPoint> points = model->Snapshot();
    bool written = !self->m_bStop && std::fputs(header.c_str(), file) >= 0;
    for (size_t i = 0; written && i < points.size(); ++i) {
        if (self->m_bStop)
            break;
        written = std::fputs(CStatisticGrafModel::CsvLine(points[i]).c_str(), file) >= 0;
    }
    std::fclose(file);
    self->m_bRunning = false;
}
