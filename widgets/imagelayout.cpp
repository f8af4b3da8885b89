// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/imagelayout.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>

#include <algorithm>

namespace zelt {

namespace {

// Room beyond the plotting area that automatic margins leave out: the first and last tick
// labels reach past the ends of their axis by half their width.
const QMargins kPrintMinimumMargins(6, 8, 16, 4);
// Tick labels of one axis stay this many font heights apart.
constexpr double kLabelGap = 0.25;
constexpr int kFewestTicks = 2;

QVector<QCPAxis*> AxesOf(const QCustomPlot& plot) {
    QVector<QCPAxis*> axes;
    for (QCPAxisRect* rect : plot.axisRects())
        axes += rect->axes();
    for (QCPLayoutElement* element : plot.plotLayout()->elements(true))
        if (auto* scale = qobject_cast<QCPColorScale*>(element))
            axes.append(scale->axis());
    return axes;
}

} // namespace

QVector<QCPAxis*> LabelledAxes(const QCustomPlot& plot) {
    QVector<QCPAxis*> axes = AxesOf(plot);
    axes.erase(std::remove_if(axes.begin(), axes.end(),
                              [](const QCPAxis* axis) {
                                  return !axis->visible() || !axis->tickLabels() ||
                                         !axis->axisRect()->visible();
                              }),
               axes.end());
    return axes;
}

bool TickLabelsApart(const QCPAxis& axis) {
    const QFontMetricsF metrics(axis.tickLabelFont());
    const bool horizontal = axis.orientation() == Qt::Horizontal;
    const QVector<double> ticks = axis.tickVector();
    const QVector<QString> labels = axis.tickVectorLabels();
    // Each shown label's extent along the axis, in pixels.
    QVector<std::pair<double, double>> extents;
    for (int i = 0; i < ticks.size() && i < labels.size(); ++i) {
        if (!axis.range().contains(ticks[i]) || labels[i].isEmpty())
            continue;
        const double half =
            (horizontal ? metrics.horizontalAdvance(labels[i]) : metrics.height()) / 2;
        const double at = axis.coordToPixel(ticks[i]);
        extents.append({at - half, at + half});
    }
    std::sort(extents.begin(), extents.end());
    const double gap = kLabelGap * metrics.height();
    for (int i = 1; i < extents.size(); ++i)
        if (extents[i].first - extents[i - 1].second < gap)
            return false;
    return true;
}

TImageLayout::TImageLayout(QCustomPlot& plot, QSize size, bool print) : plot_(plot), size_(size) {
    if (!print)
        return;
    for (QCPLayoutElement* element : plot.plotLayout()->elements(true)) {
        const bool scale = qobject_cast<QCPColorScale*>(element) != nullptr;
        if (qobject_cast<QCPAxisRect*>(element) == nullptr && !scale)
            continue;
        elements_.append(
            {element, element->autoMargins(), element->margins(), element->minimumMargins()});
        // A colour scale's bar lies between its own margins, below it its labels.
        if (scale) {
            const QMargins margins = element->margins();
            element->setMargins(QMargins(margins.left(), kPrintMinimumMargins.top(),
                                         margins.right(), kPrintMinimumMargins.bottom()));
            continue;
        }
        element->setAutoMargins(QCP::msAll);
        const QMargins least = element->minimumMargins();
        element->setMinimumMargins(
            QMargins(std::max(least.left(), kPrintMinimumMargins.left()),
                     std::max(least.top(), kPrintMinimumMargins.top()),
                     std::max(least.right(), kPrintMinimumMargins.right()),
                     std::max(least.bottom(), kPrintMinimumMargins.bottom())));
    }
    // A legend's keys twice as wide as its text is high (their height keeps room for the text's
    // underscores); a legend wider than the image takes as many rows as it needs.
    for (QCPLayoutElement* element : plot.plotLayout()->elements(true))
        if (auto* legend = qobject_cast<QCPLegend*>(element)) {
            legends_.append(
                {legend, legend->wrap(), legend->iconSize(), legend->iconTextPadding()});
            const int text = QFontMetrics(legend->font()).height();
            legend->setIconSize(std::min(legend->iconSize().width(), 2 * text),
                                legend->iconSize().height());
            legend->setIconTextPadding(std::min(legend->iconTextPadding(), text / 3));
            for (int wrap = legend->elementCount();
                 wrap > 1 && legend->minimumOuterSizeHint().width() > size.width(); --wrap) {
                legend->setWrap(wrap - 1);
                legend->setFillOrder(legend->fillOrder(), true); // the entries anew
            }
        }
    // Fewer ticks on every axis whose labels touch, one at a time, laid out again each time.
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    for (bool thinned = true; thinned;) {
        QCPPainter painter(&scratch);
        Draw(painter);
        thinned = false;
        for (QCPAxis* axis : LabelledAxes(plot)) {
            QCPAxisTicker* ticker = axis->ticker().data();
            if (TickLabelsApart(*axis) || ticker->tickCount() <= kFewestTicks)
                continue;
            tickCounts_.insert(ticker, tickCounts_.value(ticker, ticker->tickCount()));
            ticker->setTickCount(ticker->tickCount() - 1);
            thinned = true;
        }
    }
}

TImageLayout::~TImageLayout() {
    for (const TElement& saved : elements_) {
        saved.Element->setAutoMargins(saved.AutoMargins);
        saved.Element->setMargins(saved.Margins);
        saved.Element->setMinimumMargins(saved.MinimumMargins);
    }
    for (const TLegend& saved : legends_) {
        saved.Legend->setWrap(saved.Wrap);
        saved.Legend->setIconSize(saved.IconSize);
        saved.Legend->setIconTextPadding(saved.IconTextPadding);
        saved.Legend->setFillOrder(saved.Legend->fillOrder(), true);
    }
    for (auto it = tickCounts_.begin(); it != tickCounts_.end(); ++it)
        it.key()->setTickCount(it.value());
    // The widget's own layout comes back with its next replot.
    plot_.replot(QCustomPlot::rpQueuedReplot);
}

void TImageLayout::Draw(QCPPainter& painter) {
    plot_.toPainter(&painter, size_.width(), size_.height());
}

} // namespace zelt
