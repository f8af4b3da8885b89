#pragma once
// The residual map: a colour map sampled at 390 points per axis through a value callback, an
// attached horizontal colour scale, and a black cross-hair that follows the dragged mouse.

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
    // The axis range of the colour scale.
    void SetScaleRange(double low, double high);
    QCPRange ScaleRange() const { return scale_->axis()->range(); }
    // Asks every sampled value through the callback and redraws.
    void Redraw();

    QCPColorMap* ColourMap() const { return map_; }
    QCPColorScale* ColourScale() const { return scale_; }
    double CrossX() const;
    double CrossY() const;

signals:
    // The data coordinates under the mouse.
    void MouseAt(double x, double y);

private:
    void MoveCrossHair(double x, double y);

    QCPColorMap* map_;
    QCPColorScale* scale_;
    QCPItemStraightLine* crossX_;
    QCPItemStraightLine* crossY_;
    TValueCallback callback_;
    double lowIso_ = -1, highIso_ = 1;
};

// Saves the plot as PNG, PDF or SVG, chosen by the file name's ending (PNG for any other);
// raises EInOutError when the file cannot be written.
void SavePlotImage(QCustomPlot& plot, const QString& fileName);

} // namespace zelt
