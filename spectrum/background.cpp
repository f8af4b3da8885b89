// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/background.h"

#include <algorithm>
#include <cmath>

namespace zelt {

std::size_t FirstAtOrAbove(const std::vector<double>& values, double x) {
    return static_cast<std::size_t>(std::lower_bound(values.begin(), values.end(), x) -
                                    values.begin());
}

TBand CollectBand(const TRawSpectrum& s, double edge, int direction, std::size_t wanted,
                  double reach, const std::vector<double>& others, double halfWindow,
                  const std::vector<bool>& masked) {
    TBand band;
    const auto n = static_cast<std::ptrdiff_t>(s.Pixels());
    std::ptrdiff_t i = static_cast<std::ptrdiff_t>(FirstAtOrAbove(s.Wavelengths, edge));
    if (direction < 0)
        --i;
    else if (i < n && s.Wavelengths[static_cast<std::size_t>(i)] == edge)
        ++i;
    for (; band.Pixels.size() < wanted; i += direction) {
        if (i < 0 || i >= n) {
            band.AtEnd = true;
            break;
        }
        const double wavelength = s.Wavelengths[static_cast<std::size_t>(i)];
        if (std::abs(wavelength - edge) > reach)
            break;
        const std::size_t next = FirstAtOrAbove(others, wavelength);
        const bool taken = (next < others.size() && others[next] - wavelength < halfWindow) ||
                           (next > 0 && wavelength - others[next - 1] < halfWindow);
        if (!taken && (masked.empty() || !masked[static_cast<std::size_t>(i)]))
            band.Pixels.push_back(static_cast<std::size_t>(i));
    }
    return band;
}

TBackground FitBackground(const TRawSpectrum& s, const std::vector<std::size_t>& pixels) {
    TBackground fit;
    fit.Points = pixels.size();
    const auto m = static_cast<double>(pixels.size());
    for (const std::size_t i : pixels) {
        fit.Mean += s.Wavelengths[i] / m;
        fit.A += s.Counts[i] / m;
    }
    double sxy = 0;
    for (const std::size_t i : pixels) {
        const double x = s.Wavelengths[i] - fit.Mean;
        fit.Sxx += x * x;
        sxy += x * (s.Counts[i] - fit.A);
    }
    fit.B = sxy / fit.Sxx;
    double squares = 0;
    for (const std::size_t i : pixels) {
        const double r = s.Counts[i] - fit.At(s.Wavelengths[i]);
        squares += r * r;
    }
    fit.Variance = squares / (m - 2);
    return fit;
}

double BackgroundVariance(const TRawSpectrum& s, std::size_t first, std::size_t last,
                          const TBackground& bg) {
    double x = 0;
    for (std::size_t i = first; i <= last; ++i)
        x += s.Wavelengths[i] - bg.Mean;
    const auto n = static_cast<double>(last - first + 1);
    return bg.Variance * (n * n / static_cast<double>(bg.Points) + x * x / bg.Sxx);
}

TSum SumWindow(const TRawSpectrum& s, std::size_t first, std::size_t last, const TBackground& bg,
               double gain) {
    TSum sum;
    double shot = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const double line = s.Counts[i] - bg.At(s.Wavelengths[i]);
        sum.Counts += line;
        shot += gain * std::max(line, 0.0);
    }
    const auto n = static_cast<double>(last - first + 1);
    sum.PixelVariance = bg.Variance + shot / n;
    sum.Variance = n * bg.Variance + shot + BackgroundVariance(s, first, last, bg);
    return sum;
}

} // namespace zelt
