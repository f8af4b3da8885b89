// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/chart.h"

#include "common/format.h"
#include "widgets/barmarks.h"

#include <QHelpEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

// Bars take 30 % of the width that falls to each of them.
constexpr double kBarWidthShare = 0.3;
const QColor kBarOutline(60, 60, 60);

// Custom scatter paths are drawn at size / 6 pixels per unit: with size 6 a unit is a pixel.
QCPScatterStyle ShapeOfSize(double width, double height, bool diamond, const QColor& colour) {
    QPainterPath path;
    if (diamond) {
        path.moveTo(-width / 2, 0);
        path.lineTo(0, -height / 2);
        path.lineTo(width / 2, 0);
        path.lineTo(0, height / 2);
        path.closeSubpath();
    } else {
        path.addRect(-width / 2, -height / 2, width, height);
    }
    return QCPScatterStyle(path, QPen(colour), QBrush(colour), 6);
}

// The fraction axis: a tick at every 0.1. Where the plot is too low for eleven labels, only
// every second (or fifth) tick is labelled, so that no two labels overlap.
class TFractionTicker : public QCPAxisTickerFixed {
public:
    explicit TFractionTicker(const QCPAxis* axis) : axis_(axis) {
        setTickStep(0.1);
        setScaleStrategy(QCPAxisTickerFixed::ssNone);
    }

protected:
    QVector<QString> createLabelVector(const QVector<double>& ticks, const QLocale& locale,
                                       QChar formatChar, int precision) override {
        QVector<QString> labels =
            QCPAxisTickerFixed::createLabelVector(ticks, locale, formatChar, precision);
        const double spacing = axis_->axisRect()->height() * tickStep() / axis_->range().size();
        const double needed = QFontMetricsF(axis_->tickLabelFont()).height();
        int every = 1;
        for (int n : {1, 2, 5, 10}) {
            every = n;
            if (spacing * n >= needed)
                break;
        }
        for (int i = 0; i < ticks.size(); ++i)
            if (std::lround(ticks[i] / tickStep()) % every != 0)
                labels[i].clear();
        return labels;
    }

private:
    const QCPAxis* axis_;
};

QCPGraph* PointSeries(QCustomPlot* plot, const QString& title, const QCPScatterStyle& style) {
    QCPGraph* graph = plot->addGraph();
    graph->setName(title);
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(style);
    graph->setPen(style.pen());
    return graph;
}

} // namespace

void PlaceLegendAbove(QCustomPlot& plot) {
    QCPLegend* legend = plot.legend;
    legend->setVisible(true);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    plot.plotLayout()->insertRow(0);
    plot.plotLayout()->addElement(0, 0, legend);
    plot.plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setMargins(QMargins(4, 2, 4, 2));
}

TColouredBars::TColouredBars(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPBars(keyAxis, valueAxis) {
    setPen(QPen(kBarOutline, 0));
    setAntialiased(false); // a crisp outline of whole pixels
    setBrush(QColor(128, 128, 128));
    setWidthType(QCPBars::wtAxisRectRatio);
    setWidth(kBarWidthShare);
}

void TColouredBars::SetBars(QVector<TBar> bars) {
    std::stable_sort(bars.begin(), bars.end(),
                     [](const TBar& a, const TBar& b) { return a.Key < b.Key; });
    QVector<double> keys, values;
    keys.reserve(bars.size());
    values.reserve(bars.size());
    for (TBar& bar : bars) {
        bar.Shown = bar.Key;
        keys.append(bar.Key);
        values.append(bar.Value);
    }
    setData(keys, values, true);
    setWidth(kBarWidthShare / static_cast<double>(std::max<qsizetype>(bars.size(), 1)));
    bars_ = std::move(bars);
}

void TColouredBars::draw(QCPPainter* painter) {
    if (keyAxis() == nullptr || valueAxis() == nullptr)
        return;
    applyDefaultAntialiasingHint(painter);
    painter->setPen(pen());
    for (const TBar& bar : bars_) {
        painter->setBrush(bar.Colour);
        painter->drawPolygon(getBarRect(bar.Shown, bar.Value));
    }
}

void TColouredBars::Dodge(double width) {
    for (TBar& bar : bars_)
        bar.Shown = bar.Key;
    // Runs of bars that touch are laid side by side about the middle of their keys; a run that
    // then touches its neighbour joins it, until none touches (at most one join per bar).
    const qsizetype n = bars_.size();
    for (qsizetype pass = 0; pass < n; ++pass) {
        bool joined = false;
        for (qsizetype first = 0; first < n;) {
            qsizetype last = first;
            while (last + 1 < n && bars_[last + 1].Shown - bars_[last].Shown < width * (1 - 1e-9))
                ++last;
            if (last > first) {
                joined = true;
                double middle = 0;
                for (qsizetype i = first; i <= last; ++i)
                    middle += bars_[i].Key;
                middle /= static_cast<double>(last - first + 1);
                for (qsizetype i = first; i <= last; ++i)
                    bars_[i].Shown = middle + (static_cast<double>(i - first) -
                                               static_cast<double>(last - first) / 2) *
                                                  width;
            }
            first = last + 1;
        }
        if (!joined)
            break;
    }
}

TZeltChart::TZeltChart(QWidget* parent) : QCustomPlot(parent) {
    setCursor(Qt::CrossCursor);
    setBackground(Qt::white);
    axisRect()->setBackground(Qt::NoBrush);

    xAxis->setLabel(QStringLiteral("Wavelength (nm)"));
    yAxis->setLabel(QStringLiteral("Branching fraction"));
    yAxis->setRange(0, 1);
    yAxis->setTicker(QSharedPointer<TFractionTicker>::create(yAxis));
    yAxis->setNumberFormat(QStringLiteral("f"));
    yAxis->setNumberPrecision(1);

    measured_ = new TColouredBars(xAxis, yAxis);
    measured_->setName(QStringLiteral("measured"));
    marks_ = new TBarMarks(this);
    fitted_ = PointSeries(this, QStringLiteral("fitted"), ShapeOfSize(12, 8, true, Qt::blue));
    free_ =
        PointSeries(this, QStringLiteral("absorption-free"), ShapeOfSize(13, 2, false, Qt::black));

    PlaceLegendAbove(*this);

    // A replot makes the fraction labels before it lays out the plotting area: when the area's
    // height has changed (a resize, a higher mark strip), another replot labels the new height.
    connect(this, &QCustomPlot::afterLayout, this, [this] {
        if (axisRect()->height() != labelledHeight_) {
            labelledHeight_ = axisRect()->height();
            replot(QCustomPlot::rpQueuedReplot);
        }
    });
    connect(this, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        emit MouseAt(xAxis->pixelToCoord(event->position().x()),
                     yAxis->pixelToCoord(event->position().y()));
    });
}

void TZeltChart::ClearSeries() {
    SetMeasured({});
    SetFitted({}, {});
    SetFree({}, {});
}

void TZeltChart::SetMeasured(const QVector<TColouredBars::TBar>& bars) {
    measured_->SetBars(bars);
    MarkBars();
}

void TZeltChart::SetFitted(const QVector<double>& wavelengths, const QVector<double>& fractions) {
    fittedPoints_ = {wavelengths, fractions};
    fitted_->setData(wavelengths, fractions);
}

void TZeltChart::SetFree(const QVector<double>& wavelengths, const QVector<double>& fractions) {
    freePoints_ = {wavelengths, fractions};
    free_->setData(wavelengths, fractions);
}

void TZeltChart::FollowDodgedBars() {
    const QVector<TColouredBars::TBar>& bars = measured_->Bars();
    const auto shown = [&bars](double key) {
        const auto at =
            std::lower_bound(bars.begin(), bars.end(), key,
                             [](const TColouredBars::TBar& bar, double k) { return bar.Key < k; });
        return at != bars.end() && at->Key == key ? at->Shown : key;
    };
    for (const auto& [graph, points] :
         {std::pair(fitted_, &fittedPoints_), std::pair(free_, &freePoints_)}) {
        QVector<double> keys = points->Wavelengths;
        for (double& key : keys)
            key = shown(key);
        graph->setData(keys, points->Fractions);
    }
    MarkBars();
}

void TZeltChart::MarkBars() {
    QVector<TBarMarks::TMark> marks;
    marks.reserve(measured_->Bars().size());
    for (const TColouredBars::TBar& bar : measured_->Bars())
        marks.append({bar.Shown, QString::fromStdString(FloatToStr(bar.Key)), bar.Value});
    marks_->Set(std::move(marks));
}

void TZeltChart::ScaleWavelengthAxis() {
    const QVector<TColouredBars::TBar>& bars = measured_->Bars();
    bool found = false;
    QCPRange range = measured_->getKeyRange(found);
    for (QCPGraph* graph : {fitted_, free_}) {
        bool graphFound = false;
        const QCPRange keys = graph->getKeyRange(graphFound);
        if (graphFound)
            range = found ? QCPRange(std::min(range.lower, keys.lower),
                                     std::max(range.upper, keys.upper))
                          : keys;
        found = found || graphFound;
    }
    if (!found)
        return;
    // Room of half a bar spacing on each side, and some for a single line.
    double margin = bars.size() > 1 ? range.size() / static_cast<double>(bars.size() - 1) / 2 : 1.0;
    margin = std::max(margin, range.size() * 0.05);
    xAxis->setRange(range.lower - margin, range.upper + margin);
}

void TZeltChart::Redraw() {
    ScaleWavelengthAxis();
    // The bars' width is a share of the plotting area, so in wavelengths it follows the axis.
    measured_->Dodge(measured_->width() * xAxis->range().size());
    FollowDodgedBars();
    replot();
}

void TZeltChart::updateLayout() {
    axisRect()->setMinimumMargins(QMargins(0, marks_->StripHeight(), 0, 0));
    QCustomPlot::updateLayout();
}

bool TZeltChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QCustomPlot::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    if (!marks_->HintRect().contains(help->pos()))
        return QCustomPlot::event(event);
    // Ten to a line, and of thousands left out a screenful.
    constexpr qsizetype kNamed = 60;
    const QStringList texts = marks_->HiddenTexts();
    QString tip = QStringLiteral("Marks left out for want of room, of the weakest lines:");
    for (qsizetype i = 0; i < std::min(texts.size(), kNamed); ++i)
        tip += (i % 10 == 0 ? QStringLiteral("\n") : QStringLiteral(", ")) + texts[i];
    if (texts.size() > kNamed)
        tip += QStringLiteral(" and %1 more").arg(texts.size() - kNamed);
    QToolTip::showText(help->globalPos(), tip, this);
    return true;
}

} // namespace zelt
