// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fit mode "free lower levels" in the window: its check box in the "Fit" group, and the
// table of the levels of the last free fit, each level's density with its standard uncertainty
// (or "not determined"), its ratio to n_1 and the temperature that ratio would mean under
// Boltzmann balance; beneath it the Boltzmann plot of the levels with the line of the Boltzmann
// fit, and the comparison of the two fits.

#include "app/application.h"

#include <QObject>

class QCheckBox;
class QLabel;
class QTableWidget;
class QWidget;

namespace zelt {

class TBoltzmannChart;

class TFreeLevelsView : public QObject {
    Q_OBJECT
public:
    explicit TFreeLevelsView(QObject* parent = nullptr);

    QCheckBox* CheckBox() const { return checkBox_; }
    // The page of the levels, with the table and the comparison.
    QWidget* Page() const { return page_; }
    TBoltzmannChart* Plot() const { return plot_; }
    bool On() const;

    // The levels of a free fit, and the line of the F-test.
    void Show(const TFreeLevelsOutcome& fit, const QString& comparison);

private:
    QCheckBox* checkBox_;
    QWidget* page_;
    QTableWidget* table_;
    TBoltzmannChart* plot_;
    QLabel* comparison_;
};

} // namespace zelt
