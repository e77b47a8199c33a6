// Windows under a real X server (Xvfb), saved as PNG files in <build>/screenshots for a
// person to look at; nothing compares pixels.
#include "AltirenUi/QtPrompt.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/Xvfb.h"

#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running())
            GTEST_SKIP() << server.Error();
        guitest::XcbApp(server);
    }

    // The saved file is a PNG of the whole screen.
    static void ExpectScreen(const std::string& path) {
        ASSERT_FALSE(path.empty());
        const QImage image(QString::fromStdString(path));
        EXPECT_EQ(image.size(), QSize(1024, 768));
    }

    guitest::XvfbServer server;
};

TEST_F(Screenshots, AnErrorBoxOfThePrompt) {
    CQtPrompt prompt;
    std::unique_ptr<QMessageBox> box(
        prompt.CreateBox(FormatClientString(IDS_ADAPTER_IN_FILTER, "198.18.0.1"),
                         LoadClientString(IDS_CAPTION_ERROR), MB_OK | MB_ICONERROR));
    ASSERT_TRUE(guitest::ShowAndWait(box.get()));
    QTest::qWait(200);
    ExpectScreen(guitest::SaveScreenshot("prompt-61237"));
}

} // namespace
