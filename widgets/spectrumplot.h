// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot of a raw spectrum for its import: the counts over wavelength, each database line
// marked, its integration window shaded in the colour of what became of the line, the pixels of
// its background lighter beside it, and the straight background drawn across the window. A line
// list is drawn as sticks of its intensities at the database wavelengths. The lines' wavelengths
// stand upright at the top, those that would cover another's left out until the axis is zoomed.
// Lines of other species fitted in the windows are marked in their own colour. Beneath, a
// narrow plot shows the offsets of the wavelength scale measured on the lines' peaks and the
// calibration fitted to them. The mouse wheel zooms the wavelength axis (with Ctrl pressed the
// counts axis), dragging moves them, a double click shows the whole spectrum again; the counts
// axis may be logarithmic.

#include <QColor>
#include <QString>
#include <QVector>

#include <qcustomplot.h>

namespace zelt {

class TSpectrumPlot : public QCustomPlot {
    Q_OBJECT
public:
    // What became of a line, as the plot colours it.
    enum class TMarkKind { Integrated, Shared, Blend, Saturated, LeftOut, OtherSpecies };

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
    // The scale's offsets (nm) measured at `wavelengths`, those `used` by the calibration filled,
    // and the calibration's curve; empty vectors hide the plot.
    void ShowScale(const QVector<double>& wavelengths, const QVector<double>& offsets,
                   const QVector<bool>& used, const QVector<double>& curveWavelengths,
                   const QVector<double>& curveOffsets);
    // The counts axis logarithmic (from one count up) or linear.
    void SetLogCounts(bool on);
    bool LogCounts() const { return logCounts_; }
    // A line list: a stick of `intensities[i]` at `wavelengths[i]`, labelled.
    void ShowSticks(const QVector<double>& wavelengths, const QVector<double>& intensities,
                    const QStringList& labels);
    void Clear();

    QCPGraph* Counts() const { return counts_; }
    QCPGraph* ScaleOffsets() const { return offsets_; }
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

    void FitCounts();
    void ShowScaleRect(bool on);

    QCPGraph* counts_;
    QCPAxisRect* scaleRect_;
    QCPGraph* offsets_;
    QCPGraph* unused_;
    QCPGraph* calibration_;
    bool logCounts_ = false;
    QVector<QCPItemText*> labels_; // in ascending wavelength
    QCPRange wavelengths_;
    int marks_ = 0;
};

} // namespace zelt
