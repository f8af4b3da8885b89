// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wavelength marks of the chart's bars. Each value is written upright, reading upwards, in
// a strip above the plotting area and joined by a thin line to its bar's place on the area's
// top edge. Marks that would touch are spread sideways as little as possible (a crowded group
// is centred on its bars), so no mark covers another or a bar, however close the lines lie.

#include <QFont>
#include <QRectF>
#include <QString>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TBarMarks : public QCPLayerable {
    Q_OBJECT
public:
    struct TMark {
        double Key;
        QString Text;
    };

    explicit TBarMarks(QCustomPlot* plot);

    // Replaces the marks by these, given in ascending order of their keys.
    void Set(QVector<TMark> marks);
    // The height of the strip the marks need above the plotting area, 0 without marks.
    int StripHeight() const;
    // Where the texts stood in the last drawing, in ascending order of their keys.
    const QVector<QRectF>& TextRects() const { return textRects_; }

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;
    QRect clipRect() const override;

private:
    QVector<double> Spread(const QVector<double>& wanted, double left, double right) const;

    QFont font_;
    QVector<TMark> marks_;
    QVector<QRectF> textRects_;
};

} // namespace zelt
