// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wavelength scale of a spectrum, measured on its lines. A spectrometer's scale may be off by
// tenths of a nanometre, differently across the range. The peak of every well-isolated strong
// line is looked for within a tolerance of its database wavelength; a polynomial of the offsets
// (peak minus database wavelength) of degree 0, 1 or 2, raised while an F-test at 99 % finds
// the next term significant, outliers left out one by one, maps every database wavelength to
// the spectrum's.

#include "spectrum/rawspectrum.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// A peak in the counts: its centre between the half-height crossings, its full width there and
// its height above the local background (nm, nm, counts).
struct TPeak {
    double Centre = 0, Width = 0, Height = 0;
    std::size_t Top = 0; // the highest pixel
};

// The peak of the highest pixel within `reach` nm of `wavelength`, when it stands `minimum`
// times `noise` above the lower quartile of the 61 pixels around it, falls to half its height
// on both sides within them, and is not the search's edge (then the peak lies beyond it).
std::optional<TPeak> MeasurePeak(const TRawSpectrum& s, double wavelength, double reach,
                                 double noise, double minimum);

struct TCalibrationPoint {
    double Wavelength = 0;        // nm, the database's
    double Offset = 0;            // nm, the peak's centre less the database wavelength
    double Residual = 0;          // nm, the offset less the calibration's
    bool Used = true;             // false: left out as an outlier
    double Height = 0, Width = 0; // the peak's (counts, nm)
};

struct TCalibration {
    double Tolerance = 0;                  // nm: how far from each line its peak was looked for
    std::vector<TCalibrationPoint> Points; // in ascending wavelength
    int Degree = -1;                       // -1: no line to measure it on, no offset
    double Centre = 0;                     // nm, the polynomial's origin
    std::array<double, 3> Coefficients{};  // nm, nm/nm, nm/nm^2
    double Rms = 0;                        // nm, of the residuals of the points used

    // The spectrum's wavelength less the database's at `wavelength` (nm).
    double Offset(double wavelength) const;
    std::size_t Used() const;
    // "offset = +0.2540 + 5.712E-004 (lambda - 800 nm) nm" and the like.
    std::string Formula() const;
};

// "+0.1234": the value with `decimals` decimals and its sign.
std::string SignedFixed(double value, int decimals);

// The strong lines whose peaks a scale is measured on: each at least `isolation` nm from every
// other known line (`known`, ascending) and never saturated (no pixel of its peak at or above
// `saturation` raw counts, 0: none known).
TCalibration CalibrateScale(const TRawSpectrum& s, const std::vector<double>& known,
                            double tolerance, double noise, double saturation);

} // namespace zelt
