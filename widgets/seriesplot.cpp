// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/seriesplot.h"

#include "widgets/axistitle.h"
#include "widgets/chart.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelt {

namespace {

const QColor kDensityColour(0, 0, 200);
const QColor kTemperatureColour(200, 40, 0);

void ColourAxis(QCPAxis* axis, const QColor& colour) {
    axis->setLabelColor(colour);
    axis->setTickLabelColor(colour);
    axis->setBasePen(QPen(colour));
    axis->setTickPen(QPen(colour));
    axis->setSubTickPen(QPen(colour));
}

QCPGraph* PointSeries(QCPAxis* x, QCPAxis* y, const QString& name,
                      QCPScatterStyle::ScatterShape shape, const QColor& colour) {
    auto* graph = new QCPGraph(x, y);
    graph->setName(name);
    graph->setPen(QPen(colour, 1));
    graph->setScatterStyle(QCPScatterStyle(shape, colour, colour, 7));
    return graph;
}

// Points without line or fill, for flagged results.
QCPGraph* HollowPoints(QCPAxis* x, QCPAxis* y, const QString& name,
                       QCPScatterStyle::ScatterShape shape, const QColor& colour) {
    auto* graph = new QCPGraph(x, y);
    graph->setName(name);
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(shape, QPen(colour, 1.5), Qt::white, 8));
    return graph;
}

QCPErrorBars* ErrorBars(QCPGraph* graph, const QColor& colour) {
    auto* bars = new QCPErrorBars(graph->keyAxis(), graph->valueAxis());
    bars->setDataPlottable(graph);
    bars->setPen(QPen(colour, 1));
    bars->setWhiskerWidth(6);
    bars->removeFromLegend();
    return bars;
}

// From the lowest value less its uncertainty to the highest plus its own, with room around;
// a flagged value (-1507 K, 1e308 K) does not stretch the axis.
// On a logarithmic axis the range holds the positive values only, a decade's tenth around them.
QCPRange ValueRange(const QVector<TSeriesPlot::TPoint>& points, bool temperature,
                    bool logarithmic = false) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const TSeriesPlot::TPoint& p : points) {
        if ((temperature && !p.WithTemperature) || p.Flagged)
            continue;
        const double value = temperature ? p.Temperature : p.Density;
        const double u = temperature ? p.TemperatureUncertainty : p.DensityUncertainty;
        if (logarithmic && !(value > 0))
            continue;
        low = std::min(low, logarithmic && !(value - u > 0) ? value : value - u);
        high = std::max(high, value + u);
    }
    if (low > high)
        return logarithmic ? QCPRange(1e15, 1e18) : QCPRange(0, 1);
    if (logarithmic)
        return QCPRange(low / 1.26, high * 1.26);
    double room = (high - low) * 0.08;
    if (room == 0)
        room = high != 0 ? std::abs(high) * 0.05 : 1;
    return QCPRange(low - room, high + room);
}

} // namespace

TSeriesPlot::TSeriesPlot(QWidget* parent) : QCustomPlot(parent) {
    setBackground(Qt::white);
    new TAxisTitle(yAxis, QStringLiteral("n_1 [m-3]"),
                   QStringLiteral("<i>n</i><sub>1</sub> [m<sup>−3</sup>]"));
    yAxis->setNumberFormat(QStringLiteral("gb"));
    new TAxisTitle(yAxis2, QStringLiteral("T_exc [K]"),
                   QStringLiteral("<i>T</i><sub>exc</sub> [K]"));
    ColourAxis(yAxis, kDensityColour);
    ColourAxis(yAxis2, kTemperatureColour);
    // Few labels: on a small screen the plot is low.
    yAxis->ticker()->setTickCount(4);
    yAxis2->ticker()->setTickCount(4);

    densities_ =
        PointSeries(xAxis, yAxis, QStringLiteral("n_1"), QCPScatterStyle::ssDisc, kDensityColour);
    densityBars_ = ErrorBars(densities_, kDensityColour);
    temperatures_ = PointSeries(xAxis, yAxis2, QStringLiteral("T_exc"), QCPScatterStyle::ssSquare,
                                kTemperatureColour);
    temperatureBars_ = ErrorBars(temperatures_, kTemperatureColour);
    flaggedDensities_ = HollowPoints(xAxis, yAxis, QStringLiteral("n_1 flagged"),
                                     QCPScatterStyle::ssCircle, kDensityColour);
    flaggedTemperatures_ = HollowPoints(xAxis, yAxis2, QStringLiteral("T_exc flagged"),
                                        QCPScatterStyle::ssSquare, kTemperatureColour);

    PlaceLegendAbove(*this);

    // Whether the names fit side by side depends on the width the layout gives the axis.
    connect(this, &QCustomPlot::afterLayout, this, [this] { SlantNamesWhereNeeded(); });
}

void TSeriesPlot::SetLogarithmicDensity(bool on) {
    yAxis->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (on)
        yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
        yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    yAxis->ticker()->setTickCount(4);
    Show(shown_);
}

void TSeriesPlot::Show(const TSeries& series) {
    shown_ = series;
    ScaleAxes(series);
    // The two kinds of points a hundred and fiftieth of the axis apart, each error bar clear of
    // the other's point.
    const double apart = xAxis->range().size() / 150;
    QVector<TPoint> points = series.Points;
    // The error bars belong to the graph's points by index, and a graph keeps its points
    // sorted by abscissa.
    std::stable_sort(points.begin(), points.end(),
                     [](const TPoint& a, const TPoint& b) { return a.X < b.X; });
    QVector<double> xs, densities, densityErrors, temperatureXs, temperatures, temperatureErrors;
    QVector<double> flaggedXs, flaggedDensities, flaggedTemperatureXs, flaggedTemperatures;
    for (const TPoint& p : points) {
        if (p.Flagged) {
            flaggedXs.append(p.X);
            flaggedDensities.append(p.Density);
            if (p.WithTemperature) {
                flaggedTemperatureXs.append(p.X);
                flaggedTemperatures.append(p.Temperature);
            }
            continue;
        }
        xs.append(p.X - apart);
        densities.append(p.Density);
        densityErrors.append(p.DensityUncertainty);
        if (p.WithTemperature) {
            temperatureXs.append(p.X + apart);
            temperatures.append(p.Temperature);
            temperatureErrors.append(p.TemperatureUncertainty);
        }
    }
    densities_->setData(xs, densities, true);
    densityBars_->setData(densityErrors);
    temperatures_->setData(temperatureXs, temperatures, true);
    temperatureBars_->setData(temperatureErrors);
    flaggedDensities_->setData(flaggedXs, flaggedDensities, true);
    flaggedTemperatures_->setData(flaggedTemperatureXs, flaggedTemperatures, true);
    const bool withTemperature = !temperatureXs.isEmpty() || !flaggedTemperatureXs.isEmpty();
    temperatures_->setVisible(withTemperature);
    temperatureBars_->setVisible(withTemperature);
    yAxis2->setVisible(withTemperature);
    const auto inLegend = [](QCPGraph* graph, bool shown) {
        if (shown)
            graph->addToLegend();
        else
            graph->removeFromLegend();
    };
    inLegend(temperatures_, withTemperature);
    inLegend(flaggedDensities_, !flaggedXs.isEmpty());
    inLegend(flaggedTemperatures_, !flaggedTemperatureXs.isEmpty());

    xAxis->setLabel(series.Caption);
    names_.clear();
    // Numbers with powers of ten written as such; names as they stand (the powers would turn
    // the "e16" of argon_1e16 into a superscript).
    xAxis->setNumberFormat(series.TickNames.isEmpty() ? QStringLiteral("gb") : QStringLiteral("g"));
    if (series.TickNames.isEmpty()) {
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    } else {
        auto ticker = QSharedPointer<QCPAxisTickerText>::create();
        ticker->setTicks(series.TickNames);
        xAxis->setTicker(ticker);
        names_ = series.TickNames.values().toVector();
    }
    replot();
}

void TSeriesPlot::ScaleAxes(const TSeries& series) {
    double room = 0.5; // half a position on either side
    if (series.TickNames.isEmpty()) {
        const double span = series.ToX - series.FromX;
        room = span > 0 ? span * 0.05 : (series.ToX != 0 ? std::abs(series.ToX) * 0.05 : 1);
    }
    xAxis->setRange(series.FromX - room, series.ToX + room);
    yAxis->setRange(ValueRange(series.Points, false, LogarithmicDensity()));
    yAxis2->setRange(ValueRange(series.Points, true));
}

void TSeriesPlot::SlantNamesWhereNeeded() {
    double widest = 0;
    const QFontMetricsF metrics(xAxis->tickLabelFont());
    for (const QString& name : names_)
        widest = std::max(widest, metrics.horizontalAdvance(name));
    const double spacing = axisRect()->width() / std::max(1.0, xAxis->range().size());
    const double rotation = !names_.isEmpty() && widest + 8 > spacing ? -30 : 0;
    if (xAxis->tickLabelRotation() != rotation) {
        xAxis->setTickLabelRotation(rotation);
        replot(QCustomPlot::rpQueuedReplot);
    }
}

} // namespace zelt
