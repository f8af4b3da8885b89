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
        {TMarkKind::LeftOut, QStringLiteral("left out")}};
    for (const auto& [kind, name] : kinds) {
        auto* swatch = new QCPBars(xAxis, yAxis);
        swatch->setName(name);
        swatch->setPen(Qt::NoPen);
        swatch->setBrush(WithAlpha(KindColour(kind), 90));
    }
    legend->setVisible(true);
    PlaceLegendAbove(*this);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    connect(this, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });
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
    const auto [low, high] = std::minmax_element(counts.begin(), counts.end());
    const double bottom = counts.isEmpty() ? 0 : std::min(0.0, *low);
    // Room above the highest pixel for the labels.
    const double top = counts.isEmpty() ? 1 : *high + (*high - bottom) * 0.25;
    yAxis->setRange(bottom, top > bottom ? top : bottom + 1);
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

void TSpectrumPlot::ShowAll() {
    std::sort(labels_.begin(), labels_.end(), [](const QCPItemText* a, const QCPItemText* b) {
        return a->position->key() < b->position->key();
    });
    xAxis->setRange(wavelengths_);
    replot();
}

} // namespace zelt
