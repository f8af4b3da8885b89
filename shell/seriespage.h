// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page "Series": the plot of a measurement series over its files, a line saying how far it
// got, and the files that were not fitted or were read only in part. A right click on a file's
// points offers to exclude the file from the series or take it back. Where the names of the
// files mix quantities (kW and mbar), a choice beneath the plot shows one at a time.

#include "app/series.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace zelt {

class TSeriesPlot;

class TSeriesPage : public QWidget {
    Q_OBJECT
public:
    explicit TSeriesPage(QWidget* parent = nullptr);

    TSeriesPlot* Plot() const { return plot_; }

    // The fitted entries over `axis` (the abscissae of every file of the series), those of the
    // quantity chosen where there are several, `summary` beneath the plot and the problems of
    // all entries below it.
    void Show(const TSeriesAxis& axis, const std::vector<TSeriesEntry>& entries,
              const QString& summary);
    // "Exclude this file" or "Include this file again" for the file whose points were right-
    // clicked last, and "Include every file again" while files are excluded.
    void AddEntryActions(QMenu& menu);

signals:
    // The user asked to leave entry `index` of the series shown out of it, or to take it back.
    void ExclusionRequested(std::size_t index, bool excluded);

private:
    // The plot of the entries of the chosen quantity.
    void ShowQuantity();

    TSeriesPlot* plot_;
    QComboBox* quantity_;
    TSeriesAxis axis_;
    QLabel* summary_;
    QPlainTextEdit* problems_;
    std::vector<TSeriesEntry> entries_; // those shown
    int clicked_ = -1;                  // the entry right-clicked last, or -1
};

} // namespace zelt
