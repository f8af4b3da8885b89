// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/contourplot.h"

#include "common/errors.h"
#include "common/safefile.h"
#include "widgets/axistitle.h"
#include "widgets/imagelayout.h"
#include "widgets/scaleticker.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QScopeGuard>
#include <QSvgGenerator>

#include <cmath>
#include <limits>
#include <memory>

namespace zelt {

const QColor TContourPlot::NoValueColour(200, 200, 200);

namespace {

constexpr double kScreenDotsPerInch = 96;
// The caption's corner in the plotting area (fractions of its width and height), and its
// distance above the area when it stands there.
constexpr QPointF kCaptionCorner(0.01, 0.02);
constexpr int kCaptionGap = 2;

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

// Viridis (van der Walt and Smith), from dark blue-violet through teal to yellow: its
// lightness rises evenly, so equal steps of the logarithm look like equal steps of colour.
QCPColorGradient Viridis() {
    QCPColorGradient gradient;
    const QRgb stops[] = {0x440154, 0x482475, 0x414487, 0x355f8d, 0x2a788e, 0x21918c,
                          0x22a884, 0x44bf70, 0x7ad151, 0xbddf26, 0xfde725};
    QMap<double, QColor> colours;
    for (int i = 0; i < 11; ++i)
        colours.insert(i / 10.0, QColor(stops[i]));
    gradient.setColorStops(colours);
    gradient.setColorInterpolation(QCPColorGradient::ciRGB);
    gradient.setLevelCount(350);
    gradient.setNanHandling(QCPColorGradient::nhNanColor);
    gradient.setNanColor(TContourPlot::NoValueColour);
    return gradient;
}

// The range coloured from the first to the last colour for the values from `low` to `high`:
// logarithmic from the smallest positive value drawn when `low` is not positive, and over a
// decade below `high` when nothing lies between; linear when `high` is not positive.
QCPRange ColourSpan(double low, double high, double smallestPositive, bool& logarithmic) {
    logarithmic = high > 0;
    if (!logarithmic)
        return QCPRange(low, high);
    if (!(low > 0))
        low = smallestPositive;
    if (!(low < high))
        low = high / 10;
    return QCPRange(low, high);
}

QCPItemStraightLine* CrossLine(QCustomPlot* plot, const QPen& pen) {
    auto* line = new QCPItemStraightLine(plot);
    line->setPen(pen);
    line->setSelectable(false);
    line->setAntialiased(false); // whole pixels: a crisp black line inside its halo
    return line;
}

} // namespace

TContourPlot::TContourPlot(QWidget* parent) : QCustomPlot(parent) {
    setCursor(Qt::CrossCursor);
    setBackground(Qt::white);
    axisRect()->setAutoMargins(QCP::msNone);
    // Room on the left for the tick labels and the caption of the temperature axis.
    axisRect()->setMargins(QMargins(65, 20, 20, 40));
    SetUpAxis(xAxis, QStringLiteral("Log10 n_1 [m-3]"));
    new TAxisTitle(xAxis, xAxis->label(),
                   QStringLiteral("Log<sub>10</sub> <i>n</i><sub>1</sub> [m<sup>−3</sup>]"));
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
    scale_->axis()->setTicker(QSharedPointer<TScaleTicker>::create());
    scale_->setMarginGroup(QCP::msLeft | QCP::msRight, new QCPMarginGroup(this));
    scale_->setBarWidth(12);
    plotLayout()->addElement(1, 0, scale_);
    plotLayout()->setRowStretchFactor(1, 0.001);
    scale_->setAutoMargins(QCP::msNone);
    scale_->setMargins(QMargins(16, 20, 16, 22));
    const QCPColorGradient gradient = Viridis();
    scale_->setGradient(gradient);
    map_->setGradient(gradient);

    // The best point above the map, the cross-hair above everything drawn on the axes: a
    // black line on a white halo, so that it shows on the dark and the light colours alike.
    best_ = new QCPItemTracer(this);
    best_->setStyle(QCPItemTracer::tsCircle);
    best_->setSize(9);
    best_->setPen(QPen(Qt::black, 1.5));
    best_->setBrush(Qt::white);
    best_->setVisible(false);
    caption_ = new QCPItemText(this);
    caption_->position->setType(QCPItemPosition::ptAxisRectRatio);
    caption_->position->setCoords(kCaptionCorner.x(), kCaptionCorner.y());
    caption_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    caption_->setFont(AxisFont());
    caption_->setBrush(QColor(255, 255, 255, 200));
    caption_->setPadding(QMargins(3, 1, 3, 1));
    caption_->setVisible(false);
    addLayer(QStringLiteral("crosshair"), layer(QStringLiteral("main")), limAbove);
    setCurrentLayer(QStringLiteral("crosshair"));
    haloX_ = CrossLine(this, QPen(Qt::white, 3));
    haloY_ = CrossLine(this, QPen(Qt::white, 3));
    crossX_ = CrossLine(this, QPen(Qt::black, 1, Qt::SolidLine));
    crossY_ = CrossLine(this, QPen(Qt::black, 1, Qt::SolidLine));
    setCurrentLayer(QStringLiteral("main"));
    MoveCrossHair(0, 0);

    SetDataRange(0, 1, 0, 1);
    scale_->setVisible(false);
    ShowScale(std::numeric_limits<double>::infinity());
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
    SetCrossHairShown(false);
    map_->data()->setRange(QCPRange(fromX, toX), QCPRange(fromY, toY));
    // A range of no extent (equal ends) shows one unit either side, so that its tick labels
    // differ.
    const auto widen = [](double from, double to) {
        return std::abs(to - from) < 1e-10 ? QCPRange(from - 1, from + 1)
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

void TContourPlot::SetScaleRange(double low, double high) {
    scaleRange_ = QCPRange(low, high);
}

void TContourPlot::SetBestPoint(double x, double y) {
    best_->position->setCoords(x, y);
    best_->setVisible(true);
}

void TContourPlot::SetCaption(const QString& caption) {
    caption_->setText(caption);
    caption_->setVisible(!caption.isEmpty());
}

bool TContourPlot::SetCaptionAbove(bool above) {
    if (above) {
        if (!caption_->visible())
            return false;
        caption_->position->setCoords(0, 0);
        caption_->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        const QMargins padding = caption_->padding();
        const int height = QFontMetrics(caption_->font()).height() + padding.top() +
                           padding.bottom() + kCaptionGap;
        QMargins least = axisRect()->minimumMargins();
        least.setTop(std::max(least.top(), height));
        axisRect()->setMinimumMargins(least);
    } else {
        caption_->position->setCoords(kCaptionCorner.x(), kCaptionCorner.y());
        caption_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        QMargins least = axisRect()->minimumMargins();
        least.setTop(0);
        axisRect()->setMinimumMargins(least);
    }
    return true;
}

QString TContourPlot::Caption() const {
    return caption_->visible() ? caption_->text() : QString();
}

bool TContourPlot::HasBestPoint() const {
    return best_->visible();
}

void TContourPlot::Redraw() {
    QCPColorMapData* data = map_->data();
    const double none = std::numeric_limits<double>::quiet_NaN();
    double smallestPositive = std::numeric_limits<double>::infinity();
    bool anyDrawn = false;
    for (int i = 0; i < PivotResolution; ++i)
        for (int j = 0; j < PivotResolution; ++j) {
            double x = 0, y = 0;
            data->cellToCoord(i, j, &x, &y);
            const double z = callback_ ? callback_(x, y) : -1;
            const bool drawn = z >= lowIso_ && z >= 0;
            anyDrawn = anyDrawn || drawn;
            if (drawn && z > 0)
                smallestPositive = std::min(smallestPositive, z);
            data->setCell(i, j, drawn ? z : none);
        }
    bool logarithmic = false;
    const QCPRange colours = ColourSpan(lowIso_, highIso_, smallestPositive, logarithmic);
    // A logarithm has no place for zeros and the values below the span: they take its first
    // colour.
    if (logarithmic)
        for (int i = 0; i < PivotResolution; ++i)
            for (int j = 0; j < PivotResolution; ++j)
                if (data->cell(i, j) < colours.lower)
                    data->setCell(i, j, colours.lower);
    map_->setDataScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    map_->setDataRange(colours);
    // Before the first map (or with nothing drawn) the scale would show a range of nothing.
    scale_->setVisible(anyDrawn);
    ShowScale(smallestPositive);
    replot();
}

// The scale shows its range on the map's kind of axis, so each colour of the map can be read
// off it.
void TContourPlot::ShowScale(double smallestPositive) {
    bool logarithmic = false;
    const QCPRange shown =
        ColourSpan(scaleRange_.lower, scaleRange_.upper, smallestPositive, logarithmic);
    if (auto ticker = scale_->axis()->ticker().dynamicCast<TScaleTicker>())
        ticker->SetLogarithmic(logarithmic);
    scale_->setDataScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    scale_->setDataRange(shown);
}

double TContourPlot::CrossX() const {
    return crossX_->point1->coords().x();
}
double TContourPlot::CrossY() const {
    return crossY_->point1->coords().y();
}

bool TContourPlot::CrossHairShown() const {
    return crossX_->visible();
}

void TContourPlot::SetCrossHairShown(bool shown) {
    for (QCPItemStraightLine* line : {haloX_, crossX_, haloY_, crossY_})
        line->setVisible(shown);
}

void TContourPlot::MoveCrossHair(double x, double y) {
    SetCrossHairShown(true);
    for (QCPItemStraightLine* line : {haloX_, crossX_}) {
        line->point1->setCoords(x, 0);
        line->point2->setCoords(x, 1);
    }
    for (QCPItemStraightLine* line : {haloY_, crossY_}) {
        line->point1->setCoords(0, y);
        line->point2->setCoords(1, y);
    }
    replot(QCustomPlot::rpQueuedReplot);
}

TImageSize ScreenImageSize(QSize onScreen, int dotsPerInch) {
    const double scale = dotsPerInch / kScreenDotsPerInch;
    return {QSize(static_cast<int>(std::lround(onScreen.width() * scale)),
                  static_cast<int>(std::lround(onScreen.height() * scale))),
            dotsPerInch};
}

void SavePlotImage(QCustomPlot& plot, const QString& fileName, const TImageSize& requested) {
    const TImageSize size = requested.Pixels.isEmpty() ? ScreenImageSize(plot.size()) : requested;
    if (size.DotsPerInch <= 0)
        throw EInOutError("Cannot draw the image for \"" + fileName.toStdString() +
                          "\" at a resolution of " + std::to_string(size.DotsPerInch) + " dpi");
    auto* map = qobject_cast<TContourPlot*>(&plot);
    const bool crossHair = map != nullptr && map->CrossHairShown();
    if (crossHair)
        map->SetCrossHairShown(false);
    // On paper the caption stands above the map, not over its data.
    const bool captionMoved = map != nullptr && size.Print && map->SetCaptionAbove(true);
    const auto restore = qScopeGuard([&] {
        if (crossHair)
            map->SetCrossHairShown(true);
        if (captionMoved)
            map->SetCaptionAbove(false);
    });
    const double scale = size.DotsPerInch / kScreenDotsPerInch;
    const QSize layout(std::max(1, static_cast<int>(std::lround(size.Pixels.width() / scale))),
                       std::max(1, static_cast<int>(std::lround(size.Pixels.height() / scale))));
    // The image is drawn into memory and saved by the one file writer, so that a full disk or a
    // killed program leaves the old file, and a failure says why.
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    QBuffer image;
    image.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (suffix == QStringLiteral("pdf") || suffix == QStringLiteral("svg")) {
        std::unique_ptr<QPaintDevice> device;
        if (suffix == QStringLiteral("pdf")) {
            auto pdf = std::make_unique<QPdfWriter>(&image);
            constexpr double kPointsPerInch = 72;
            pdf->setPageSize(QPageSize(QSizeF(layout) * (kPointsPerInch / kScreenDotsPerInch),
                                       QPageSize::Point));
            pdf->setPageMargins(QMarginsF());
            pdf->setResolution(static_cast<int>(kScreenDotsPerInch));
            device = std::move(pdf);
        } else {
            auto svg = std::make_unique<QSvgGenerator>();
            svg->setOutputDevice(&image);
            svg->setSize(layout);
            svg->setViewBox(QRect(QPoint(), layout));
            svg->setResolution(static_cast<int>(kScreenDotsPerInch));
            device = std::move(svg);
        }
        QCPPainter painter;
        drawn = painter.begin(device.get());
        if (drawn) {
            TImageLayout(plot, layout, size.Print).Draw(painter);
            drawn = painter.end();
        }
    } else {
        // The plot's white, also on the edge of a pixel that its layout at a whole number of
        // screen pixels leaves.
        QImage picture(size.Pixels, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::white);
        QCPPainter painter;
        if (!picture.isNull() && painter.begin(&picture)) {
            // Lines of zero width would stay one pixel wide at any scale.
            painter.setMode(QCPPainter::pmNonCosmetic, scale > 1);
            painter.scale(static_cast<double>(size.Pixels.width()) / layout.width(),
                          static_cast<double>(size.Pixels.height()) / layout.height());
            TImageLayout(plot, layout, size.Print).Draw(painter);
            painter.end();
            constexpr double kMetresPerInch = 0.0254;
            const int dotsPerMetre =
                static_cast<int>(std::lround(size.DotsPerInch / kMetresPerInch));
            picture.setDotsPerMeterX(dotsPerMetre);
            picture.setDotsPerMeterY(dotsPerMetre);
            drawn = picture.save(&image, "PNG");
        }
    }
    if (!drawn)
        throw EInOutError("Cannot draw the image for \"" + fileName.toStdString() + "\"");
    const QByteArray& bytes = image.buffer();
    SaveFile(fileName.toStdString(), std::string_view(bytes.constData(), bytes.size()));
}

} // namespace zelt
