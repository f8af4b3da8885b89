// SPDX-License-Identifier: GPL-3.0-or-later
// The background beside a line's window of pixels: the bands of pixels on either side, the
// straight line fitted to them, and the window's counts above it with their uncertainty.
#pragma once

#include "spectrum/rawspectrum.h"

#include <cstddef>
#include <vector>

namespace zelt {

// The index of the first value at or above x in ascending values (their size when none is).
std::size_t FirstAtOrAbove(const std::vector<double>& values, double x);

// The pixels of one background band: up to `wanted` pixels from the window's edge outwards
// (direction -1 below, +1 above), within `reach` nm, leaving out pixels within `halfWindow` of
// another line's centre (`others`, ascending) and those `masked` (when given, one flag a pixel).
struct TBand {
    std::vector<std::size_t> Pixels;
    bool AtEnd = false; // the spectrum ended before the band was full
};

TBand CollectBand(const TRawSpectrum& s, double edge, int direction, std::size_t wanted,
                  double reach, const std::vector<double>& others, double halfWindow,
                  const std::vector<bool>& masked = {});

// A straight line a + b (lambda - Mean) fitted to the band pixels by least squares, and the
// variance of the pixels about it: s^2 = sum of squared residuals / (m - 2).
struct TBackground {
    double Mean = 0, A = 0, B = 0, Variance = 0, Sxx = 0;
    std::size_t Points = 0;
    double At(double wavelength) const { return A + B * (wavelength - Mean); }
};

TBackground FitBackground(const TRawSpectrum& s, const std::vector<std::size_t>& pixels);

// The counts in the pixels from `first` to `last` less the background, and their standard
// uncertainty: the pixels' scatter s^2 and Poisson noise gain (counts - background) each, and
// the background's own, s^2 (n^2 / m + X^2 / Sxx) with X the sum of (lambda - Mean) over them.
struct TSum {
    double Counts = 0, Variance = 0, PixelVariance = 0;
};

// The background's share of the variance of the pixels from `first` to `last`.
double BackgroundVariance(const TRawSpectrum& s, std::size_t first, std::size_t last,
                          const TBackground& bg);

TSum SumWindow(const TRawSpectrum& s, std::size_t first, std::size_t last, const TBackground& bg,
               double gain);

} // namespace zelt
