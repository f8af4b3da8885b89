// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/axistitle.h"

#include "widgets/contourplot.h"
#include "widgets/seriesplot.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

// Whether anything but white is drawn in `area` of the plot, as laid out at its size.
bool Inked(QCustomPlot& plot, const QRect& area) {
    const QImage image = plot.toPixmap().toImage();
    EXPECT_TRUE(image.rect().contains(area)) << area.x() << " " << area.y();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                return true;
    return false;
}

// Ink in `area` with the title of `axis`, none without it.
void ExpectTitleIn(QCustomPlot& plot, const QCPAxis* axis, const QRect& area) {
    TAxisTitle* title = TAxisTitle::Of(axis);
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(Inked(plot, area));
    title->setVisible(false);
    EXPECT_FALSE(Inked(plot, area));
    title->setVisible(true);
}

// The titles with subscripts and exponents stand where a plain label would: below the map's
// tick labels, left of the series' density labels and right of its temperature labels.
TEST(AxisTitle, RichTitlesBesideTheTickLabels) {
    TContourPlot map;
    map.resize(400, 300);
    map.toPixmap();
    const TAxisTitle* title = TAxisTitle::Of(map.xAxis);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->Caption(), "Log10 n_1 [m-3]");
    EXPECT_EQ(title->Html(), "Log<sub>10</sub> <i>n</i><sub>1</sub> [m<sup>−3</sup>]");
    EXPECT_EQ(map.xAxis->label(), "");
    EXPECT_EQ(TAxisTitle::Of(map.yAxis), nullptr);
    const QRect rect = map.axisRect()->rect();
    ExpectTitleIn(map, map.xAxis, QRect(rect.center().x() - 40, rect.bottom() + 21, 80, 16));

    TSeriesPlot series;
    series.resize(500, 300);
    TSeriesPlot::TSeries shown;
    shown.Points = {{1, 1e16, 1e15, true, 3000, 100, false, 0, false, {}},
                    {2, 2e16, 1e15, true, 3500, 100, false, 1, false, {}}};
    shown.FromX = 1;
    shown.ToX = 2;
    series.Show(shown);
    series.toPixmap();
    EXPECT_EQ(TAxisTitle::Of(series.yAxis)->Html(), "<i>n</i><sub>1</sub> [m<sup>−3</sup>]");
    EXPECT_EQ(TAxisTitle::Of(series.yAxis2)->Html(), "<i>T</i><sub>exc</sub> [K]");
    const int middle = series.axisRect()->rect().center().y();
    ExpectTitleIn(series, series.yAxis, QRect(0, middle - 20, 20, 40));
    ExpectTitleIn(series, series.yAxis2, QRect(series.width() - 20, middle - 20, 20, 40));
}

} // namespace
} // namespace zelt
