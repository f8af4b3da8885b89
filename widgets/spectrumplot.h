// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot of a raw spectrum for its import: the counts over wavelength, each database line
// marked, its integration window shaded in the colour of what became of the line, the pixels of
// its background lighter beside it, and the straight background drawn across the window. A line
// list is drawn as sticks of its intensities at the database wavelengths. The lines' wavelengths
// stand upright at the top, those that would cover another's left out until the axis is zoomed.
// The mouse wheel zooms the wavelength axis, dragging moves it, a double click shows the whole
// spectrum again.

#include <QColor>
#include <QString>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TSpectrumPlot : public QCustomPlot {
    Q_OBJECT
public:
    // What became of a line, as the plot colours it.
    enum class TMarkKind { Integrated, Shared, Blend, Saturated, LeftOut };

    struct TMark {
        double Centre = 0;        // nm
        double Low = 0, High = 0; // nm: the window, none when both are 0
        double BandBelowLow = 0, BandBelowHigh = 0, BandAboveLow = 0, BandAboveHigh = 0; // nm
        double BackgroundLow = 0, BackgroundHigh = 0; // counts at Low and High
        TMarkKind Kind = TMarkKind::LeftOut;
        QString Label;
    };

    explicit TSpectrumPlot(QWidget* parent = nullptr);

    static QColor KindColour(TMarkKind kind);

    // The spectrum with its marks.
    void ShowSpectrum(const QVector<double>& wavelengths, const QVector<double>& counts,
                      const QVector<TMark>& marks);
    // A line list: a stick of `intensities[i]` at `wavelengths[i]`, labelled.
    void ShowSticks(const QVector<double>& wavelengths, const QVector<double>& intensities,
                    const QStringList& labels);
    void Clear();

    QCPGraph* Counts() const { return counts_; }
    int MarkCount() const { return marks_; }

signals:
    // The axis values under the mouse: wavelength (nm) and counts.
    void MouseAt(double wavelength, double counts);

private:
    void Reset();
    void AddMark(const TMark& mark, double top);
    void AddLabel(double x, const QString& text, const QColor& colour);
    void SpreadLabels();
    void ShowAll();

    QCPGraph* counts_;
    QVector<QCPItemText*> labels_; // in ascending wavelength
    QCPRange wavelengths_;
    int marks_ = 0;
};

} // namespace zelt
