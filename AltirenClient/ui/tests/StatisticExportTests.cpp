// The CSV export of a graph window on its thread, with the window around it: one export
// at a time, and a window that closes while its export runs ends it at once and leaves
// whole lines behind. Built for ThreadSanitizer as well.
#include "AltirenUi/StatisticGrafWindow.h"

#include <AltirenUiTest/GuiTest.h>
#include <TestSupport/TempDir.h>

#include <QElapsedTimer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class StatisticExport : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        window = std::make_unique<CStatisticGrafWindow>();
        window->SetKey("198.18.1.2_80_198.18.0.1_40000_TCP");
        ASSERT_TRUE(window->Create());
    }

    void AddSeconds(uint32_t count) {
        std::vector<HistoryPoint> points(count);
        for (uint32_t i = 0; i < count; ++i) {
            points[i].timeText = FormatStatisticsTime(i * 1000);
            points[i].bytesLastSecond = i * 128;
            points[i].framesLastSecond = i % 1000;
        }
        window->AddDataPoints(points);
    }

    void WaitForExport() const {
        for (int i = 0; i < 2000 && window->IsExportRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    std::string WholeText() const {
        std::string text = CStatisticGrafModel::CsvHeader(
            StringIdToStatisticsParam("198.18.1.2_80_198.18.0.1_40000_TCP"));
        for (const GraphPoint& point : window->Model().Snapshot())
            text += CStatisticGrafModel::CsvLine(point);
        return text;
    }

    guitest::TestRegistry registry;
    testsupport::TempDir dir{"graf-window-export"};
    std::unique_ptr<CStatisticGrafWindow> window;
};

TEST_F(StatisticExport, ASecondExportWhileOneRunsDoesNothing) {
    AddSeconds(50);
    // A named pipe holds the first export in its open until the test reads it.
    const std::string pipe = (dir / "pipe.csv").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    int asked = 0;
    window->SetFileChooser([&](QWidget*) {
        ++asked;
        return (dir / "pipe").string(); // ".csv" is added
    });
    QPushButton* button = guitest::Find<QPushButton>(window.get(), IDC_STATISTIC_EXPORT);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window->GetExportFileName(), pipe);
    EXPECT_TRUE(window->IsExportRunning());

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(asked, 1); // not even asked for a file
    EXPECT_TRUE(window->IsExportRunning());

    std::string read;
    const int fd = ::open(pipe.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        read.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    WaitForExport();
    EXPECT_FALSE(window->IsExportRunning());
    EXPECT_EQ(read, WholeText());

    // The next export runs again.
    window->SetFileChooser([&](QWidget*) { return (dir / "after.csv").string(); });
    QTest::mouseClick(button, Qt::LeftButton);
    WaitForExport();
    EXPECT_EQ(testsupport::read_file(dir / "after.csv"), WholeText());
}

TEST_F(StatisticExport, ClosingTheWindowDuringAnExportEndsItWithWholeLines) {
    AddSeconds(100000);
    window->SetFileChooser([&](QWidget*) { return (dir / "big.csv").string(); });
    window->OnExport();
    ASSERT_TRUE(window->IsExportRunning());
    // A tick goes on while the export reads the points: it has that second or not.
    AddSeconds(1);
    const std::string whole = WholeText();

    QElapsedTimer clock;
    clock.start();
    window->close();
    const qint64 closing = clock.elapsed();
    EXPECT_FALSE(window->IsExportRunning());
    EXPECT_FALSE(window->IsWindowCreated());
    RecordProperty("close_ms", static_cast<int>(closing));
    window.reset();

    const std::string written = testsupport::read_file(dir / "big.csv");
    RecordProperty("written_of_whole_percent",
                   static_cast<int>(100.0 * written.size() / static_cast<double>(whole.size())));
    EXPECT_EQ(whole.compare(0, written.size(), written), 0) << "not a prefix of the text";
    EXPECT_TRUE(written.empty() || written.back() == '\n');
    EXPECT_LT(closing, 10000);
}

TEST_F(StatisticExport, AnExportEndedBeforeItsFirstLineWritesNothing) {
    AddSeconds(50);
    // The export waits for a reader of its named pipe; the window closes meanwhile, and
    // only then does a reader come.
    const std::string pipe = (dir / "late.csv").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    window->SetFileChooser([&](QWidget*) { return pipe; });
    window->OnExport();
    ASSERT_TRUE(window->IsExportRunning());
    std::string read = "unread";
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int fd = ::open(pipe.c_str(), O_RDONLY);
        read.clear();
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            read.append(buffer, static_cast<size_t>(n));
        ::close(fd);
    });
    window->close();
    reader.join();
    EXPECT_FALSE(window->IsExportRunning());
    EXPECT_EQ(read, "");
}

TEST_F(StatisticExport, DestroyingTheWindowDuringAnExportJoinsIt) {
    AddSeconds(100000);
    window->SetFileChooser([&](QWidget*) { return (dir / "gone").string(); });
    window->OnExport();
    window.reset();
    const std::string written = testsupport::read_file(dir / "gone.csv");
    EXPECT_TRUE(written.empty() || written.back() == '\n');
}

} // namespace
