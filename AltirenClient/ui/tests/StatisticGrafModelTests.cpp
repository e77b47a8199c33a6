// The points of a graph window without a window: Kbps from bytes, axis maxima that only
// grow, the name rule of an export's file and the CSV text its thread writes.
#include "AltirenUi/GraphCsvExport.h"
#include "AltirenUi/StatisticGrafModel.h"

#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

HistoryPoint Point(const std::string& time, uint32_t bytes, uint32_t frames) {
    HistoryPoint point;
    point.timeText = time;
    point.bytesLastSecond = bytes;
    point.framesLastSecond = frames;
    point.totalBytes = bytes * 2;
    point.totalFrames = frames * 2;
    return point;
}

StatisticsParam Tcp() {
    StatisticsParam param;
    param.sourceAddress = "10.0.0.1";
    param.sourcePort = 80;
    param.destinationAddress = "10.0.0.2";
    param.destinationPort = 1025;
    param.protocol = "TCP";
    return param;
}

bool WaitUntilDone(const CGraphCsvExport& job) {
    for (int i = 0; i < 2000 && job.IsRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !job.IsRunning();
}

TEST(StatisticGrafModel, BytesPlotAsKbpsAndTheAxesOnlyGrow) {
    CStatisticGrafModel model;
    EXPECT_EQ(model.GetThroughputMax(), 100u);
    EXPECT_EQ(model.GetFramesMax(), 2u);

    model.AddPoints({Point("00:00:01", 1000, 1), Point("00:00:02", 127, 2)});
    const std::vector<GraphPoint> added = model.Snapshot();
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].throughputKbps, 7u);
    EXPECT_EQ(added[0].frames, 1u);
    EXPECT_EQ(added[1].throughputKbps, 0u);
    EXPECT_EQ(model.GetThroughputMax(), 100u);
    EXPECT_EQ(model.GetFramesMax(), 2u); // not passed: equal

    model.AddPoints({Point("00:00:03", 150 * 128, 3)});
    EXPECT_EQ(model.GetThroughputMax(), 150u);
    EXPECT_EQ(model.GetFramesMax(), 3u);
    model.AddPoints({Point("00:00:04", 0, 0)});
    EXPECT_EQ(model.GetThroughputMax(), 150u);
    EXPECT_EQ(model.GetPointCount(), 4u);
    EXPECT_EQ(model.GetLastTimeText(), "00:00:04");
    const std::vector<GraphPoint> tail = model.Range(3, 60);
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].timeText, "00:00:04");
    EXPECT_TRUE(model.Range(4, 60).empty());

    // Clearing drops the points and keeps the maxima.
    model.Clear();
    EXPECT_EQ(model.GetPointCount(), 0u);
    EXPECT_EQ(model.GetThroughputMax(), 150u);
    EXPECT_EQ(model.GetFramesMax(), 3u);
    model.AddPoints({});
    EXPECT_EQ(model.GetPointCount(), 0u);
    EXPECT_EQ(model.GetLastTimeText(), "00:00:04");
}

TEST(StatisticGrafModel, ExportFileNameGetsCsvUnlessItEndsWithIt) {
    EXPECT_EQ(CStatisticGrafModel::CsvFileName("report"), "report.csv");
    EXPECT_EQ(CStatisticGrafModel::CsvFileName("a.csv"), "a.csv");
    EXPECT_EQ(CStatisticGrafModel::CsvFileName("a.csv.txt"), "a.csv.txt.csv");
    EXPECT_EQ(CStatisticGrafModel::CsvFileName("/tmp/x.csv"), "/tmp/x.csv");
    // Only the first ".csv" counts.
    EXPECT_EQ(CStatisticGrafModel::CsvFileName("a.csv.csv"), "a.csv.csv.csv");
}

TEST(StatisticGrafModel, ExportWritesTheHeaderAndEveryPoint) {
    testsupport::TempDir dir{"graf-export"};
    CStatisticGrafModel model;
    model.AddPoints(
        {Point("12:00:00", 1000, 3), Point("12:00:01", 19200, 150), Point("12:00:02", 0, 0)});
    CGraphCsvExport job;
    const std::string file = (dir / "report.csv").string();
    testsupport::write_file(file,
                            "an older file that is replaced, longer than the new one\n"
                            "................................................................"
                            "...............................................................");
    ASSERT_TRUE(job.Start(model, Tcp(), file));
    ASSERT_TRUE(WaitUntilDone(job));
    EXPECT_EQ(testsupport::read_file(file),
              "Protocol TCP  SourceAddress:Port 10.0.0.1:80  DestinationAddress:Port "
              "10.0.0.2:1025,,\n"
              "TimeStamp,Throughput(Kbps),FPS\n"
              "12:00:00,7,3\n"
              "12:00:01,150,150\n"
              "12:00:02,0,0\n");

    // An export that cannot open its file ends at once and writes nothing.
    const std::string missing = (dir / "no-such-folder" / "x.csv").string();
    ASSERT_TRUE(job.Start(model, Tcp(), missing));
    ASSERT_TRUE(WaitUntilDone(job));
    EXPECT_FALSE(std::filesystem::exists(missing));
    // ... and the job takes the next one.
    ASSERT_TRUE(job.Start(model, Tcp(), file));
    job.Stop();
    EXPECT_FALSE(job.IsRunning());
}

TEST(StatisticGrafModel, StoppedExportLeavesWholeLinesOfTheText) {
    testsupport::TempDir dir{"graf-stop"};
    CStatisticGrafModel model;
    std::vector<HistoryPoint> many;
    for (uint32_t i = 0; i < 200000; ++i)
        many.push_back(Point("23:59:59", i, i % 50));
    model.AddPoints(many);
    std::string whole = CStatisticGrafModel::CsvHeader(Tcp());
    for (const GraphPoint& point : model.Snapshot())
        whole += CStatisticGrafModel::CsvLine(point);

    const std::string file = (dir / "big.csv").string();
    CGraphCsvExport job;
    ASSERT_TRUE(job.Start(model, Tcp(), file));
    EXPECT_FALSE(job.Start(model, Tcp(), file)); // one at a time
    job.Stop();
    EXPECT_FALSE(job.IsRunning());
    const std::string written = testsupport::read_file(file);
    EXPECT_EQ(whole.compare(0, written.size(), written), 0) << "not a prefix of the text";
    EXPECT_TRUE(written.empty() || written.back() == '\n');
}

} // namespace
