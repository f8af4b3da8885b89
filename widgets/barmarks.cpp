// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/barmarks.h"

#include <algorithm>
#include <vector>

namespace zelt {

namespace {

// Pixels: free space between neighbouring marks, the height of the joining line (a short
// upright piece at each end, a slanted one between) and the space above the longest text.
constexpr double kGap = 2;
constexpr double kLeaderHeight = 18;
constexpr double kStub = 3;
constexpr double kPadding = 3;

} // namespace

TBarMarks::TBarMarks(QCustomPlot* plot) : QCPLayerable(plot) {}

void TBarMarks::Set(QVector<TMark> marks) {
    marks_ = std::move(marks);
    textRects_.clear();
}

int TBarMarks::StripHeight() const {
    if (marks_.isEmpty())
        return 0;
    const QFontMetricsF metrics(parentPlot()->font());
    double longest = 0;
    for (const TMark& mark : marks_)
        longest = std::max(longest, metrics.horizontalAdvance(mark.Text));
    return static_cast<int>(std::ceil(kLeaderHeight + 1 + longest + kPadding));
}

// Centres at least one text height plus the gap apart, each as near its wanted place as the
// others allow: marks that would overlap move as one group, centred on their wanted places,
// and every group stays between `left` and `right`. When the strip is too narrow for all,
// they share it evenly.
QVector<double> TBarMarks::Spread(const QVector<double>& wanted, double left, double right) const {
    const int n = static_cast<int>(wanted.size());
    const double thickness = QFontMetricsF(parentPlot()->font()).height();
    double pitch = thickness + kGap;
    if (n > 1)
        pitch = std::clamp((right - left - thickness) / (n - 1), 0.0, pitch);
    const double low = left + thickness / 2, high = right - thickness / 2;
    struct TGroup {
        int First, Count;
        double Sum; // of wanted[j] - k * pitch over the members, k the place in the group
        double Start = 0;
    };
    std::vector<TGroup> groups;
    for (int i = 0; i < n; ++i) {
        groups.push_back(TGroup{i, 1, wanted[i]});
        for (;;) {
            TGroup& group = groups.back();
            group.Start = std::clamp(group.Sum / group.Count, low,
                                     std::max(low, high - (group.Count - 1) * pitch));
            if (groups.size() < 2)
                break;
            const TGroup& before = groups[groups.size() - 2];
            if (before.Start + before.Count * pitch <= group.Start + 1e-9)
                break;
            const TGroup merged{before.First, before.Count + group.Count,
                                before.Sum + group.Sum - group.Count * before.Count * pitch};
            groups.pop_back();
            groups.back() = merged;
        }
    }
    QVector<double> centres(n);
    for (const TGroup& group : groups)
        for (int k = 0; k < group.Count; ++k)
            centres[group.First + k] = group.Start + k * pitch;
    return centres;
}

void TBarMarks::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, true, QCP::aeItems);
}

QRect TBarMarks::clipRect() const {
    return parentPlot()->viewport();
}

void TBarMarks::draw(QCPPainter* painter) {
    textRects_.clear();
    if (marks_.isEmpty())
        return;
    const QCPAxis* axis = parentPlot()->xAxis;
    const QRect area = parentPlot()->axisRect()->rect();
    const QRect plot = parentPlot()->viewport();
    QVector<double> bars;
    for (const TMark& mark : marks_)
        bars.append(axis->coordToPixel(mark.Key));
    const QVector<double> centres = Spread(bars, plot.left() + kGap, plot.right() - kGap);

    const QFont font = parentPlot()->font();
    const QFontMetricsF metrics(font);
    const double top = area.top();
    const double foot = top - kLeaderHeight - 1; // where each text begins
    painter->setFont(font);
    for (int i = 0; i < marks_.size(); ++i) {
        const double bar = bars[i], centre = centres[i];
        painter->setPen(QPen(QColor(110, 110, 110), 0));
        painter->drawLine(QPointF(bar, top), QPointF(bar, top - kStub));
        painter->drawLine(QPointF(bar, top - kStub), QPointF(centre, top - kLeaderHeight + kStub));
        painter->drawLine(QPointF(centre, top - kLeaderHeight + kStub),
                          QPointF(centre, top - kLeaderHeight));

        const double length = metrics.horizontalAdvance(marks_[i].Text);
        const double thickness = metrics.height();
        painter->save();
        painter->setPen(Qt::black);
        painter->translate(centre, foot);
        painter->rotate(-90);
        painter->drawText(QRectF(0, -thickness / 2, length, thickness),
                          Qt::AlignLeft | Qt::AlignVCenter, marks_[i].Text);
        painter->restore();
        textRects_.append(QRectF(centre - thickness / 2, foot - length, thickness, length));
    }
}

} // namespace zelt
