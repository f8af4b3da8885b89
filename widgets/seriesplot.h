// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot of a measurement series: the fitted density n_1 of each file with its standard
// uncertainty as error bars on the left axis and, where it was fitted, T_exc with its own on
// the right axis, over the files' abscissae: numbers taken from the file names, or positions
// labelled with the names. A flagged result (one the data do not support) is drawn hollow,
// without error bars, and left out of the value axes' ranges. The n_1 points stand a little left
// of their abscissa and the T_exc points a little right, so that both error bars read.
// A series fitted with free lower levels shows the density of every level in place of n_1, with
// T_exc of the Boltzmann fits beside them; a level a fit did not determine has no point there.
// A file the user excluded is drawn as a grey cross at its n_1 and left out of the ranges.

#include <QMap>
#include <QString>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TSeriesPlot : public QCustomPlot {
    Q_OBJECT
public:
    struct TLevelDensity {
        bool Determined = false;
        double Density = 0, Uncertainty = 0; // m-3
    };
    struct TPoint {
        double X = 0;
        double Density = 0, DensityUncertainty = 0; // m-3
        bool WithTemperature = false;
        double Temperature = 0, TemperatureUncertainty = 0; // K
        bool Flagged = false;
        int Entry = -1; // the entry of the series it shows
        bool Excluded = false;
        QVector<TLevelDensity> Levels; // of a fit with free levels, level 1 first
    };
    struct TSeries {
        QString Caption; // of the abscissa
        // The names at their positions; empty for an abscissa of numbers.
        QMap<double, QString> TickNames;
        // The abscissae of every file of the series, so that the axis stays put while the
        // series grows.
        double FromX = 0, ToX = 0;
        QVector<TPoint> Points;
        int FreeLevels = 0; // the most levels of the points' free fits; 0: no free fits
    };

    explicit TSeriesPlot(QWidget* parent = nullptr);

    void Show(const TSeries& series);
    // The n_1 axis logarithmic, for a series over decades of density; the series shown stays.
    void SetLogarithmicDensity(bool on);
    bool LogarithmicDensity() const { return yAxis->scaleType() == QCPAxis::stLogarithmic; }

    QCPGraph* Densities() const { return densities_; }
    QCPGraph* Temperatures() const { return temperatures_; }
    QCPGraph* FlaggedDensities() const { return flaggedDensities_; }
    QCPGraph* FlaggedTemperatures() const { return flaggedTemperatures_; }
    QCPGraph* Excluded() const { return excluded_; }
    // The densities of level k (0: level 1) of a series with free levels.
    QCPGraph* LevelDensities(int k) const { return levels_.value(k); }
    // The entry of the point whose abscissa lies nearest the pixel column `x`, within a few
    // pixels; -1 where there is none.
    int EntryAt(double x) const;

private:
    void ScaleAxes(const TSeries& series);
    // Graphs and error bars for the densities of `count` free levels.
    void MakeLevelGraphs(int count);
    // Names that do not fit side by side are written slanted.
    void SlantNamesWhereNeeded();

    QCPGraph* densities_;
    QCPErrorBars* densityBars_;
    QCPGraph* temperatures_;
    QCPErrorBars* temperatureBars_;
    QCPGraph* flaggedDensities_;
    QCPGraph* flaggedTemperatures_;
    QCPGraph* excluded_;
    QVector<QCPGraph*> levels_;
    QVector<QCPErrorBars*> levelBars_;
    QVector<QString> names_;
    TSeries shown_;
};

} // namespace zelt
