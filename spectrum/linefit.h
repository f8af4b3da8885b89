// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lines of a known shape on a straight background, fitted to a stretch of pixels by weighted
// least squares: the counts of each line (its whole profile, the wings beyond the pixels
// included), the background a + b (lambda - mean) and, when asked, one shift of all the lines'
// centres. The pixels' variance is s^2 (read-out and background noise) plus gain times the
// lines' counts in them (their Poisson noise), taken from the model as it is fitted.

#include "spectrum/profile.h"
#include "spectrum/rawspectrum.h"

#include <cstddef>
#include <vector>

namespace zelt {

// The most lines one fit takes: with the background and the shift, the solver's order 8.
inline constexpr std::size_t kMaxFitLines = 5;

struct TLineFitInput {
    std::vector<std::size_t> Pixels; // ascending; the pixels masked are not among them
    std::vector<double> Centres;     // nm, each line's centre
    std::vector<double> Fixed;       // counts of each pixel already known (other lines), or empty
    std::vector<double> Noise;       // s^2 of each pixel of the spectrum
    double Gain = 1;                 // counts per photon
    bool FitShift = false;
};

struct TLineFitResult {
    std::vector<double> Counts;    // of each line
    std::vector<double> Variances; // of each line's counts: the covariance's, times chi^2 / nu
                                   // where that exceeds 1
    double Shift = 0;              // nm, added to every centre
    double Mean = 0, A = 0, B = 0; // the background: A + B (lambda - Mean) counts per pixel
    double Chi2 = 0;
    std::size_t Dof = 0;
    bool Singular = false; // the lines cannot be told apart on these pixels
    double Background(double wavelength) const { return A + B * (wavelength - Mean); }
};

// The counts the line of `counts` centred at `centre` puts into pixel i: its profile between the
// pixel's edges, halfway to the neighbouring pixels' centres.
double PixelCounts(const TRawSpectrum& s, const TLineShape& shape, std::size_t i, double centre,
                   double counts);

TLineFitResult FitLines(const TRawSpectrum& s, const TLineShape& shape, const TLineFitInput& in);

} // namespace zelt
