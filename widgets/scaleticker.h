// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ticks and labels of a logarithmic axis: the colour scale's and the series' density axis. On
// a logarithmic axis the ticks stand at 1, 2 and 5 times the powers of ten, or at the powers
// alone (every n-th one when there are many), whichever gives the most ticks up to about the
// ticker's tick count; a range too narrow for two of them gets evenly spaced ticks. Labels take
// the shortest form of their value: "2E-4" and "1.5E-3" on a logarithmic axis, "0.25" and "-1"
// on a linear one; or, with power labels, the axis's own number format ("2·10^16").

#include <qcustomplot.h>

namespace zelt {

class TScaleTicker : public QCPAxisTicker {
public:
    void SetLogarithmic(bool logarithmic) { logarithmic_ = logarithmic; }
    void SetPowerLabels(bool on) { powerLabels_ = on; }

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override;

private:
    bool logarithmic_ = false;
    bool powerLabels_ = false;
};

} // namespace zelt
