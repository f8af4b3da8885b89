// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/seriesplot.h"

#include "widgets/axistitle.h"
#include "widgets/chart.h"
#include "widgets/scaleticker.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
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

// The colours and shapes of the free levels' densities (a fit frees at most 8), level 1 in
// that of n_1.
const QColor kLevelColours[] = {kDensityColour,      QColor(0, 130, 60),  QColor(140, 0, 160),
                                QColor(190, 110, 0), QColor(0, 140, 160), QColor(200, 0, 110),
                                QColor(110, 110, 0), QColor(90, 90, 90)};
const QCPScatterStyle::ScatterShape kLevelShapes[] = {QCPScatterStyle::ssDisc,
                                                      QCPScatterStyle::ssTriangle,
                                                      QCPScatterStyle::ssDiamond,
                                                      QCPScatterStyle::ssStar,
                                                      QCPScatterStyle::ssTriangleInverted,
                                                      QCPScatterStyle::ssCrossSquare,
                                                      QCPScatterStyle::ssPlusCircle,
                                                      QCPScatterStyle::ssCrossCircle};

// The values a point sets on an axis, each with its uncertainty: T_exc, or n_1, or in a series
// with free levels the densities the fit determined; of a flagged result its values alone
// (`flagged`), of an excluded file none.
QVector<QPair<double, double>> AxisValues(const TSeriesPlot::TPoint& p, bool temperature, bool free,
                                          bool flagged) {
    QVector<QPair<double, double>> values;
    if (p.Excluded || p.Flagged != flagged)
        return values;
    if (temperature) {
        if (p.WithTemperature)
            values.append({p.Temperature, flagged ? 0 : p.TemperatureUncertainty});
    } else if (free) {
        for (const TSeriesPlot::TLevelDensity& level : p.Levels)
            if (level.Determined)
                values.append({level.Density, level.Uncertainty});
    } else {
        values.append({p.Density, flagged ? 0 : p.DensityUncertainty});
    }
    return values;
}

// The log axis's tick count: its ticker shows 1, 2 and 5 times the powers of ten where at most
// two more than this many fit, else the powers alone.
constexpr int kLogTickCount = 5;

// The ends of a logarithmic range moved out to ticks, so that a tick stands below the lowest
// point and above the highest: to 1, 2 or 5 times a power of ten where the ticker shows those,
// else to whole decades.
QCPRange NiceLogRange(double low, double high) {
    const auto snap = [](double value, bool down, std::initializer_list<double> mantissas) {
        const double power = std::pow(10.0, std::floor(std::log10(value)));
        double best = down ? power : power * 10;
        for (double m : mantissas)
            if (down ? m * power <= value * (1 + 1e-12) : m * power >= value * (1 - 1e-12))
                best = down ? std::max(best, m * power) : std::min(best, m * power);
        return best;
    };
    const double from = snap(low, true, {1, 2, 5}), to = snap(high, false, {1, 2, 5});
    int ticks = 0;
    const int first = static_cast<int>(std::floor(std::log10(from)));
    const int last = static_cast<int>(std::ceil(std::log10(to)));
    for (int e = first; e <= last; ++e)
        for (double m : {1, 2, 5})
            ticks += m * std::pow(10.0, e) >= from * (1 - 1e-12) &&
                     m * std::pow(10.0, e) <= to * (1 + 1e-12);
    if (ticks <= kLogTickCount + 2)
        return QCPRange(from, to);
    return QCPRange(snap(low, true, {1}), snap(high, false, {1}));
}

// From the lowest value less its uncertainty to the highest plus its own, with room around. A
// flagged value widens the range when it lies within a factor of 3 of the sound ones (1103 K
// among 1500 K), so that its hollow point shows; one far off (-1507 K, 1e308 K) stays out. On a
// logarithmic axis the range holds the positive values only and ends on ticks.
QCPRange ValueRange(const TSeriesPlot::TSeries& series, bool temperature, bool logarithmic) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const TSeriesPlot::TPoint& p : series.Points)
        for (const auto& [value, u] : AxisValues(p, temperature, series.FreeLevels > 0, false)) {
            if (logarithmic && !(value > 0))
                continue;
            low = std::min(low, logarithmic && !(value - u > 0) ? value : value - u);
            high = std::max(high, value + u);
        }
    constexpr double kNear = 3;
    const double soundLow = low, soundHigh = high;
    for (const TSeriesPlot::TPoint& p : series.Points)
        for (const auto& flagged : AxisValues(p, temperature, series.FreeLevels > 0, true)) {
            const double value = flagged.first;
            if (value > 0 && std::isfinite(value) && value >= soundLow / kNear &&
                value <= soundHigh * kNear) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    if (low > high)
        return logarithmic ? QCPRange(1e15, 1e18) : QCPRange(0, 1);
    if (logarithmic)
        return NiceLogRange(low / 1.1, high * 1.1);
    double room = (high - low) * 0.08;
    if (room == 0)
        room = high != 0 ? std::abs(high) * 0.05 : 1;
    return QCPRange(low - room, high + room);
}

// The density axis's title: n_1, or in a series with free levels the densities n_k.
void DensityTitle(QCPAxis* axis, bool free) {
    if (free)
        TAxisTitle::Of(axis)->Set(QStringLiteral("n_k [m-3]"),
                                  QStringLiteral("<i>n</i><sub>k</sub> [m<sup>−3</sup>]"));
    else
        TAxisTitle::Of(axis)->Set(QStringLiteral("n_1 [m-3]"),
                                  QStringLiteral("<i>n</i><sub>1</sub> [m<sup>−3</sup>]"));
}

void InLegend(QCPGraph* graph, bool shown) {
    if (shown)
        graph->addToLegend();
    else
        graph->removeFromLegend();
}

} // namespace

TSeriesPlot::TSeriesPlot(QWidget* parent) : QCustomPlot(parent) {
    setBackground(Qt::white);
    new TAxisTitle(yAxis, QString(), QString());
    DensityTitle(yAxis, false);
    yAxis->setNumberFormat(QStringLiteral("gb"));
    new TAxisTitle(yAxis2, QStringLiteral("T_exc [K]"),
                   QStringLiteral("<i>T</i><sub>exc</sub> [K]"));
    ColourAxis(yAxis, kDensityColour);
    ColourAxis(yAxis2, kTemperatureColour);
    // Few labels: on a small screen the plot is low.
    yAxis->ticker()->setTickCount(4);
    yAxis2->ticker()->setTickCount(4);

    densities_ =
        PointSeries(xAxis, yAxis, QStringLiteral("n₁"), QCPScatterStyle::ssDisc, kDensityColour);
    densityBars_ = ErrorBars(densities_, kDensityColour);
    temperatures_ = PointSeries(xAxis, yAxis2, QStringLiteral("T_exc"), QCPScatterStyle::ssSquare,
                                kTemperatureColour);
    temperatureBars_ = ErrorBars(temperatures_, kTemperatureColour);
    flaggedDensities_ = HollowPoints(xAxis, yAxis, QStringLiteral("n₁ flagged"),
                                     QCPScatterStyle::ssCircle, kDensityColour);
    flaggedTemperatures_ = HollowPoints(xAxis, yAxis2, QStringLiteral("T_exc flagged"),
                                        QCPScatterStyle::ssSquare, kTemperatureColour);
    excluded_ =
        HollowPoints(xAxis, yAxis, QStringLiteral("excluded"), QCPScatterStyle::ssCross, Qt::gray);

    PlaceLegendAbove(*this);

    // Whether the names fit side by side depends on the width the layout gives the axis.
    connect(this, &QCustomPlot::afterLayout, this, [this] { SlantNamesWhereNeeded(); });
}

void TSeriesPlot::SetLogarithmicDensity(bool on) {
    yAxis->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (on) {
        // 1, 2 and 5 times the powers of ten also where the range is less than two decades, in
        // which QCustomPlot's log ticker falls back to even steps.
        auto ticker = QSharedPointer<TScaleTicker>::create();
        ticker->SetLogarithmic(true);
        ticker->SetPowerLabels(true);
        yAxis->setTicker(ticker);
    } else {
        yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    yAxis->ticker()->setTickCount(on ? kLogTickCount : 4);
    Show(shown_);
}

void TSeriesPlot::MakeLevelGraphs(int count) {
    for (QCPErrorBars* bars : levelBars_)
        removePlottable(bars);
    for (QCPGraph* graph : levels_)
        removePlottable(graph);
    levels_.clear();
    levelBars_.clear();
    for (int k = 0; k < count; ++k) {
        const QColor colour = kLevelColours[k % std::size(kLevelColours)];
        levels_.append(PointSeries(xAxis, yAxis,
                                   QStringLiteral("n%1 (free)").arg(QChar(0x2080 + k + 1)),
                                   kLevelShapes[k % std::size(kLevelShapes)], colour));
        levelBars_.append(ErrorBars(levels_.back(), colour));
    }
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
    struct TValues {
        QVector<double> Xs, Values, Errors;
        void Add(double x, double value, double error = 0) {
            Xs.append(x);
            Values.append(value);
            Errors.append(error);
        }
    };
    TValues densities, temperatures, flaggedDensities, flaggedTemperatures, excluded;
    QVector<TValues> levels(series.FreeLevels);
    for (const TPoint& p : points) {
        if (p.Excluded) {
            excluded.Add(p.X, p.Density);
            continue;
        }
        if (p.WithTemperature) {
            if (p.Flagged)
                flaggedTemperatures.Add(p.X, p.Temperature);
            else
                temperatures.Add(p.X + apart, p.Temperature, p.TemperatureUncertainty);
        }
        if (series.FreeLevels > 0) {
            for (int k = 0; k < std::min(static_cast<int>(p.Levels.size()), series.FreeLevels); ++k)
                if (p.Levels[k].Determined)
                    levels[k].Add(p.X - apart, p.Levels[k].Density, p.Levels[k].Uncertainty);
        } else if (p.Flagged) {
            flaggedDensities.Add(p.X, p.Density);
        } else {
            densities.Add(p.X - apart, p.Density, p.DensityUncertainty);
        }
    }
    densities_->setData(densities.Xs, densities.Values, true);
    densityBars_->setData(densities.Errors);
    temperatures_->setData(temperatures.Xs, temperatures.Values, true);
    temperatureBars_->setData(temperatures.Errors);
    flaggedDensities_->setData(flaggedDensities.Xs, flaggedDensities.Values, true);
    flaggedTemperatures_->setData(flaggedTemperatures.Xs, flaggedTemperatures.Values, true);
    excluded_->setData(excluded.Xs, excluded.Values, true);
    if (levels_.size() != series.FreeLevels)
        MakeLevelGraphs(series.FreeLevels);
    for (int k = 0; k < series.FreeLevels; ++k) {
        levels_[k]->setData(levels[k].Xs, levels[k].Values, true);
        levelBars_[k]->setData(levels[k].Errors);
    }
    const bool free = series.FreeLevels > 0;
    DensityTitle(yAxis, free);
    densities_->setVisible(!free);
    densityBars_->setVisible(!free);
    InLegend(densities_, !free);
    const bool withTemperature = !temperatures.Xs.isEmpty() || !flaggedTemperatures.Xs.isEmpty();
    temperatures_->setVisible(withTemperature);
    temperatureBars_->setVisible(withTemperature);
    temperatures_->setName(free ? QStringLiteral("T_exc (Boltzmann fit)")
                                : QStringLiteral("T_exc"));
    yAxis2->setVisible(withTemperature);
    InLegend(temperatures_, withTemperature);
    InLegend(flaggedDensities_, !flaggedDensities.Xs.isEmpty());
    InLegend(flaggedTemperatures_, !flaggedTemperatures.Xs.isEmpty());
    InLegend(excluded_, !excluded.Xs.isEmpty());

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

int TSeriesPlot::EntryAt(double x) const {
    constexpr double kReach = 10; // px
    int entry = -1;
    double nearest = kReach;
    for (const TPoint& p : shown_.Points) {
        const double distance = std::abs(xAxis->coordToPixel(p.X) - x);
        if (distance <= nearest) {
            nearest = distance;
            entry = p.Entry;
        }
    }
    return entry;
}

void TSeriesPlot::ScaleAxes(const TSeries& series) {
    double room = 0.5; // half a position on either side
    if (series.TickNames.isEmpty()) {
        const double span = series.ToX - series.FromX;
        room = span > 0 ? span * 0.05 : (series.ToX != 0 ? std::abs(series.ToX) * 0.05 : 1);
    }
    xAxis->setRange(series.FromX - room, series.ToX + room);
    yAxis->setRange(ValueRange(series, false, LogarithmicDensity()));
    yAxis2->setRange(ValueRange(series, true, false));
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
