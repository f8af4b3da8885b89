// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A crowded spectrum for the chart and the check of its wavelength marks.

#include "widgets/barmarks.h"
#include "widgets/chart.h"

#include <gtest/gtest.h>

namespace zelt::test {

// `count` lines about 4 nm apart from 600 nm, every tenth 0.03 nm beside the one before it
// (closer than a bar's width), of fractions 0.05 to 0.545.
inline QVector<TColouredBars::TBar> ManyLines(int count) {
    QVector<TColouredBars::TBar> bars;
    for (int i = 0; i < count; ++i)
        bars.append({600 + 4.1 * i + (i % 10 == 9 ? -4.07 : 0), 0.05 + (i * 37 % 100) / 200.0,
                     QColor::fromHsv(i * 3 % 360, 200, 220)});
    return bars;
}

// The texts of a chart's marks and its hint lie in the strip between the legend and the
// plotting area, inside the chart, none over another; the marks in the order of their bars.
inline void ExpectMarksApart(const TZeltChart& chart) {
    const QVector<QRectF>& marks = chart.Marks()->TextRects();
    const QRectF strip(0, chart.legend->outerRect().bottom(), chart.width(),
                       chart.axisRect()->rect().top() - chart.legend->outerRect().bottom());
    QVector<QRectF> texts = marks;
    if (chart.Marks()->HiddenCount() > 0)
        texts.append(chart.Marks()->HintRect());
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_TRUE(strip.contains(texts[i])) << i;
        for (int j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(texts[i].intersects(texts[j])) << i << " " << j;
    }
    for (int i = 1; i < marks.size(); ++i)
        EXPECT_LT(marks[i - 1].left(), marks[i].left()) << i;
}

} // namespace zelt::test
