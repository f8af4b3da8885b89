// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/spectrumplot.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

// The labels shown, left to right, after the plot is drawn at `size`.
QStringList ShownLabels(TSpectrumPlot& plot, QSize size) {
    plot.resize(size);
    plot.toPixmap();
    QStringList shown;
    for (int i = 0; i < plot.itemCount(); ++i)
        if (const auto* label = qobject_cast<QCPItemText*>(plot.item(i)); label && label->visible())
            shown.append(label->text());
    return shown;
}

// A label is left out where it would touch the last one shown, or where the plotting area is
// lower than it is long, which would cut it.
TEST(SpectrumPlotTest, LabelsNeitherTouchNorAreCut) {
    TSpectrumPlot plot;
    plot.ShowSticks({696.5431, 696.6, 1047.0054}, {1, 1, 1}, {"696.5431", "696.6", "1047.0054"});
    EXPECT_EQ(ShownLabels(plot, QSize(600, 400)).join(' ').toStdString(), "696.5431 1047.0054");
    // A plotting area about 50 px high: the long labels go, and the short one has room.
    EXPECT_EQ(ShownLabels(plot, QSize(600, 120)).join(' ').toStdString(), "696.6");
}

} // namespace
} // namespace zelt
