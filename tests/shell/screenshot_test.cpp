// Renders the window with a demo file read into a PNG under the build folder, for review.

#include "tests/shell/windowtest.h"

#include <QDir>
#include <QPixmap>

namespace zelt {
namespace {

using test::WindowTest;

TEST_F(WindowTest, ScreenshotWithADemoFile) {
    folders_.WriteConfig();
    Open();
    ReadThroughDialog(folders_.WriteMeasurement("argon.txt", test::FiveLines));
    ASSERT_TRUE(dialogs_.Errors.isEmpty());
    Window().resize(1636, 768);
    Window().show();
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    const QPixmap image = Window().grab();
    EXPECT_FALSE(image.isNull());
    EXPECT_TRUE(image.save(folder + "/zeltfit-window.png"));
}

} // namespace
} // namespace zelt
