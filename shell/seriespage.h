// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page "Series": the plot of a measurement series over its files, a line saying how far it
// got, and the files that were not fitted or were read only in part.

#include "app/series.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPlainTextEdit;

namespace zelt {

class TSeriesPlot;

class TSeriesPage : public QWidget {
    Q_OBJECT
public:
    explicit TSeriesPage(QWidget* parent = nullptr);

    TSeriesPlot* Plot() const { return plot_; }

    // The fitted entries over `axis` (the abscissae of every file of the series), `summary`
    // beneath the plot and the problems of the entries below it.
    void Show(const TSeriesAxis& axis, const std::vector<TSeriesEntry>& entries,
              const QString& summary);

private:
    TSeriesPlot* plot_;
    QLabel* summary_;
    QPlainTextEdit* problems_;
};

} // namespace zelt
