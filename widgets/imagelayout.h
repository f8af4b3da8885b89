// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A plot laid out for a saved image, and put back as it was afterwards.
//
// An image for paper (a journal column of 85 or 170 mm) is laid out at the size it would have
// on a 96 dpi screen, so that its fonts, markers and lines keep their screen size in points
// (11 px = 8.25 pt) whatever the resolution. At that size the screen's fixed margins would eat
// a fifth of a column and its tick counts would crowd the labels, so for paper the margins
// follow the labels, a legend wider than the image wraps into rows and each axis drops ticks
// until no two labels touch (the map moves its caption above the plotting area itself). A
// legend's keys narrow to twice its text's height, which fits more entries in one row.

#include <QHash>
#include <QMargins>
#include <QSize>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TImageLayout {
public:
    // Lays `plot` out at `size` (pixels as on a 96 dpi screen), for paper when `print`.
    TImageLayout(QCustomPlot& plot, QSize size, bool print);
    ~TImageLayout();
    TImageLayout(const TImageLayout&) = delete;
    TImageLayout& operator=(const TImageLayout&) = delete;

    // Draws the plot at the layout's size.
    void Draw(QCPPainter& painter);

private:
    struct TElement {
        QCPLayoutElement* Element;
        QCP::MarginSides AutoMargins;
        QMargins Margins, MinimumMargins;
    };

    QCustomPlot& plot_;
    QSize size_;
    QVector<TElement> elements_;
    struct TLegend {
        QCPLegend* Legend;
        int Wrap;
        QSize IconSize;
        int IconTextPadding;
    };

    QVector<TLegend> legends_;
    QHash<QCPAxisTicker*, int> tickCounts_;
};

// Every axis of `plot` that shows tick labels: those of its axis rectangles and colour scales.
QVector<QCPAxis*> LabelledAxes(const QCustomPlot& plot);

// Whether the tick labels of `axis`, as last laid out, lie apart along it: a gap of at least a
// quarter of the font's height between neighbours.
bool TickLabelsApart(const QCPAxis& axis);

} // namespace zelt
