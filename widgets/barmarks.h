// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wavelength marks of the chart's bars. Each value is written upright, reading upwards, in
// a strip above the plotting area and joined by a thin line to its bar's place on the area's
// top edge. Marks that would touch are spread sideways as little as possible (a crowded group
// is centred on its bars), so no mark covers another or a bar, however close the lines lie.
// Where the strip is too narrow for all marks in one row of the plot's type, they are set in
// smaller type down to a readable minimum, then in two staggered rows (the joining lines of the
// upper row pass between the texts of the lower one), and only then are the marks of the
// weakest lines left out, a hint in the strip saying how many. The strip takes at most 40 % of
// the plot's height where it can: else the marks are set in fewer rows or smaller type.

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TBarMarks : public QCPLayerable {
    Q_OBJECT
public:
    struct TMark {
        double Key;
        QString Text;
        double Weight = 0; // the line's strength: where not all marks fit, the strongest stay
    };

    explicit TBarMarks(QCustomPlot* plot);

    // Replaces the marks by these, given in ascending order of their keys.
    void Set(QVector<TMark> marks);
    // The height of the strip the marks need above the plotting area at the plot's present
    // size, 0 without marks.
    int StripHeight() const;
    // Where the texts of the shown marks stood in the last drawing, in ascending order of
    // their keys.
    const QVector<QRectF>& TextRects() const { return textRects_; }
    // The number of marks left out in the last drawing, the hint saying so and where it stood.
    int HiddenCount() const { return static_cast<int>(hidden_.size()); }
    const QString& Hint() const { return hint_; }
    const QRectF& HintRect() const { return hintRect_; }
    // The texts of the marks left out, in ascending order of their keys.
    QStringList HiddenTexts() const;

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;
    QRect clipRect() const override;

private:
    // How the marks are set in a strip of at most a given width and height.
    struct TLayout {
        QSizeF Room{-1, -1};
        QFont PlotFont; // the plot's type, of which Font is a size
        QFont Font;
        int Rows = 1;
        double Ink = 0;      // the texts' thickness across, from the tops of the glyphs...
        double Ascent = 0;   // ...of which this much lies above the base line
        double Pitch = 0;    // the least distance between neighbouring marks' centres
        double Longest = 0;  // the longest shown text
        QVector<bool> Shown; // per mark
        int Height = 0;      // of the strip
    };

    // The layout for the plot's present size, made anew only when it or the marks change.
    const TLayout& Layout() const;
    TLayout MakeLayout(QSizeF room) const;

    QVector<TMark> marks_;
    QString characters_; // every character of the marks' texts, once
    // StripHeight and draw both ask for the layout; it is kept to measure the texts once.
    mutable TLayout layout_;
    QVector<QRectF> textRects_;
    QVector<int> hidden_;
    QString hint_;
    QRectF hintRect_;
};

} // namespace zelt
