// One connection's graph window: throughput in Kbps and frames per second, one point a
// second, each series on its own value axis over a time axis, a scroll bar that follows
// the newest point while "AutoScroll" is ticked, and the export of the points to a CSV
// file from the "Export" button or the chart's context menu. The first tick loads the
// connection's whole history, every later tick adds its current second.
#pragma once

#include "AltirenUi/GraphCsvExport.h"
#include "AltirenUi/StatisticGrafModel.h"
#include "AltirenUi/StatisticWindowBase.h"

#include <functional>
#include <string>
#include <vector>

class QCategoryAxis;
class QChart;
class QChartView;
class QCheckBox;
class QLineSeries;
class QMenu;
class QPushButton;
class QScrollBar;
class QValueAxis;

class CStatisticGrafWindow : public CStatisticWindowBase {
    Q_OBJECT
public:
    // Seconds shown at once; the scroll bar reaches the others.
    static constexpr int kVisiblePoints = 60;
    // Every so many seconds the time axis carries a label.
    static constexpr int kLabelStep = 10;

    // Asks the user for the file of an export; empty when cancelled.
    using FileChooser = std::function<std::string(QWidget* parent)>;

    explicit CStatisticGrafWindow(QWidget* parent = nullptr);
    ~CStatisticGrafWindow() override;

    void OnTimerEvent() override;
    void ClearWindow() override;

    void AddDataPoints(const std::vector<HistoryPoint>& points);
    // The "AutoScroll" box was clicked.
    void OnCheckAutoScroll();
    // "Export" and the menu's "Export to CSV".
    void OnExport();
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // The save dialog: "Save to file...", CSV files, ".csv" by default, overwrite prompt.
    static std::string ChooseSaveFile(QWidget* parent);

    bool IsAutoScroll() const { return m_bAutoScroll; }
    bool IsHistoryLoaded() const { return m_bHistoryLoaded; }
    bool IsExportRunning() const { return m_export.IsRunning(); }
    const std::string& GetExportFileName() const { return m_strExportFile; }
    const CStatisticGrafModel& Model() const { return m_model; }
    // The first second in view.
    int FirstVisiblePoint() const;

    QChart* Chart() const { return m_pChart; }
    QChartView* ChartView() const { return m_pChartView; }
    QLineSeries* ThroughputSeries() const { return m_pThroughput; }
    QLineSeries* FramesSeries() const { return m_pFrames; }
    QValueAxis* ThroughputAxis() const { return m_pThroughputAxis; }
    QValueAxis* FramesAxis() const { return m_pFramesAxis; }
    QCategoryAxis* TimeAxis() const { return m_pTimeAxis; }
    QScrollBar* ScrollBar() const { return m_pScrollBar; }
    QMenu* ContextMenu() const { return m_pMenu; }

protected:
    bool OnInitDialog() override;
    void OnDestroyWindow() override;

private:
    void InitGrafInstance();
    void CloseAllResources();
    void UpdateScrollRange();
    void ScrollToNewest();
    void OnChartScrolled(int first);
    void ShowRange(int first);
    void OnRButtonDownChartControl(const QPoint& position);

    bool m_bAutoScroll = true;
    QChart* m_pChart = nullptr;
    QChartView* m_pChartView = nullptr;
    QLineSeries* m_pThroughput = nullptr;
    QLineSeries* m_pFrames = nullptr;
    QValueAxis* m_pThroughputAxis = nullptr;
    QValueAxis* m_pFramesAxis = nullptr;
    QCategoryAxis* m_pTimeAxis = nullptr;
    QScrollBar* m_pScrollBar = nullptr;
    QCheckBox* m_pAutoScroll = nullptr;
    QPushButton* m_pExport = nullptr;
    QMenu* m_pMenu = nullptr;
    CStatisticGrafModel m_model; // the points, under the chart lock
    bool m_bProgramScroll = false;
    bool m_bHistoryLoaded = false;
    std::string m_strExportFile;
    FileChooser m_chooser;
    CGraphCsvExport m_export; // declared last: it goes first, before the points it reads
};
