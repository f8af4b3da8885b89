#include "widgets/contourplot.h"

#include "common/errors.h"

#include <QSvgGenerator>

#include <cmath>
#include <limits>

namespace zelt {

namespace {

QFont AxisFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

void SetUpAxis(QCPAxis* axis, const QString& caption) {
    axis->setLabel(caption);
    axis->setLabelFont(AxisFont());
    axis->setTickLabelFont(AxisFont());
    axis->setTickLengthIn(3);
    axis->setSubTickLengthIn(1);
    axis->ticker()->setTickCount(5);
}

} // namespace

TContourPlot::TContourPlot(QWidget* parent) : QCustomPlot(parent) {
    setCursor(Qt::CrossCursor);
    setBackground(Qt::white);
    axisRect()->setAutoMargins(QCP::msNone);
    // Room on the left for the tick labels and the caption of the temperature axis.
    axisRect()->setMargins(QMargins(65, 20, 20, 40));
    SetUpAxis(xAxis, QStringLiteral("Log10 n_1 [m-3]"));
    SetUpAxis(yAxis, QStringLiteral("Temperature [K]"));
    for (QCPAxis* axis : {xAxis, yAxis, xAxis2, yAxis2})
        axis->setBasePen(QPen(Qt::black));
    axisRect()->setupFullAxesBox(true);
    xAxis2->setTickLabels(false);
    yAxis2->setTickLabels(false);

    map_ = new QCPColorMap(xAxis, yAxis);
    map_->data()->setSize(PivotResolution, PivotResolution);
    map_->setInterpolate(false);
    map_->setTightBoundary(false);

    scale_ = new QCPColorScale(this);
    scale_->setType(QCPAxis::atBottom);
    scale_->setLabel(QStringLiteral("RSS"));
    scale_->axis()->setLabelFont(AxisFont());
    scale_->axis()->setTickLabelFont(AxisFont());
    scale_->setMarginGroup(QCP::msLeft | QCP::msRight, new QCPMarginGroup(this));
    scale_->setBarWidth(12);
    plotLayout()->addElement(1, 0, scale_);
    plotLayout()->setRowStretchFactor(1, 0.001);
    scale_->setAutoMargins(QCP::msNone);
    scale_->setMargins(QMargins(16, 20, 16, 22));
    QCPColorGradient gradient(QCPColorGradient::gpJet);
    gradient.setNanHandling(QCPColorGradient::nhTransparent);
    scale_->setGradient(gradient);
    map_->setGradient(gradient);
    scale_->setDataRange(QCPRange(-10, 1));
    map_->setDataRange(QCPRange(lowIso_, highIso_));

    crossX_ = new QCPItemStraightLine(this);
    crossY_ = new QCPItemStraightLine(this);
    for (QCPItemStraightLine* line : {crossX_, crossY_})
        line->setPen(QPen(Qt::black, 1, Qt::SolidLine));
    MoveCrossHair(0, 0);

    SetDataRange(0, 1, 0, 1);
    connect(this, &QCustomPlot::mousePress, this, [this](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton)
            MoveCrossHair(xAxis->pixelToCoord(event->position().x()),
                          yAxis->pixelToCoord(event->position().y()));
    });
    connect(this, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        const double x = xAxis->pixelToCoord(event->position().x());
        const double y = yAxis->pixelToCoord(event->position().y());
        if (event->buttons() & Qt::LeftButton)
            MoveCrossHair(x, y);
        emit MouseAt(x, y);
    });
}

void TContourPlot::SetDataRange(double fromX, double toX, double fromY, double toY) {
    map_->data()->setRange(QCPRange(fromX, toX), QCPRange(fromY, toY));
    // The smallest displayable range.
    const auto widen = [](double from, double to) {
        return std::abs(to - from) < 1e-10 ? QCPRange(from - 5e-11, from + 5e-11)
                                           : QCPRange(std::min(from, to), std::max(from, to));
    };
    xAxis->setRange(widen(fromX, toX));
    yAxis->setRange(widen(fromY, toY));
    xAxis->setRangeReversed(toX < fromX);
    yAxis->setRangeReversed(toY < fromY);
}

void TContourPlot::SetLowIso(double value) {
    lowIso_ = value;
    if (lowIso_ >= highIso_)
        highIso_ = lowIso_ + 1;
}

void TContourPlot::SetHighIso(double value) {
    highIso_ = value;
    if (highIso_ <= lowIso_)
        lowIso_ = highIso_ - 1;
}

// The scale's bar shows its gradient over this range.
void TContourPlot::SetScaleRange(double low, double high) {
    scale_->setDataRange(QCPRange(low, high));
}

void TContourPlot::Redraw() {
    QCPColorMapData* data = map_->data();
    for (int i = 0; i < PivotResolution; ++i)
        for (int j = 0; j < PivotResolution; ++j) {
            double x = 0, y = 0;
            data->cellToCoord(i, j, &x, &y);
            const double z = callback_ ? callback_(x, y) : -1;
            // Values below the iso range (the -1 of points without a grid value) stay white.
            data->setCell(i, j, z < lowIso_ ? std::numeric_limits<double>::quiet_NaN() : z);
        }
    map_->setDataRange(QCPRange(lowIso_, highIso_));
    replot();
}

double TContourPlot::CrossX() const {
    return crossX_->point1->coords().x();
}
double TContourPlot::CrossY() const {
    return crossY_->point1->coords().y();
}

void TContourPlot::MoveCrossHair(double x, double y) {
    crossX_->point1->setCoords(x, 0);
    crossX_->point2->setCoords(x, 1);
    crossY_->point1->setCoords(0, y);
    crossY_->point2->setCoords(1, y);
    replot(QCustomPlot::rpQueuedReplot);
}

void SavePlotImage(QCustomPlot& plot, const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    bool saved = false;
    if (suffix == QStringLiteral("pdf")) {
        saved = plot.savePdf(fileName);
    } else if (suffix == QStringLiteral("svg")) {
        QSvgGenerator generator;
        generator.setFileName(fileName);
        generator.setSize(plot.size());
        generator.setViewBox(plot.rect());
        QCPPainter painter;
        saved = painter.begin(&generator);
        if (saved) {
            plot.toPainter(&painter, plot.width(), plot.height());
            saved = painter.end();
        }
        saved = saved && QFileInfo::exists(fileName);
    } else {
        saved = plot.savePng(fileName);
    }
    if (!saved)
        throw EInOutError("Cannot write the image file \"" + fileName.toStdString() + "\"");
}

} // namespace zelt
