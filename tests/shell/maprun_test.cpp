// SPDX-License-Identifier: GPL-3.0-or-later
// "Create map" off the window's thread: progress, Escape, and the map of the synchronous run.

#include "tests/shell/windowtest.h"
#include "widgets/contourplot.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <bit>
#include <cstdint>

namespace zelt {
namespace {

using test::WindowTest;

// Whether two residual grids hold the same bits in every cell.
bool SameBits(const TResidualGrid& a, const TResidualGrid& b) {
    if (a.size() != b.size())
        return false;
    for (int r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (int c = 0; c < a[r].size(); ++c)
            if (std::bit_cast<std::uint64_t>(a[r][c]) != std::bit_cast<std::uint64_t>(b[r][c]))
                return false;
    }
    return true;
}

class MapRunTest : public WindowTest {
protected:
    void SetUp() override {
        folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
        Open();
        ReadThroughDialog(kDemo);
        ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    }
    void SetPoints(const char* points) {
        Control<QLineEdit>("PointsDensityEdit")->setText(points);
        Control<QLineEdit>("PointsTempEdit")->setText(points);
    }
    QString Memo() { return Control<QPlainTextEdit>("ReportsMemo")->toPlainText(); }
    // Calls `atRows` at the first progress message that counts rows done.
    void OnProgress(const std::function<void()>& atRows) {
        QObject::connect(&Window().Messages(), &TMessageArea::Shown,
                         [this, atRows, called = false](const QString& message) mutable {
                             if (called || !message.contains(" rows ("))
                                 return;
                             called = true;
                             progress_ = message;
                             fitEnabled_ = Control<QPushButton>("FitBtn")->isEnabled();
                             atRows();
                         });
    }

    static inline const QString kDemo =
        QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt");
    QString progress_;
    bool fitEnabled_ = true;
};

TEST_F(MapRunTest, AMapOffTheWindowThreadIsTheSynchronousMapBitForBit) {
    SetPoints("600");
    OnProgress([] {});
    Control<QPushButton>("MapBtn")->click();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    // The window took its events while the map ran, the commands disabled.
    EXPECT_TRUE(QRegularExpression("^Map: \\d+ of 600 rows \\(\\d+ %\\)    Escape: cancel$")
                    .match(progress_)
                    .hasMatch())
        << progress_.toStdString();
    EXPECT_FALSE(fitEnabled_);
    EXPECT_TRUE(Control<QPushButton>("FitBtn")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    TZeltApp app(folders_.ConfigFile().toStdString());
    ASSERT_TRUE(app.ChangeSpecies("Ar I").Done);
    ASSERT_TRUE(app.ReadMeasurement(kDemo.toStdString()).Done);
    TCommandSettings settings = app.ConfiguredSettings();
    settings.DensityPoints = settings.TemperaturePoints = 600;
    const TMapOutcome alone = app.Map(settings, ReportFinalResults);
    ASSERT_TRUE(alone.Done) << alone.Error;
    EXPECT_EQ(Window().App().ShownMap().Grid()->size(), 600);
    EXPECT_TRUE(SameBits(*Window().App().ShownMap().Grid(), *alone.Grid));
    EXPECT_EQ(Memo().split('\n').last().toStdString(), alone.Report.back());
}

TEST_F(MapRunTest, EscapeCancelsAndThePreviousMapStays) {
    SetPoints("3");
    Window().Iterate();
    const QString memo = Memo(), caption = Control<TContourPlot>("ContourPlot")->Caption();
    const QString fitted = Grid()->CellText(4, 1);
    const double z = Window().ContourPlotEstimateZVal(15, 1000);
    const TMapRange range = Window().App().ShownMap().Range();
    const auto grid = *Window().App().ShownMap().Grid();

    SetPoints("3000");
    OnProgress([this] {
        QCoreApplication::postEvent(
            &Window(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    Window().Iterate();
    EXPECT_FALSE(progress_.isEmpty());
    EXPECT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    EXPECT_EQ(Message(), "Map cancelled: the previous map stays.");
    EXPECT_EQ(Memo(), memo);
    EXPECT_EQ(Control<TContourPlot>("ContourPlot")->Caption(), caption);
    EXPECT_EQ(Grid()->CellText(4, 1), fitted);
    EXPECT_EQ(Window().ContourPlotEstimateZVal(15, 1000), z);
    EXPECT_EQ(Window().App().ShownMap().Range().TemperatureStep, range.TemperatureStep);
    EXPECT_TRUE(SameBits(*Window().App().ShownMap().Grid(), grid));
    EXPECT_FALSE(Control<QPushButton>("MapCancelBtn")->isVisible());
    EXPECT_TRUE(Control<QPushButton>("MapBtn")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The status bar's button cancels as Escape does.
    OnProgress([this] { Control<QPushButton>("MapCancelBtn")->click(); });
    Window().Iterate();
    EXPECT_EQ(Message(), "Map cancelled: the previous map stays.");
    EXPECT_EQ(Memo(), memo);
}

} // namespace
} // namespace zelt
