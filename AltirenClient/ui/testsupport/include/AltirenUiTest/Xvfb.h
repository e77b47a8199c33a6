// A real X server for screenshot tests: Debian's Xvfb on a display it picks itself, the
// test's QApplication on the xcb platform over it, and the X screen saved as a PNG in the
// build folder for a person to look at.
#pragma once

#include "AltirenUiTest/GuiTest.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace guitest {

class XvfbServer {
public:
    explicit XvfbServer(int width = 1024, int height = 768) {
        int fds[2];
        if (::pipe(fds) != 0) {
            m_error = "pipe failed";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (m_pid < 0) {
            ::close(fds[0]);
            m_error = "fork failed";
            return;
        }
        // Xvfb writes its display number once it accepts clients.
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty()) {
            m_error = "Xvfb did not start (is the package xvfb installed?)";
            Stop();
            return;
        }
        m_display = ":" + number;
    }
    ~XvfbServer() { Stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const { return !m_display.empty(); }
    const std::string& Display() const { return m_display; }
    const std::string& Error() const { return m_error; }

private:
    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        m_display.clear();
    }

    pid_t m_pid = -1;
    std::string m_display;
    std::string m_error;
};

// The test process's QApplication on the xcb platform over the server's display; call
// it before anything else makes the application.
inline QApplication& XcbApp(const XvfbServer& server) {
    qputenv("DISPLAY", QByteArray::fromStdString(server.Display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    return App();
}

// Saves what the X screen shows as <build>/screenshots/<name>.png; the path, or empty
// when nothing could be saved.
inline std::string SaveScreenshot(const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::string();
    const QString folder = QStringLiteral(ALTIREN_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + "/" + QString::fromStdString(name) + ".png";
    return screen->grabWindow(0).save(path, "PNG") ? path.toStdString() : std::string();
}

// A saved screenshot is a PNG of the whole 1024 x 768 screen.
inline void ExpectScreenshot(const std::string& path) {
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(QImage(QString::fromStdString(path)).size(), QSize(1024, 768));
}

// A test over an X server of its own; skipped where Xvfb cannot start.
class XvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running())
            GTEST_SKIP() << server.Error();
        XcbApp(server);
    }

    XvfbServer server;
};

} // namespace guitest
