// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The branching-fraction chart: coloured bars of the measured fractions, blue diamonds of the
// fitted ones and black dashes of the absorption-free ones over wavelength. The value axis is
// fixed from 0 to 1; the wavelength axis follows the data.

#include <QColor>
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
        double Shown = 0; // where the bar is drawn: its key, or beside bars closer than its width
    };

    TColouredBars(QCPAxis* keyAxis, QCPAxis* valueAxis);
    // Replaces the bars by these, given in any order.
    void SetBars(QVector<TBar> bars);
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
    // Each replaces a series (and SetMeasured the bar marks) with its points in any order, in
    // one sort: a table of thousands of lines shows at once, where adding point by point into
    // the sorted series costs a shift of the points behind each one.
    void SetMeasured(const QVector<TColouredBars::TBar>& bars);
    void SetFitted(const QVector<double>& wavelengths, const QVector<double>& fractions);
    void SetFree(const QVector<double>& wavelengths, const QVector<double>& fractions);
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

protected:
    // Every layout, also of an image saved at another size, leaves the marks their strip.
    void updateLayout() override;
    // Over the hint of left-out marks a tool tip names them.
    bool event(QEvent* event) override;

private:
    // The points of a graph at their wavelengths, before FollowDodgedBars.
    struct TPoints {
        QVector<double> Wavelengths, Fractions;
    };

    void ScaleWavelengthAxis();
    // The fitted and free points, and the marks, where their bars are drawn.
    void FollowDodgedBars();
    // Marks each bar where it is drawn.
    void MarkBars();

    TColouredBars* measured_;
    QCPGraph* fitted_;
    QCPGraph* free_;
    TBarMarks* marks_;
    TPoints fittedPoints_, freePoints_;
    int labelledHeight_ = -1;
};

} // namespace zelt
