#include "widgets/contourplot.h"

#include "common/errors.h"

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
    EXPECT_EQ(plot.xAxis->label(), "Log10 n_1 [m-3]");
    EXPECT_EQ(plot.yAxis->label(), "Temperature [K]");
}

TEST(ContourPlot, RedrawSamplesTheCallbackOverTheRange) {
    TContourPlot plot;
    int calls = 0;
    plot.SetValueCallback([&calls](double x, double y) {
        ++calls;
        return x < 15.5 ? 0.1 : (y > 2000 ? 0.5 : -1);
    });
    plot.SetDataRange(15, 17, 1000, 3000);
    plot.SetLowIso(0);
    plot.SetHighIso(1);
    plot.Redraw();
    EXPECT_EQ(calls, 390 * 390);
    QCPColorMapData* data = plot.ColourMap()->data();
    EXPECT_EQ(data->keySize(), 390);
    EXPECT_DOUBLE_EQ(data->data(15.1, 1500), 0.1);
    EXPECT_DOUBLE_EQ(data->data(16.5, 2500), 0.5);
    EXPECT_TRUE(std::isnan(data->data(16.5, 1500))); // below the iso range: left white
    EXPECT_EQ(plot.ColourMap()->dataRange(), QCPRange(0, 1));
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
    EXPECT_THROW(SavePlotImage(plot, folder.path() + "/none/map.png"), EInOutError);
}

} // namespace
} // namespace zelt
