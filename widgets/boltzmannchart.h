// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Boltzmann plot of the free lower levels: ln(n_k / g_k) of each level over its energy E_k,
// with its standard uncertainty as an error bar and the level's name beside it, and the straight
// line of the Boltzmann fit, whose slope -e / (k T_exc) gives the excitation temperature. Levels
// in Boltzmann balance lie on the line.

#include <QString>
#include <QVector>

#include <optional>

#include <qcustomplot.h>

namespace zelt {

class TBoltzmannChart : public QCustomPlot {
    Q_OBJECT
public:
    struct TPoint {
        double Energy = 0;      // eV
        double Value = 0;       // ln(n_k / g_k), n_k in m-3
        double Uncertainty = 0; // of the value; 0: no error bar
        QString Name;           // "n_2"
    };
    // The line from (FromEnergy, FromValue) to (ToEnergy, ToValue), named in the legend.
    struct TLine {
        double FromEnergy = 0, FromValue = 0, ToEnergy = 0, ToValue = 0;
        QString Name;
    };

    explicit TBoltzmannChart(QWidget* parent = nullptr);

    // Replaces what is shown: the points, and the line when there is one.
    void Show(const QVector<TPoint>& points, const std::optional<TLine>& line);

    QCPGraph* Points() const { return points_; }
    QCPGraph* Line() const { return line_; }

private:
    QCPGraph* points_;
    QCPErrorBars* bars_;
    QCPGraph* line_;
    QVector<QCPItemText*> names_;
};

} // namespace zelt
