// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The residual map: a colour map sampled at 390 points per axis through a value callback, an
// attached horizontal colour scale, a cross-hair that follows the dragged mouse and a mark on
// the best grid point.
//
// Residuals span orders of magnitude, so the map colours them on a logarithmic scale with the
// perceptually uniform viridis gradient, and the colour scale shows exactly the range the
// colours span, in the same logarithmic scale. Negative values (the -1 of points outside the
// map) and values below the iso range are painted in a neutral grey.
//
// Overlays add their own QCustomPlot items or plottables on xAxis and yAxis: they are drawn
// above the map and the best-point mark and beneath the cross-hair.

#include <QString>

#include <functional>

#include <qcustomplot.h>

namespace zelt {

class TContourPlot : public QCustomPlot {
    Q_OBJECT
public:
    // Points sampled along each axis.
    static constexpr int PivotResolution = 390;
    using TValueCallback = std::function<double(double x, double y)>;

    // The colour of points without a value.
    static const QColor NoValueColour;

    explicit TContourPlot(QWidget* parent = nullptr);

    void SetValueCallback(TValueCallback callback) { callback_ = std::move(callback); }
    // The plotted range: x (log10 density) and y (temperature).
    void SetDataRange(double fromX, double toX, double fromY, double toY);
    // The values coloured from the first to the last colour of the scale. The low value stays
    // below the high one: a low value at or above the high one moves the high one to low + 1,
    // a high value at or below the low one moves the low one to high - 1.
    void SetLowIso(double value);
    void SetHighIso(double value);
    double LowIso() const { return lowIso_; }
    double HighIso() const { return highIso_; }
    // The axis range of the colour scale as set; the scale shows its part that a logarithmic
    // axis can show (see ColourRange).
    void SetScaleRange(double low, double high);
    QCPRange ScaleRange() const { return scaleRange_; }
    // Marks the grid point with the smallest residual.
    void SetBestPoint(double x, double y);
    bool HasBestPoint() const;
    // The line in the map's upper left corner that names what it shows.
    void SetCaption(const QString& caption);
    QString Caption() const;
    // The caption above the plotting area, with room made for it, instead of over the map's
    // corner; false when there is no caption to move.
    bool SetCaptionAbove(bool above);
    // Asks every sampled value through the callback and redraws.
    void Redraw();

    // The range the colours span after Redraw: the iso range, its low end raised to the
    // smallest positive value drawn (a logarithm needs one; smaller values, zeros included,
    // take the first colour) and to a decade below the high end when nothing lies between.
    // Linear only when the high end is not positive (a map of zeros).
    QCPRange ColourRange() const { return map_->dataRange(); }
    bool Logarithmic() const { return map_->dataScaleType() == QCPAxis::stLogarithmic; }

    QCPColorMap* ColourMap() const { return map_; }
    QCPColorScale* ColourScale() const { return scale_; }
    double CrossX() const;
    double CrossY() const;
    // The cross-hair shows from the first press on the map until the next range is set; a
    // saved image leaves it out.
    bool CrossHairShown() const;
    void SetCrossHairShown(bool shown);

signals:
    // The data coordinates under the mouse.
    void MouseAt(double x, double y);

private:
    void MoveCrossHair(double x, double y);
    void ShowScale(double smallestPositive);

    QCPColorMap* map_;
    QCPColorScale* scale_;
    QCPItemStraightLine* crossX_;
    QCPItemStraightLine* crossY_;
    QCPItemStraightLine* haloX_;
    QCPItemStraightLine* haloY_;
    QCPItemTracer* best_;
    QCPItemText* caption_;
    TValueCallback callback_;
    double lowIso_ = -1, highIso_ = 1;
    QCPRange scaleRange_{-10, 1};
};

// The picture of a saved plot image: its size in pixels and the resolution it is meant for.
// The plot is laid out at Pixels * 96 / DotsPerInch, the size it would have on a 96 dpi screen
// (so its fonts and lines keep their size on paper), and drawn scaled to Pixels; a PDF or SVG
// takes the same size in millimetres. An image for paper is laid out for its size
// (TImageLayout); any other as the screen shows the plot.
struct TImageSize {
    QSize Pixels;
    int DotsPerInch = 96;
    bool Print = false;
};

// A plot of `onScreen` pixels as the screen shows it (its pixels taken as 96 dpi), at
// `dotsPerInch`.
TImageSize ScreenImageSize(QSize onScreen, int dotsPerInch = 96);

// Saves the plot as PNG, PDF or SVG, chosen by the file name's ending (PNG for any other), at
// `size` (as on screen when empty; a PNG marked with its resolution), without the map's
// cross-hair; raises EInOutError when the image cannot be drawn or the file cannot be written.
void SavePlotImage(QCustomPlot& plot, const QString& fileName, const TImageSize& size = {});

} // namespace zelt
