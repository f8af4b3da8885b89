// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/contourplot.h"

#include "common/errors.h"
#include "widgets/axistitle.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace zelt {
namespace {

TEST(ContourPlot, IsoRangeKeepsLowBelowHigh) {
    TContourPlot plot;
    EXPECT_EQ(plot.LowIso(), -1);
    EXPECT_EQ(plot.HighIso(), 1);
    EXPECT_EQ(plot.ScaleRange(), QCPRange(-10, 1));
    plot.SetLowIso(0.02);
    plot.SetHighIso(0.02);
    EXPECT_DOUBLE_EQ(plot.LowIso(), -0.98);
    EXPECT_DOUBLE_EQ(plot.HighIso(), 0.02);
    plot.SetLowIso(5);
    EXPECT_EQ(plot.HighIso(), 6);
    plot.SetHighIso(2);
    EXPECT_EQ(plot.LowIso(), 1);
    EXPECT_EQ(plot.ColourScale()->label(), "RSS");
    EXPECT_EQ(TAxisTitle::Of(plot.xAxis)->Caption(), "Log10 n_1 [m-3]");
    EXPECT_EQ(plot.yAxis->label(), "Temperature [K]");
}

// The colour the user sees at a point of the data range.
QColor PixelAt(TContourPlot& plot, double x, double y) {
    const QImage image = plot.toPixmap(plot.width(), plot.height()).toImage();
    return image.pixelColor(static_cast<int>(plot.xAxis->coordToPixel(x)),
                            static_cast<int>(plot.yAxis->coordToPixel(y)));
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
           std::abs(a.blue() - b.blue()) <= 3;
}

TEST(ContourPlot, ResidualsColouredOnTheLogarithmicScaleTheyCanBeReadOff) {
    TContourPlot plot;
    plot.resize(400, 400);
    int calls = 0;
    // Four quadrants of 1e-4, 1e-3, 1e-2 and no value; 0 along a strip.
    plot.SetValueCallback([&calls](double x, double y) {
        ++calls;
        if (y > 2900)
            return 0.0;
        if (x < 16)
            return y < 2000 ? 1e-4 : 1e-3;
        return y < 2000 ? 1e-2 : -1.0;
    });
    plot.SetDataRange(15, 17, 1000, 3000);
    plot.SetLowIso(0);
    plot.SetHighIso(1e-2);
    plot.SetScaleRange(0, 1e-2);
    plot.SetBestPoint(15.5, 1500);
    plot.Redraw();
    EXPECT_EQ(calls, 390 * 390);
    EXPECT_EQ(plot.ColourMap()->data()->keySize(), 390);

    // The scale runs from the smallest residual above 0 to the largest, in decades.
    EXPECT_TRUE(plot.Logarithmic());
    EXPECT_EQ(plot.ColourRange(), QCPRange(1e-4, 1e-2));
    QCPAxis* scale = plot.ColourScale()->axis();
    EXPECT_EQ(scale->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(scale->range(), QCPRange(1e-4, 1e-2));
    EXPECT_EQ(plot.ScaleRange(), QCPRange(0, 1e-2));
    plot.replot();
    EXPECT_EQ(scale->tickVectorLabels(),
              (QVector<QString>{"1E-4", "2E-4", "5E-4", "1E-3", "2E-3", "5E-3", "1E-2"}));

    // Viridis: dark violet at the low end, teal halfway up in decades, yellow at the top; a
    // residual of 0 takes the lowest colour, points without a value are grey.
    EXPECT_TRUE(Near(PixelAt(plot, 15.2, 1200), QColor(0x44, 0x01, 0x54)));
    EXPECT_TRUE(Near(PixelAt(plot, 15.2, 2500), QColor(0x21, 0x91, 0x8c)));
    EXPECT_TRUE(Near(PixelAt(plot, 16.5, 1500), QColor(0xfd, 0xe7, 0x25)));
    EXPECT_EQ(PixelAt(plot, 16.5, 2500), TContourPlot::NoValueColour);
    EXPECT_TRUE(Near(PixelAt(plot, 16.5, 2950), QColor(0x44, 0x01, 0x54)));
    // The best point: a white dot.
    EXPECT_TRUE(plot.HasBestPoint());
    EXPECT_EQ(PixelAt(plot, 15.5, 1500), QColor(Qt::white));

    // The cross-hair, dragged onto the darkest colour: black on a white halo.
    const QPointF at(plot.xAxis->coordToPixel(15.2), plot.yAxis->coordToPixel(1300));
    QMouseEvent press(QEvent::MouseButtonPress, at, plot.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&plot, &press);
    EXPECT_DOUBLE_EQ(plot.CrossX(), plot.xAxis->pixelToCoord(at.x()));
    const QImage image = plot.toPixmap(plot.width(), plot.height()).toImage();
    int darkest = 255, lightest = 0;
    for (int dx = -3; dx <= 3; ++dx) {
        const int grey = qGray(image.pixel(static_cast<int>(at.x()) + dx,
                                           static_cast<int>(plot.yAxis->coordToPixel(1700))));
        darkest = std::min(darkest, grey);
        lightest = std::max(lightest, grey);
    }
    EXPECT_LT(darkest, 20);
    EXPECT_GT(lightest, 200);
}

// No scale before there is a map; the cross-hair neither in saved images nor on a new range.
TEST(ContourPlot, NoScaleWithoutMapAndNoCrossHairInImages) {
    TContourPlot plot;
    plot.resize(300, 300);
    plot.Redraw();
    EXPECT_FALSE(plot.ColourScale()->visible());
    plot.SetValueCallback([](double, double) { return 0.5; });
    plot.SetDataRange(15, 17, 1000, 3000);
    plot.Redraw();
    EXPECT_TRUE(plot.ColourScale()->visible());

    QTemporaryDir folder;
    const QString with = folder.filePath("with.png"), without = folder.filePath("without.png");
    EXPECT_FALSE(plot.CrossHairShown());
    SavePlotImage(plot, without);
    plot.SetCrossHairShown(true);
    SavePlotImage(plot, with);
    EXPECT_TRUE(plot.CrossHairShown());
    EXPECT_EQ(QImage(with), QImage(without));
    // For print: the picture at 300 dpi (the screen's 96 dpi scaled), marked with it.
    const QString print = folder.filePath("print.png");
    SavePlotImage(plot, print, ScreenImageSize(plot.size(), 300));
    const QImage printed(print);
    EXPECT_EQ(printed.size(), QSize(938, 938));
    EXPECT_EQ(printed.dotsPerMeterX(), 11811);
    plot.SetDataRange(15, 16, 1000, 2000);
    EXPECT_FALSE(plot.CrossHairShown());
}

TEST(ContourPlot, FlatMapsAndMapsOfZeros) {
    TContourPlot plot;
    plot.SetDataRange(15, 17, 1000, 3000);
    // All residuals 0.02: the iso range -0.98 to 0.02; the colours span the decade below.
    plot.SetValueCallback([](double, double) { return 0.02; });
    plot.SetLowIso(0.02);
    plot.SetHighIso(0.02);
    plot.SetScaleRange(plot.LowIso(), plot.HighIso());
    plot.Redraw();
    EXPECT_EQ(plot.ScaleRange(), QCPRange(-0.98, 0.02));
    EXPECT_EQ(plot.ColourRange(), QCPRange(0.002, 0.02));
    EXPECT_EQ(plot.ColourScale()->axis()->range(), QCPRange(0.002, 0.02));

    // Nothing above 0 to take a logarithm of: a linear scale from -1 to 0.
    plot.SetValueCallback([](double x, double) { return x < 16 ? 0.0 : -1.0; });
    plot.SetLowIso(0);
    plot.SetHighIso(0);
    plot.SetScaleRange(plot.LowIso(), plot.HighIso());
    plot.Redraw();
    EXPECT_FALSE(plot.Logarithmic());
    EXPECT_EQ(plot.ColourRange(), QCPRange(-1, 0));
    EXPECT_EQ(plot.ColourScale()->axis()->scaleType(), QCPAxis::stLinear);
    EXPECT_EQ(plot.ColourMap()->data()->data(15.5, 2000), 0);
    EXPECT_TRUE(std::isnan(plot.ColourMap()->data()->data(16.5, 2000)));
}

TEST(PlotImage, SavedInTheFormatOfTheFileName) {
    TContourPlot plot;
    plot.resize(300, 200);
    QTemporaryDir folder;
    for (const char* name : {"map.png", "map.pdf", "map.svg"}) {
        const QString file = folder.path() + "/" + name;
        SavePlotImage(plot, file);
        QFile saved(file);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << name;
        const QByteArray head = saved.read(5);
        if (QString(name).endsWith("png"))
            EXPECT_EQ(head.mid(1, 3), "PNG");
        else if (QString(name).endsWith("pdf"))
            EXPECT_EQ(head, "%PDF-");
        else
            EXPECT_TRUE(saved.readAll().contains("<svg"));
    }
    // Every format reports a file it cannot write, and leaves no part of one behind.
    for (const char* name : {"map.png", "map.pdf", "map.svg"})
        EXPECT_THROW(SavePlotImage(plot, folder.path() + "/none/" + name), EInOutError) << name;
}

} // namespace
} // namespace zelt
