// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic raw spectra made from the program's own model, for tests, benchmarks and the demo:
// lines of known photon counts with a Gaussian or Voigt profile on a sloped background, with
// read-out and Poisson noise, on a wavelength scale that may drift; and the exports a
// spectrometer's program writes of them.

#include "linemodel/atomicdata.h"
#include "spectrum/rawspectrum.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

struct TSyntheticLine {
    double Wavelength = 0; // nm
    double Photons = 0;    // counts of the whole line
};

struct TSyntheticOptions {
    double First = 660, Last = 1160; // nm, the true wavelengths of the first and last pixel
    std::int32_t Pixels = 3648;
    double LineWidth = 0.4;     // nm, FWHM of the profile's Gaussian part
    double LorentzWidth = 0;    // nm, FWHM of its Lorentzian part: 0 for Gaussian lines
    double Background = 500;    // counts per pixel at First
    double Slope = 0.2;         // counts per pixel per nm
    double Dark = 0;            // counts per pixel of the dark column, when written
    double ReadNoise = 5;       // counts, standard deviation per pixel
    double Gain = 1;            // counts per photon: the Poisson variance is gain * counts
    double SaturationLevel = 0; // counts; the raw counts are cut at it (0: never)
    // The spectrometer's scale: the wavelength written for a pixel is its true wavelength plus
    // Drift[0] + Drift[1] (lambda - 800 nm) + Drift[2] (lambda - 800 nm)^2, in nm.
    std::array<double, 3> Drift{};
    std::uint64_t Seed = 1;
};

// The share of a Voigt profile between a and b (nm from its centre), computed apart from the
// program's own profile (profile.h) so that tests check it: the Gaussian's share averaged over
// the Lorentzian, (1/pi) integral over theta of G(b - gamma tan theta) - G(a - gamma tan theta),
// G the Gaussian's distribution function, by adaptive Gauss-Kronrod quadrature; beyond 30 widths
// the Lorentzian's share with the Gaussian's second-order widening.
double VoigtShare(double a, double b, double gaussFwhm, double lorentzFwhm);

// The counts of every pixel without noise: the background and the lines' counts that fall into
// it (the profile integrated over the pixel), the dark not included.
std::vector<double> ExpectedCounts(const std::vector<TSyntheticLine>& lines,
                                   const TSyntheticOptions& options);
// The spectrum of these counts with noise of options.Seed: Raw holds the dark, the counts and
// the noise (cut at the saturation level), Counts is Raw less the dark.
TRawSpectrum NoisySpectrum(const std::vector<double>& expected, const TSyntheticOptions& options);
TRawSpectrum SyntheticSpectrum(const std::vector<TSyntheticLine>& lines,
                               const TSyntheticOptions& options);

// The selected lines of `data` with photon counts from the model's branching fractions at `p`
// (ModelBF): strongest BF / max BF of its upper level, so that the strongest line of each
// upper level has `strongest` photons.
std::vector<TSyntheticLine> ModelLines(TAtomicData& data, const TParamVector& p, double strongest);

// The forms of text file spectrometer programs export:
// - Semicolon: "Wave;Sample;Dark;Reference" with a line of units, decimal commas;
// - Titled: the same after free-text title lines (the first starting with a number, with
//   parentheses and dashes) with the column titles padded with blanks and, when a maximum is
//   given, a line "Maximum counts: N"; a footer;
// - Tabbed: a header of "key: value" lines and the data between ">>>>>Begin Spectral
//   Data<<<<<" and ">>>>>End Spectral Data<<<<<", tab-separated with decimal points;
// - Blank: two blank-separated columns with a footer, as .asc files.
// CR LF line ends; the dark column is constant.
enum class TExportKind { Semicolon, Titled, Tabbed, Blank };
std::string ExportText(const TRawSpectrum& spectrum, TExportKind kind, double dark,
                       double maximum = 0);
// The semicolon export.
std::string SemicolonExport(const TRawSpectrum& spectrum, double dark);

} // namespace zelt
