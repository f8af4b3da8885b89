// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/scaleticker.h"

#include "common/format.h"

#include <cmath>
#include <initializer_list>
#include <string>

namespace zelt {

namespace {

// The values m * 10^e in the range, for each m of `mantissas` and every power of ten whose
// exponent is a multiple of `every`.
QVector<double> LogTicks(const QCPRange& range, std::initializer_list<double> mantissas,
                         int every = 1) {
    QVector<double> ticks;
    const int first = static_cast<int>(std::floor(std::log10(range.lower)));
    const int last = static_cast<int>(std::ceil(std::log10(range.upper)));
    for (int e = first; e <= last; ++e) {
        if (e % every != 0)
            continue;
        for (double m : mantissas) {
            const double tick = m * std::pow(10.0, e);
            if (tick >= range.lower * (1 - 1e-9) && tick <= range.upper * (1 + 1e-9))
                ticks.append(tick);
        }
    }
    return ticks;
}

} // namespace

QVector<double> TScaleTicker::createTickVector(double tickStep, const QCPRange& range) {
    if (!logarithmic_ || !(range.lower > 0))
        return QCPAxisTicker::createTickVector(tickStep, range);
    const int most = tickCount() + 2;
    const QVector<double> dense = LogTicks(range, {1, 2, 5});
    if (dense.size() >= 2 && dense.size() <= most)
        return dense;
    const QVector<double> powers = LogTicks(range, {1});
    if (powers.size() > most)
        return LogTicks(range, {1}, (static_cast<int>(powers.size()) + most - 1) / most);
    if (powers.size() >= 2)
        return powers;
    // Less than a decade: evenly spaced ticks read best.
    return QCPAxisTicker::createTickVector(tickStep, range);
}

int TScaleTicker::getSubTickCount(double tickStep) {
    return logarithmic_ ? 0 : QCPAxisTicker::getSubTickCount(tickStep);
}

QString TScaleTicker::getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                                   int precision) {
    if (powerLabels_)
        return QCPAxisTicker::getTickLabel(tick, locale, formatChar, precision);
    if (!logarithmic_ || tick <= 0)
        return QString::fromStdString(FloatToStr(tick));
    // Mantissa with at most three decimals, trailing zeros dropped, then "E" and the exponent;
    // written by the program's own format, whatever the locale's decimal separator.
    std::string mantissa = Format("%.3e", {tick});
    const std::size_t e = mantissa.find('E');
    const int exponent = std::stoi(mantissa.substr(e + 1));
    mantissa.erase(e);
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    if (mantissa.back() == '.')
        mantissa.pop_back();
    return QString::fromStdString(mantissa + "E" + std::to_string(exponent));
}

} // namespace zelt
