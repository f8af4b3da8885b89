// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The branching-fraction chart: coloured bars of the measured fractions, blue diamonds of the
// fitted ones and black dashes of the absorption-free ones over wavelength. The value axis is
// fixed from 0 to 1; the wavelength axis follows the data.

#include <QColor>
#include <QPointF>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TBarMarks;

// The plot's legend in a row of its own above the plotting area, its entries side by side.
void PlaceLegendAbove(QCustomPlot& plot);

// A bar series whose every bar has its own colour and a thin dark outline (so that a white or
// pale bar shows on the white chart), kept in ascending key order.
class TColouredBars : public QCPBars {
public:
    struct TBar {
        double Key, Value;
        QColor Colour;
        double Shown; // where the bar is drawn: its key, or beside bars closer than its width
    };

    TColouredBars(QCPAxis* keyAxis, QCPAxis* valueAxis);
    void AddBar(double key, double value, const QColor& colour);
    void ClearBars();
    const QVector<TBar>& Bars() const { return bars_; }
    // Draws bars closer than `width` (in keys) side by side about their keys' middle, so that
    // none hides another; the others stay at their keys.
    void Dodge(double width);

protected:
    void draw(QCPPainter* painter) override;

private:
    QVector<TBar> bars_;
};

class TZeltChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit TZeltChart(QWidget* parent = nullptr);

    // Empties the three series and the bar marks.
    void ClearSeries();
    void AddMeasured(double wavelength, double fraction, const QColor& colour);
    void AddFitted(double wavelength, double fraction);
    void AddFree(double wavelength, double fraction);
    // Scales the wavelength axis to the data and redraws.
    void Redraw();

    TColouredBars* Measured() const { return measured_; }
    // The wavelength marks above the bars.
    TBarMarks* Marks() const { return marks_; }
    QCPGraph* Fitted() const { return fitted_; }
    QCPGraph* Free() const { return free_; }

signals:
    // The axis values under the mouse: wavelength (nm) and branching fraction.
    void MouseAt(double wavelength, double fraction);

private:
    void ScaleWavelengthAxis();
    // The fitted and free points, and the marks, where their bars are drawn.
    void FollowDodgedBars();

    TColouredBars* measured_;
    QCPGraph* fitted_;
    QCPGraph* free_;
    TBarMarks* marks_;
    // The fitted and the free points at their wavelengths, before FollowDodgedBars.
    QVector<QPointF> fittedPoints_, freePoints_;
    int labelledHeight_ = -1;
};

} // namespace zelt
