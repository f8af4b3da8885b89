// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/spectrumplot.h"

#include "widgets/chart.h"

#include <algorithm>

namespace zelt {

namespace {

// Where the labels end below the top of the plotting area, as a share of its height.
constexpr double kLabelTop = 0.01;
const QColor kSpectrumColour(30, 30, 30);

// A rectangle across the whole height of the plotting area from x = low to x = high (nm).
void Shade(QCustomPlot& plot, double low, double high, const QColor& colour) {
    auto* rect = new QCPItemRect(&plot);
    rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
    rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
    rect->topLeft->setCoords(low, 0);
    rect->bottomRight->setCoords(high, 1);
    rect->setPen(Qt::NoPen);
    rect->setBrush(colour);
    rect->setLayer(QStringLiteral("background"));
    rect->setClipToAxisRect(true);
}

QColor WithAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

} // namespace

TSpectrumPlot::TSpectrumPlot(QWidget* parent) : QCustomPlot(parent) {
    setBackground(Qt::white);
    xAxis->setLabel(QStringLiteral("Wavelength [nm]"));
    yAxis->setNumberFormat(QStringLiteral("gb"));
    counts_ = addGraph();
    counts_->setPen(QPen(kSpectrumColour, 1));
    counts_->setName(QStringLiteral("spectrum"));
    // Swatches of the outcomes for the legend.
    const std::pair<TMarkKind, QString> kinds[] = {
        {TMarkKind::Integrated, QStringLiteral("integrated")},
        {TMarkKind::Shared, QStringLiteral("shared")},
        {TMarkKind::Blend, QStringLiteral("blend")},
        {TMarkKind::Saturated, QStringLiteral("saturated")},
        {TMarkKind::LeftOut, QStringLiteral("left out")},
        {TMarkKind::OtherSpecies, QStringLiteral("other species")}};
    for (const auto& [kind, name] : kinds) {
        auto* swatch = new QCPBars(xAxis, yAxis);
        swatch->setName(name);
        swatch->setPen(Qt::NoPen);
        swatch->setBrush(WithAlpha(KindColour(kind), 90));
    }
    legend->setVisible(true);
    PlaceLegendAbove(*this);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeZoom(Qt::Horizontal);
    // The wheel zooms the counts with Ctrl pressed, the wavelengths without.
    connect(this, &QCustomPlot::mouseWheel, this, [this](QWheelEvent* event) {
        axisRect()->setRangeZoom(event->modifiers() & Qt::ControlModifier ? Qt::Vertical
                                                                          : Qt::Horizontal);
    });
    connect(this, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });

    // The scale's offsets beneath, on the same wavelengths.
    scaleRect_ = new QCPAxisRect(this);
    // A strip of at most 50 pixels: the wavelengths are read on the spectrum's axis above it.
    scaleRect_->setMaximumSize(QWIDGETSIZE_MAX, 50);
    scaleRect_->axis(QCPAxis::atBottom)->setTickLabels(false);
    scaleRect_->axis(QCPAxis::atLeft)->setLabel(QStringLiteral("Offset [nm]"));
    scaleRect_->axis(QCPAxis::atLeft)->ticker()->setTickCount(3);
    scaleRect_->setRangeDrag(Qt::Horizontal);
    scaleRect_->setRangeZoom(Qt::Horizontal);
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged),
            scaleRect_->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::setRange));
    auto* group = new QCPMarginGroup(this);
    axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, group);
    scaleRect_->setMarginGroup(QCP::msLeft | QCP::msRight, group);
    const auto graph = [this](QCPScatterStyle::ScatterShape shape, const QColor& colour) {
        auto* g = addGraph(scaleRect_->axis(QCPAxis::atBottom), scaleRect_->axis(QCPAxis::atLeft));
        g->setLineStyle(QCPGraph::lsNone);
        g->setScatterStyle(QCPScatterStyle(shape, colour, 5));
        g->removeFromLegend();
        return g;
    };
    offsets_ = graph(QCPScatterStyle::ssDisc, QColor(0, 90, 180));
    unused_ = graph(QCPScatterStyle::ssCross, QColor(200, 0, 0));
    calibration_ = addGraph(scaleRect_->axis(QCPAxis::atBottom), scaleRect_->axis(QCPAxis::atLeft));
    calibration_->setPen(QPen(QColor(0, 90, 180), 1));
    calibration_->removeFromLegend();
    counts_->removeFromLegend();
    // The labels follow the layout of each drawing: the area's width and height.
    connect(this, &QCustomPlot::afterLayout, this, [this] { SpreadLabels(); });
    connect(this, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        emit MouseAt(xAxis->pixelToCoord(event->position().x()),
                     yAxis->pixelToCoord(event->position().y()));
    });
    Clear();
}

QColor TSpectrumPlot::KindColour(TMarkKind kind) {
    switch (kind) {
    case TMarkKind::Integrated:
        return {0, 150, 0};
    case TMarkKind::Shared:
        return {0, 120, 200};
    case TMarkKind::Blend:
        return {235, 130, 0};
    case TMarkKind::Saturated:
        return {220, 0, 0};
    case TMarkKind::OtherSpecies:
        return {150, 0, 170};
    case TMarkKind::LeftOut:
        break;
    }
    return {140, 140, 140};
}

void TSpectrumPlot::Reset() {
    clearItems();
    labels_.clear();
    counts_->data()->clear();
    counts_->setLineStyle(QCPGraph::lsLine);
    for (QCPGraph* graph : {offsets_, unused_, calibration_})
        graph->data()->clear();
    ShowScaleRect(false);
    marks_ = 0;
}

// A label standing upright from just below the top of the plotting area, at x (nm).
void TSpectrumPlot::AddLabel(double x, const QString& text, const QColor& colour) {
    auto* label = new QCPItemText(this);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(x, kLabelTop);
    label->setPositionAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setRotation(-90);
    label->setText(text);
    label->setColor(colour.darker(130));
    // Readable over the shaded windows and the spectrum, which show faintly through.
    label->setBrush(QColor(255, 255, 255, 170));
    QFont font = this->font();
    font.setPixelSize(10);
    label->setFont(font);
    labels_.append(label);
}

// From left to right, a label closer than its text's height to the last one shown is hidden,
// and so is one longer than the plotting area is high, which would be cut at its top.
void TSpectrumPlot::SpreadLabels() {
    double last = -1e300;
    const double room = axisRect()->height() * (1 - kLabelTop);
    for (QCPItemText* label : labels_) {
        const double x = xAxis->coordToPixel(label->position->key());
        const QFontMetricsF metrics(label->font());
        const bool shown =
            x - last >= metrics.height() && metrics.horizontalAdvance(label->text()) <= room;
        label->setVisible(shown);
        if (shown)
            last = x;
    }
}

void TSpectrumPlot::Clear() {
    Reset();
    wavelengths_ = QCPRange(0, 1);
    xAxis->setRange(wavelengths_);
    yAxis->setRange(0, 1);
    replot();
}

void TSpectrumPlot::AddMark(const TMark& mark, double top) {
    const QColor colour = KindColour(mark.Kind);
    if (mark.High > mark.Low) {
        Shade(*this, mark.Low, mark.High, WithAlpha(colour, 90));
        for (const auto& [low, high] : {std::pair{mark.BandBelowLow, mark.BandBelowHigh},
                                        std::pair{mark.BandAboveLow, mark.BandAboveHigh}})
            if (high > low)
                Shade(*this, low, high, WithAlpha(colour, 30));
        auto* background = new QCPItemLine(this);
        background->start->setCoords(mark.Low, mark.BackgroundLow);
        background->end->setCoords(mark.High, mark.BackgroundHigh);
        background->setPen(QPen(colour.darker(140), 1.5));
    }
    auto* tick = new QCPItemLine(this);
    tick->start->setCoords(mark.Centre, top * 0.9);
    tick->end->setCoords(mark.Centre, top);
    tick->setPen(QPen(colour, 1.5));
    if (!mark.Label.isEmpty())
        AddLabel(mark.Centre, mark.Label, colour);
    ++marks_;
}

void TSpectrumPlot::ShowSpectrum(const QVector<double>& wavelengths, const QVector<double>& counts,
                                 const QVector<TMark>& marks) {
    Reset();
    yAxis->setLabel(QStringLiteral("Counts"));
    legend->setVisible(true);
    counts_->setData(wavelengths, counts, true);
    FitCounts();
    for (const TMark& mark : marks)
        AddMark(mark, yAxis->range().upper);
    wavelengths_ =
        wavelengths.isEmpty() ? QCPRange(0, 1) : QCPRange(wavelengths.front(), wavelengths.back());
    ShowAll();
}

void TSpectrumPlot::ShowSticks(const QVector<double>& wavelengths,
                               const QVector<double>& intensities, const QStringList& labels) {
    Reset();
    // The outcomes of an integration do not apply to a list.
    yAxis->setLabel(QStringLiteral("Intensity"));
    legend->setVisible(false);
    counts_->setData(wavelengths, intensities);
    counts_->setLineStyle(QCPGraph::lsImpulse);
    const double high =
        intensities.isEmpty() ? 1 : *std::max_element(intensities.begin(), intensities.end());
    yAxis->setRange(0, high > 0 ? high * 1.3 : 1);
    for (qsizetype i = 0; i < wavelengths.size() && i < labels.size(); ++i)
        AddLabel(wavelengths[i], labels[i], KindColour(TMarkKind::Integrated));
    if (wavelengths.isEmpty()) {
        wavelengths_ = QCPRange(0, 1);
    } else {
        const auto [first, last] = std::minmax_element(wavelengths.begin(), wavelengths.end());
        const double room = std::max((*last - *first) * 0.05, 1.0);
        wavelengths_ = QCPRange(*first - room, *last + room);
    }
    ShowAll();
}

// The counts axis over every pixel with room above the highest for the labels: from 0 (or the
// lowest pixel below it), or logarithmic from one count.
void TSpectrumPlot::FitCounts() {
    const QSharedPointer<QCPGraphDataContainer> data = counts_->data();
    double low = 0, high = 1;
    for (const QCPGraphData& point : *data) {
        low = std::min(low, point.value);
        high = std::max(high, point.value);
    }
    if (logCounts_)
        yAxis->setRange(1, high * 4);
    else
        yAxis->setRange(low, high + (high - low) * 0.25);
}

// The scale's plot takes a row beneath the spectrum only while it has offsets to show.
void TSpectrumPlot::ShowScaleRect(bool on) {
    QCPLayoutGrid* layout = plotLayout();
    if (on == (layout->element(layout->rowCount() - 1, 0) == scaleRect_))
        return;
    if (on) {
        layout->addElement(layout->rowCount(), 0, scaleRect_);
        layout->setRowStretchFactor(layout->rowCount() - 1, 0.15);
    } else {
        layout->take(scaleRect_);
        layout->simplify();
    }
    scaleRect_->setVisible(on);
}

void TSpectrumPlot::SetLogCounts(bool on) {
    logCounts_ = on;
    yAxis->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (on)
        yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
        yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    yAxis->setNumberFormat(QStringLiteral("gb"));
    FitCounts();
    replot();
}

void TSpectrumPlot::ShowScale(const QVector<double>& wavelengths, const QVector<double>& offsets,
                              const QVector<bool>& used, const QVector<double>& curveWavelengths,
                              const QVector<double>& curveOffsets) {
    QVector<double> usedX, usedY, leftX, leftY;
    for (qsizetype i = 0; i < wavelengths.size(); ++i) {
        (used.value(i) ? usedX : leftX).append(wavelengths[i]);
        (used.value(i) ? usedY : leftY).append(offsets[i]);
    }
    offsets_->setData(usedX, usedY, true);
    unused_->setData(leftX, leftY, true);
    calibration_->setData(curveWavelengths, curveOffsets, true);
    ShowScaleRect(!wavelengths.isEmpty());
    double low = 0, high = 0;
    for (const QVector<double>* values : {&offsets, &curveOffsets})
        for (const double v : *values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    const double room = std::max((high - low) * 0.15, 0.01);
    scaleRect_->axis(QCPAxis::atLeft)->setRange(low - room, high + room);
    replot();
}

void TSpectrumPlot::ShowAll() {
    FitCounts();
    std::sort(labels_.begin(), labels_.end(), [](const QCPItemText* a, const QCPItemText* b) {
        return a->position->key() < b->position->key();
    });
    xAxis->setRange(wavelengths_);
    replot();
}

} // namespace zelt
