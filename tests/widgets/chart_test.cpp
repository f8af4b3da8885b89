#include "widgets/chart.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

TEST(ZeltChart, SeriesLookAndOrder) {
    TZeltChart chart;
    EXPECT_EQ(chart.Measured()->name(), "measured");
    EXPECT_EQ(chart.Fitted()->name(), "fitted");
    EXPECT_EQ(chart.Free()->name(), "absorption-free");
    EXPECT_EQ(chart.Fitted()->scatterStyle().brush().color(), QColor(Qt::blue));
    EXPECT_EQ(chart.Free()->scatterStyle().brush().color(), QColor(Qt::black));
    EXPECT_EQ(chart.Fitted()->lineStyle(), QCPGraph::lsNone);
    EXPECT_EQ(chart.xAxis->label(), "Wavelength (nm)");
    EXPECT_EQ(chart.yAxis->label(), "Branching fraction");
    EXPECT_TRUE(chart.legend->visible());
    EXPECT_EQ(chart.plotLayout()->element(0, 0), chart.legend); // legend above the plot

    chart.AddMeasured(700, 0.25, Qt::red);
    chart.AddMeasured(650, 0.5, Qt::green);
    chart.AddMeasured(680, 0.75, Qt::blue);
    chart.AddFitted(700, 0.3);
    chart.AddFitted(650, 0.4);
    chart.AddFree(650, 0.2);
    chart.Redraw();
    const auto& bars = chart.Measured()->Bars();
    ASSERT_EQ(bars.size(), 3);
    EXPECT_EQ(bars[0].Key, 650);
    EXPECT_EQ(bars[0].Colour, QColor(Qt::green));
    EXPECT_EQ(bars[2].Key, 700);
    EXPECT_EQ(bars[2].Value, 0.25);
    EXPECT_EQ(chart.Fitted()->data()->at(0)->key, 650);
    EXPECT_EQ(chart.yAxis->range().lower, 0);
    EXPECT_EQ(chart.yAxis->range().upper, 1);
    EXPECT_LT(chart.xAxis->range().lower, 650);
    EXPECT_GT(chart.xAxis->range().upper, 700);

    chart.ClearSeries();
    EXPECT_TRUE(chart.Measured()->Bars().isEmpty());
    EXPECT_EQ(chart.Measured()->dataCount(), 0);
    EXPECT_EQ(chart.Fitted()->dataCount(), 0);
    EXPECT_EQ(chart.Free()->dataCount(), 0);
    EXPECT_EQ(chart.itemCount(), 0);
}

TEST(ZeltChart, MouseReportsAxisValues) {
    TZeltChart chart;
    chart.resize(600, 400);
    chart.xAxis->setRange(600, 800);
    chart.replot();
    double wavelength = 0, fraction = 0;
    QObject::connect(&chart, &TZeltChart::MouseAt, [&](double x, double y) {
        wavelength = x;
        fraction = y;
    });
    const QPointF at(chart.xAxis->coordToPixel(700), chart.yAxis->coordToPixel(0.5));
    QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &move);
    EXPECT_NEAR(wavelength, 700, 1e-9);
    EXPECT_NEAR(fraction, 0.5, 1e-9);
}

} // namespace
} // namespace zelt
