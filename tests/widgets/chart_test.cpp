// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/chart.h"

#include "common/format.h"
#include "tests/widgets/crowdedchart.h"
#include "widgets/barmarks.h"

#include <QDir>
#include <QHelpEvent>
#include <QSet>
#include <QToolTip>

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

    chart.SetMeasured({{700, 0.25, Qt::red}, {650, 0.5, Qt::green}, {680, 0.75, Qt::blue}});
    chart.SetFitted({700, 650}, {0.3, 0.4});
    chart.SetFree({650}, {0.2});
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

TEST(ZeltChart, WhiteBarsShowTheirOutline) {
    TZeltChart chart;
    chart.resize(600, 400);
    chart.SetMeasured({{700, 0.5, Qt::white}, {720, 0.5, Qt::white}});
    chart.Redraw();
    const QImage image = chart.toPixmap(600, 400).toImage();
    const int centre = static_cast<int>(chart.xAxis->coordToPixel(700));
    const int y = static_cast<int>(chart.yAxis->coordToPixel(0.25));
    int leftEdge = 0, rightEdge = 0;
    for (int dx = 1; dx < 80; ++dx) {
        if (leftEdge == 0 && qGray(image.pixel(centre - dx, y)) < 100)
            leftEdge = dx;
        if (rightEdge == 0 && qGray(image.pixel(centre + dx, y)) < 100)
            rightEdge = dx;
    }
    EXPECT_EQ(image.pixelColor(centre + 5, y), QColor(Qt::white));
    EXPECT_GT(leftEdge, 10);
    EXPECT_NEAR(leftEdge, rightEdge, 1);
}

// The lines of the demo argon spectrum, with its close pairs 750.39/751.47 and 772.38/772.42.
TEST(ZeltChart, WavelengthMarksNeverOverlapEachOtherOrTheBars) {
    const double wavelengths[] = {667.7282, 696.5431, 706.7218, 714.7042,  727.2936, 738.398,
                                  747.1164, 750.3869, 751.4652, 763.5106,  772.3761, 772.4207,
                                  794.8176, 800.6157, 801.4786, 810.3693,  811.5311, 826.4522,
                                  840.821,  842.4648, 852.1442, 866.7944,  912.2967, 922.4499,
                                  935.422,  965.7786, 978.4503, 1047.0054, 1148.8109};
    for (const QSize size : {QSize(520, 300), QSize(1000, 450)}) {
        TZeltChart chart;
        chart.resize(size);
        QVector<TColouredBars::TBar> bars;
        for (double wavelength : wavelengths)
            bars.append({wavelength, 1.0, Qt::red});
        chart.SetMeasured(bars);
        chart.Redraw();
        chart.toPixmap(size.width(), size.height());
        const QVector<QRectF>& marks = chart.Marks()->TextRects();
        ASSERT_EQ(marks.size(), 29);
        const QRect area = chart.axisRect()->rect();
        for (int i = 0; i < marks.size(); ++i) {
            // Above the plotting area, where no bar reaches, and below the legend.
            EXPECT_LE(marks[i].bottom(), area.top()) << i;
            EXPECT_GE(marks[i].top(), chart.axisRect()->outerRect().top()) << i;
            EXPECT_GE(marks[i].left(), 0) << i;
            EXPECT_LE(marks[i].right(), size.width()) << i;
            for (int j = i + 1; j < marks.size(); ++j)
                EXPECT_FALSE(marks[i].intersects(marks[j])) << i << " " << j;
        }
        // In the order of their bars, so that the joining lines never cross.
        for (int i = 1; i < marks.size(); ++i)
            EXPECT_LT(marks[i - 1].left(), marks[i].left()) << i;
    }
}

// 120 lines, some closer than a bar's width, in two rows: on a narrow chart in small type, the
// weakest left out and counted; on the chart of a 1680x1000 window all shown.
TEST(ZeltChart, ManyMarksKeepApartOrAreCounted) {
    const QVector<TColouredBars::TBar> bars = test::ManyLines(120);
    const QString folder = QStringLiteral(ZELT_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    for (const QSize size : {QSize(430, 330), QSize(1000, 480)}) {
        TZeltChart chart;
        chart.resize(size);
        chart.SetMeasured(bars);
        chart.Redraw();
        EXPECT_TRUE(
            chart.toPixmap(size.width(), size.height())
                .save(folder + QStringLiteral("/chart-120-lines-%1.png").arg(size.width())));
        test::ExpectMarksApart(chart);
        const QVector<QRectF>& marks = chart.Marks()->TextRects();
        const int hidden = chart.Marks()->HiddenCount();
        EXPECT_EQ(marks.size() + hidden, 120);
        // In two rows: the upper ones' texts begin where the lower ones' end.
        QSet<double> starts;
        for (const QRectF& mark : marks)
            starts.insert(mark.bottom());
        EXPECT_EQ(starts.size(), 2);
        if (size.width() > 900) {
            EXPECT_EQ(hidden, 0);
            EXPECT_EQ(chart.Marks()->Hint(), "");
            continue;
        }
        EXPECT_GT(hidden, 0);
        EXPECT_GE(marks.size(), 70);
        EXPECT_EQ(chart.Marks()->Hint(), QStringLiteral("%1 marks hidden").arg(hidden));
        const QStringList left = chart.Marks()->HiddenTexts();
        ASSERT_EQ(left.size(), hidden);
        double weakestShown = 1, strongestLeft = 0;
        for (const TColouredBars::TBar& bar : chart.Measured()->Bars()) {
            if (left.contains(QString::fromStdString(FloatToStr(bar.Key))))
                strongestLeft = std::max(strongestLeft, bar.Value);
            else
                weakestShown = std::min(weakestShown, bar.Value);
        }
        EXPECT_LE(strongestLeft, weakestShown);
        const QPoint hint = chart.Marks()->HintRect().center().toPoint();
        QHelpEvent help(QEvent::ToolTip, hint, chart.mapToGlobal(hint));
        QCoreApplication::sendEvent(&chart, &help);
        const QString tip = QToolTip::text();
        EXPECT_TRUE(tip.startsWith("Marks left out for want of room, of the weakest lines:\n" +
                                   left.first() + ", "));
        EXPECT_TRUE(tip.endsWith(", " + left.last()));
        EXPECT_EQ(tip.count('\n'), (hidden + 9) / 10);
    }
}

// Bars closer than a bar's width (772.3761 behind 772.4207) stand side by side about their
// middle, the fitted and free points on them; bars far apart stay at their wavelengths.
TEST(ZeltChart, NearCoincidentBarsStandSideBySide) {
    TZeltChart chart;
    chart.resize(600, 400);
    const QVector<double> wavelengths = {696.5431, 772.3761, 772.4207,
                                         810.3693, 811.5311, 912.2967};
    QVector<TColouredBars::TBar> measured;
    for (double wavelength : wavelengths)
        measured.append({wavelength, 0.5, Qt::red});
    chart.SetMeasured(measured);
    chart.SetFitted(wavelengths, QVector<double>(wavelengths.size(), 0.4));
    chart.SetFree(wavelengths, QVector<double>(wavelengths.size(), 0.3));
    chart.Redraw();
    const auto& bars = chart.Measured()->Bars();
    const double width = chart.Measured()->width() * chart.xAxis->range().size();
    EXPECT_EQ(bars[0].Shown, 696.5431);
    EXPECT_EQ(bars[5].Shown, 912.2967);
    EXPECT_DOUBLE_EQ(bars[1].Shown + bars[2].Shown, 772.3761 + 772.4207);
    EXPECT_NEAR(bars[2].Shown - bars[1].Shown, width, 1e-9);
    EXPECT_NEAR(bars[4].Shown - bars[3].Shown, width, 1e-9);
    for (int i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(chart.Fitted()->data()->at(i)->key, bars[i].Shown) << i;
        EXPECT_EQ(chart.Free()->data()->at(i)->key, bars[i].Shown) << i;
    }
    const QImage image = chart.toPixmap(600, 400).toImage();
    const int y = static_cast<int>(chart.yAxis->coordToPixel(0.1));
    // Both bars of the close pair show red beside each other.
    for (int i : {1, 2})
        EXPECT_EQ(image.pixelColor(static_cast<int>(chart.xAxis->coordToPixel(bars[i].Shown)), y),
                  QColor(Qt::red));
    EXPECT_EQ(chart.Marks()->TextRects().size(), 6);
}

TEST(ZeltChart, FractionLabelsNeverOverlapOnALowChart) {
    TZeltChart chart;
    chart.show();
    chart.resize(500, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(chart.yAxis->tickVectorLabels().size(), 11);
    EXPECT_EQ(chart.yAxis->tickVectorLabels().value(1), "0.1");
    chart.resize(500, 180);
    QCoreApplication::processEvents();
    EXPECT_EQ(chart.yAxis->tickVectorLabels(),
              (QVector<QString>{"0.0", "", "0.2", "", "0.4", "", "0.6", "", "0.8", "", "1.0"}));
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
