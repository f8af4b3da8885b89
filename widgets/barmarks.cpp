// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/barmarks.h"

#include <QFontInfo>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace zelt {

namespace {

// Pixels: free space between neighbouring texts of a row, between a text and a joining line
// passing it (centre of the line to the ink), between the rows and the hint, the height of
// the joining line below the texts (a short upright piece at each end, a slanted one between)
// and the space above the texts.
constexpr double kGap = 4;
constexpr double kPassing = 2;
constexpr double kRowGap = 4;
constexpr double kLeaderHeight = 18;
constexpr double kStub = 3;
constexpr double kPadding = 3;
// The smallest type, in pixels, the marks are set in: about 7 pt on a 96 dpi screen.
constexpr int kMinPixels = 9;
// The most of the plot's height the strip takes.
constexpr double kMostOfHeight = 0.4;

// Centres at least `pitch` apart, each as near its wanted place as the others allow: marks
// that would overlap move as one group, centred on their wanted places, and every group keeps
// its texts (`thickness` across) between `left` and `right`. When the strip is too narrow for
// all, they share it evenly.
QVector<double> Spread(const QVector<double>& wanted, double left, double right, double pitch,
                       double thickness) {
    const int n = static_cast<int>(wanted.size());
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

} // namespace

TBarMarks::TBarMarks(QCustomPlot* plot) : QCPLayerable(plot) {}

void TBarMarks::Set(QVector<TMark> marks) {
    marks_ = std::move(marks);
    characters_.clear();
    for (const TMark& mark : marks_)
        for (QChar c : mark.Text)
            if (!characters_.contains(c))
                characters_.append(c);
    layout_ = TLayout();
    textRects_.clear();
    hidden_.clear();
    hint_.clear();
    hintRect_ = QRectF();
}

int TBarMarks::StripHeight() const {
    return Layout().Height;
}

QStringList TBarMarks::HiddenTexts() const {
    QStringList texts;
    for (int i : hidden_)
        texts.append(marks_[i].Text);
    return texts;
}

const TBarMarks::TLayout& TBarMarks::Layout() const {
    const QRect plot = parentPlot()->viewport();
    const QSizeF room(plot.width() - 2 * kGap, plot.height() * kMostOfHeight);
    if (layout_.Room != room || layout_.PlotFont != parentPlot()->font())
        layout_ = MakeLayout(room);
    return layout_;
}

// The first that fits of: one row in the plot's type, one row in smaller type, two rows in
// the plot's or smaller type; else two rows (one if two are too high) of the smallest type, of
// the strongest lines.
TBarMarks::TLayout TBarMarks::MakeLayout(QSizeF room) const {
    TLayout layout;
    layout.Room = room;
    layout.PlotFont = parentPlot()->font();
    const qsizetype n = marks_.size();
    if (n == 0)
        return layout;
    const int largest = QFontInfo(layout.PlotFont).pixelSize();
    const int smallest = std::min(kMinPixels, largest);
    const auto measure = [&](int rows, int pixels) {
        layout.Rows = rows;
        layout.Font = layout.PlotFont;
        layout.Font.setPixelSize(pixels);
        const QRectF ink = QFontMetricsF(layout.Font).tightBoundingRect(characters_);
        layout.Ink = ink.height();
        layout.Ascent = -ink.top();
        layout.Pitch = rows == 1 ? layout.Ink + kGap
                                 : std::max((layout.Ink + kGap) / 2, layout.Ink / 2 + kPassing);
    };
    const auto fits = [&](qsizetype count) {
        return static_cast<double>(count - 1) * layout.Pitch + layout.Ink <= room.width();
    };
    // The strip's height for the shown marks, with a line for the hint or without.
    const auto height = [&](bool hint) {
        const QFontMetricsF metrics(layout.Font);
        layout.Longest = 0;
        for (qsizetype i = 0; i < n; ++i)
            if (layout.Shown[i])
                layout.Longest =
                    std::max(layout.Longest, metrics.horizontalAdvance(marks_[i].Text));
        layout.Height = static_cast<int>(
            std::ceil(kLeaderHeight + 1 + layout.Rows * (layout.Longest + kRowGap) - kRowGap +
                      kPadding + (hint ? metrics.height() + kRowGap : 0)));
        return layout.Height;
    };
    layout.Shown = QVector<bool>(n, true);
    for (int rows = 1; rows <= 2; ++rows)
        for (int pixels = largest; pixels >= smallest; --pixels) {
            measure(rows, pixels);
            if (fits(n) && height(false) <= room.height())
                return layout;
        }
    if (height(true) > room.height())
        measure(1, smallest);
    qsizetype shown = 0;
    while (shown < n && fits(shown + 1))
        ++shown;
    // A line of no known strength counts as the weakest.
    const auto strength = [this](int i) {
        return std::isnan(marks_[i].Weight) ? -std::numeric_limits<double>::infinity()
                                            : marks_[i].Weight;
    };
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&strength](int a, int b) { return strength(a) > strength(b); });
    for (qsizetype k = shown; k < n; ++k)
        layout.Shown[order[k]] = false;
    height(true);
    return layout;
}

void TBarMarks::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, true, QCP::aeItems);
}

QRect TBarMarks::clipRect() const {
    return parentPlot()->viewport();
}

void TBarMarks::draw(QCPPainter* painter) {
    textRects_.clear();
    hidden_.clear();
    hint_.clear();
    hintRect_ = QRectF();
    if (marks_.isEmpty())
        return;
    const TLayout& layout = Layout();
    const QCPAxis* axis = parentPlot()->xAxis;
    const QRect area = parentPlot()->axisRect()->rect();
    const QRectF plot = parentPlot()->viewport();
    QVector<int> shown;
    QVector<double> bars;
    for (int i = 0; i < marks_.size(); ++i) {
        if (layout.Shown[i]) {
            shown.append(i);
            bars.append(axis->coordToPixel(marks_[i].Key));
        } else {
            hidden_.append(i);
        }
    }
    const QVector<double> centres =
        Spread(bars, plot.left() + kGap, plot.right() - kGap, layout.Pitch, layout.Ink);

    const QFontMetricsF metrics(layout.Font);
    const double top = area.top();
    const double foot = top - kLeaderHeight - 1; // where the texts of the lower row begin
    const QPen leaderPen(QColor(110, 110, 110), 0);
    painter->setFont(layout.Font);
    painter->setPen(leaderPen);
    // The bars of left-out marks keep the lower piece of their joining line.
    for (int i : hidden_) {
        const double bar = axis->coordToPixel(marks_[i].Key);
        painter->drawLine(QPointF(bar, top), QPointF(bar, top - kStub));
    }
    // A mark goes into the lower row where it keeps a row's distance from the last one there;
    // else into the upper one, where it then always does, its neighbours being a pitch apart.
    double lastLower = -std::numeric_limits<double>::infinity();
    for (int k = 0; k < shown.size(); ++k) {
        const double bar = bars[k], centre = centres[k];
        const bool lower = layout.Rows == 1 || centre - lastLower >= layout.Ink + kGap - 1e-6;
        if (lower)
            lastLower = centre;
        const double start = lower ? foot : foot - layout.Longest - kRowGap;
        painter->setPen(leaderPen);
        painter->drawLine(QPointF(bar, top), QPointF(bar, top - kStub));
        painter->drawLine(QPointF(bar, top - kStub), QPointF(centre, top - kLeaderHeight + kStub));
        painter->drawLine(QPointF(centre, top - kLeaderHeight + kStub), QPointF(centre, start));

        const QString& text = marks_[shown[k]].Text;
        const double length = metrics.horizontalAdvance(text);
        painter->save();
        painter->setPen(Qt::black);
        // Upright, the glyphs' tops face left: the base line lies right of the ink's middle.
        painter->translate(centre - layout.Ink / 2 + layout.Ascent, start);
        painter->rotate(-90);
        painter->drawText(QPointF(0, 0), text);
        painter->restore();
        textRects_.append(QRectF(centre - layout.Ink / 2, start - length, layout.Ink, length));
    }
    if (!hidden_.isEmpty()) {
        hint_ = hidden_.size() == 1 ? QStringLiteral("1 mark hidden")
                                    : QStringLiteral("%1 marks hidden").arg(hidden_.size());
        const double bottom = foot - layout.Rows * (layout.Longest + kRowGap);
        hintRect_ = QRectF(plot.left() + kGap, bottom - metrics.height(),
                           metrics.horizontalAdvance(hint_), metrics.height());
        painter->setPen(QColor(90, 90, 90));
        painter->drawText(hintRect_, Qt::AlignLeft | Qt::AlignVCenter, hint_);
    }
}

} // namespace zelt
