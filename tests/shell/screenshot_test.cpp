// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the window into PNGs under the build folder, for review: a demo file read, the demo
// spectrum after a map and a fit on a small and a large screen, with either plot shown, and the
// series of the demo folder.

#include "shell/imagesizedialog.h"
#include "tests/shell/windowtest.h"
#include "tests/widgets/crowdedchart.h"
#include "widgets/axistitle.h"
#include "widgets/barmarks.h"
#include "widgets/boltzmannchart.h"
#include "widgets/contourplot.h"
#include "widgets/imagelayout.h"
#include "widgets/seriesplot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>

namespace zelt {
namespace {

using test::WindowTest;

void Save(QWidget& window, const QString& name) {
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    QApplication::processEvents(); // the layout after a resize
    const QPixmap image = window.grab();
    EXPECT_FALSE(image.isNull());
    EXPECT_TRUE(image.save(folder + "/" + name));
}

TEST_F(WindowTest, ScreenshotWithADemoFile) {
    folders_.WriteConfig();
    Open();
    ReadThroughDialog(folders_.WriteMeasurement("argon.txt", test::FiveLines));
    ASSERT_TRUE(dialogs_.Errors.isEmpty());
    Window().resize(1636, 768);
    Window().show();
    Save(Window(), "zeltfit-window.png");
}

TEST_F(WindowTest, ScreenshotsAfterAMapAndAFit) {
    folders_.WriteConfig("[_Iteration]\r\nFromDensity=1E16\r\nToDensity=1E18\r\n"
                         "DensityPoints=40\r\nFromTemperature=1000\r\nToTemperature=4000\r\n"
                         "TemperaturePoints=40\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    Open();
    ReadThroughDialog(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt"));
    Window().Iterate();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    Window().show();
    auto* plots = Control<QTabWidget>("PlotPageControl");
    for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)}) {
        Window().resize(size);
        const QString name = QStringLiteral("zeltfit-%1x%2").arg(size.width()).arg(size.height());
        plots->setCurrentIndex(1);
        Save(Window(), name + "-map.png");
        plots->setCurrentIndex(0);
        Save(Window(), name + "-chart.png");

        // Folded, the plots take the lower area's height; unfolded, it comes back as it was.
        auto* fold = Control<QToolButton>("LowerFoldBtn");
        const int unfolded = plots->height(), memo = Control<QWidget>("ReportsMemo")->height();
        fold->click();
        Save(Window(), name + "-chart-folded.png");
        EXPECT_EQ(fold->text(), "▴ Settings");
        EXPECT_GE(plots->height(), unfolded + memo + 100);
        EXPECT_TRUE(Control<QWidget>("MapBtn")->visibleRegion().isEmpty());
        plots->setCurrentIndex(1);
        Save(Window(), name + "-map-folded.png");
        fold->click();
        QApplication::processEvents();
        EXPECT_EQ(plots->height(), unfolded);
        EXPECT_FALSE(Control<QWidget>("MapBtn")->visibleRegion().isEmpty());
    }
}

// The chart of a crowded spectrum, 120 lines, on a small and a large screen.
TEST_F(WindowTest, ScreenshotsOfACrowdedChart) {
    folders_.WriteConfig();
    Open();
    ReadThroughDialog(folders_.WriteMeasurement("argon.txt", test::FiveLines));
    Chart()->SetMeasured(test::ManyLines(120));
    Chart()->SetFitted({}, {});
    Chart()->SetFree({}, {});
    Chart()->Redraw();
    Window().show();
    for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)}) {
        Window().resize(size);
        Save(Window(), QStringLiteral("zeltfit-%1x%2-chart-120-lines.png")
                           .arg(size.width())
                           .arg(size.height()));
        test::ExpectMarksApart(*Chart());
        EXPECT_EQ(Chart()->Marks()->TextRects().size() + Chart()->Marks()->HiddenCount(), 120);
    }
}

// The map alone with the confidence region and the fit's ellipse, for the README: the thinnest
// demo source, n_1 = 1e16 m-3, whose region at 99.7 % is no ellipse.
TEST_F(WindowTest, ScreenshotOfTheConfidenceRegion) {
    folders_.WriteConfig("[_Iteration]\r\nFromDensity=8E15\r\nToDensity=1.3E16\r\n"
                         "DensityPoints=60\r\nFromTemperature=900\r\nToTemperature=2300\r\n"
                         "TemperaturePoints=60\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    Open();
    ReadThroughDialog(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/argon_1e16.txt"));
    Control<QComboBox>("RegionLevelBox")->setCurrentIndex(3);
    Window().Iterate();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    Window().show();
    Control<QTabWidget>("PlotPageControl")->setCurrentIndex(1);
    QApplication::processEvents();
    auto* plot = Control<TContourPlot>("ContourPlot");
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    EXPECT_TRUE(plot->toPixmap(640, 420).save(folder + "/zeltfit-region.png"));
    // As saved for one journal column (85 mm, 300 dpi), and the dialog that asks it.
    const TImageChoice column{TImageChoice::TPreset::OneColumn};
    SavePlotImage(*plot, folder + "/zeltfit-region-column.png",
                  ImageSizeOf(column, QSize(640, 420)));
    TImageSizeDialog dialog(column, QSize(640, 420));
    dialog.show();
    Save(dialog, "zeltfit-image-size.png");
}

// "Fit all files" over the demo folder, n_1 and T_exc fitted: the window on a small and a large
// screen, and the series plot alone for the README.
TEST_F(WindowTest, ScreenshotsOfTheDemoSeries) {
    folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    for (const QString& name :
         QDir(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements")).entryList(QDir::Files))
        folders_.WriteMeasurement(
            name,
            test::TTestFolders::Read(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/") + name));
    Open();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().show();
    Window().FitAllClick();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();
    ASSERT_TRUE(dialogs_.Messages.isEmpty()) << dialogs_.Messages.join("|").toStdString();
    for (const QSize size : {QSize(1024, 700), QSize(1680, 1000)}) {
        Window().resize(size);
        Save(Window(),
             QStringLiteral("zeltfit-%1x%2-series.png").arg(size.width()).arg(size.height()));
    }
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    EXPECT_TRUE(Control<TSeriesPlot>("SeriesPlot")
                    ->toPixmap(640, 400)
                    .save(folder + "/zeltfit-series.png"));
    // The same with free lower levels: every level's density.
    Control<QCheckBox>("FreeLevelsCheckBox")->setChecked(true);
    Window().FitAllClick();
    EXPECT_TRUE(Control<TSeriesPlot>("SeriesPlot")
                    ->toPixmap(640, 400)
                    .save(folder + "/zeltfit-series-free.png"));
}

// A series with a flagged result (two lines of one upper level, T_exc fitted): its point hollow
// and outside the axes' ranges, its reasons beneath the plot, the status bar saying why.
TEST_F(WindowTest, ScreenshotOfASeriesWithAFlaggedResult) {
    folders_.WriteConfig("[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    for (const char* name : {"argon_1e16.txt", "argon_5e16.txt", "argon_2e17.txt"})
        folders_.WriteMeasurement(
            name,
            test::TTestFolders::Read(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/") + name));
    folders_.WriteMeasurement("argon_1e17.txt", "696.5431 381.634\r\n727.2936 161.595\r\n");
    Open();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().show();
    Window().FitAllClick();
    Window().resize(1280, 800);
    Save(Window(), "zeltfit-series-flagged.png");
    Control<QListWidget>("FileListBox")->setCurrentRow(1);
    Window().FileListBoxClick();
    Window().Fit();
    Save(Window(), "zeltfit-fit-flagged.png");
    const TSeriesPlot* plot = Control<TSeriesPlot>("SeriesPlot");
    EXPECT_EQ(plot->FlaggedTemperatures()->dataCount(), 1);
    EXPECT_LT(plot->yAxis2->range().upper, 2000);
}

// Every plot saved for one and two journal columns at 300 dpi, from the window at 1024 x 700:
// the image as wide as the column, its plotting area taking most of it, no tick labels touching.
TEST_F(WindowTest, PlotsAtJournalSizes) {
    folders_.WriteConfig("[_Iteration]\r\nFromDensity=1E16\r\nToDensity=1E18\r\n"
                         "DensityPoints=40\r\nFromTemperature=1000\r\nToTemperature=4000\r\n"
                         "TemperaturePoints=40\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
    for (const QString& name :
         QDir(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements")).entryList(QDir::Files))
        folders_.WriteMeasurement(
            name,
            test::TTestFolders::Read(QStringLiteral(ZELT_SOURCE_DIR "/data/measurements/") + name));
    Open();
    Control<QCheckBox>("FitTempCheckBox")->setChecked(true);
    Window().resize(1024, 700);
    Window().show();
    Window().FitAllClick();
    ReadThroughDialog(folders_.Measurements() + "/argon_5e16.txt");
    Window().Iterate();
    Control<QCheckBox>("FreeLevelsCheckBox")->setChecked(true);
    Window().Fit();
    ASSERT_TRUE(dialogs_.Errors.isEmpty()) << dialogs_.Errors.join("|").toStdString();

    auto* plots = Control<QTabWidget>("PlotPageControl");
    Control<QTabWidget>("TablePageControl")->setCurrentIndex(3);
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    const struct {
        const char* Name;
        int Page;
    } shown[] = {{"ZeltChart", 0}, {"ContourPlot", 1}, {"SeriesPlot", 2}, {"BoltzmannPlot", 0}};
    for (const auto& plot : shown) {
        plots->setCurrentIndex(plot.Page);
        QApplication::processEvents();
        auto* widget = Control<QCustomPlot>(plot.Name);
        for (const auto& [preset, millimetres] :
             {std::pair(TImageChoice::TPreset::OneColumn, 85),
              std::pair(TImageChoice::TPreset::TwoColumns, 170)}) {
            const TImageSize size = ImageSizeOf({preset}, widget->size());
            const QString file = QStringLiteral("%1/zeltfit-%2-%3mm.png")
                                     .arg(folder, QString(plot.Name).toLower())
                                     .arg(millimetres);
            SavePlotImage(*widget, file, size);
            EXPECT_EQ(QImage(file).width(), std::lround(millimetres / 25.4 * 300)) << plot.Name;

            const QSize layout = size.Pixels * 96 / 300;
            TImageLayout laidOut(*widget, layout, true);
            QImage scratch(layout, QImage::Format_ARGB32_Premultiplied);
            QCPPainter painter(&scratch);
            laidOut.Draw(painter);
            // The plotting area, with the chart's strip of wavelength marks above it and the
            // map's colour bar below (the series plot has an axis either side).
            QRect area = widget->axisRect()->rect();
            if (auto* chart = qobject_cast<TZeltChart*>(widget))
                area.setTop(area.top() - chart->Marks()->StripHeight());
            if (auto* map = qobject_cast<TContourPlot*>(widget))
                area = area.united(map->ColourScale()->axis()->axisRect()->rect());
            EXPECT_GT(area.width(), 0.5 * layout.width()) << plot.Name << " " << millimetres;
            EXPECT_GT(area.height(), 0.45 * layout.height()) << plot.Name << " " << millimetres;
            for (const QCPAxis* axis : LabelledAxes(*widget))
                EXPECT_TRUE(TickLabelsApart(*axis))
                    << plot.Name << " " << millimetres << " " << axis->axisType();
            // The left axis's title, centred on the plotting area, lies within the image and
            // below the chart's marks.
            const QCPAxis* left = widget->axisRect()->axis(QCPAxis::atLeft);
            QTextDocument title;
            title.setDocumentMargin(0);
            title.setDefaultFont(left->labelFont());
            const TAxisTitle* caption = TAxisTitle::Of(left);
            title.setHtml(caption != nullptr ? caption->Html() : left->label().toHtmlEscaped());
            double top = 0;
            if (auto* chart = qobject_cast<TZeltChart*>(widget))
                for (const QRectF& text : chart->Marks()->TextRects())
                    top = std::max(top, text.bottom());
            const double centre = widget->axisRect()->rect().center().y();
            EXPECT_GE(centre - title.idealWidth() / 2, top) << plot.Name << " " << millimetres;
            EXPECT_LE(centre + title.idealWidth() / 2, layout.height()) << plot.Name;
        }
    }
}

} // namespace
} // namespace zelt
