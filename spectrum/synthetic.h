// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic raw spectra made from the program's own model, for tests, benchmarks and the demo:
// lines of known photon counts with a Gaussian or pseudo-Voigt instrument profile on a sloped
// background, with read-out and Poisson noise.

#include "linemodel/atomicdata.h"
#include "spectrum/rawspectrum.h"

#include <cstdint>
#include <vector>

namespace zelt {

struct TSyntheticLine {
    double Wavelength = 0; // nm
    double Photons = 0;    // counts of the whole line
};

struct TSyntheticOptions {
    double First = 660, Last = 1160; // nm, the first and the last pixel's centre
    std::int32_t Pixels = 3648;
    double LineWidth = 0.4;     // nm, FWHM of the instrument profile
    double LorentzFraction = 0; // eta of the pseudo-Voigt profile: 0 Gaussian, 1 Lorentzian
    double Background = 500;    // counts per pixel at First
    double Slope = 0.2;         // counts per pixel per nm
    double Dark = 0;            // counts per pixel of the dark column, when written
    double ReadNoise = 5;       // counts, standard deviation per pixel
    double Gain = 1;            // counts per photon: the Poisson variance is gain * counts
    double SaturationLevel = 0; // counts; the raw counts are cut at it (0: never)
    std::uint64_t Seed = 1;
};

// The spectrum: each pixel holds the background, the dark and the lines' counts that fall
// into it (the profile integrated over the pixel), plus noise; Counts is Raw less the dark.
TRawSpectrum SyntheticSpectrum(const std::vector<TSyntheticLine>& lines,
                               const TSyntheticOptions& options);

// The selected lines of `data` with photon counts from the model's branching fractions at `p`
// (ModelBF): strongest BF / max BF of its upper level, so that the strongest line of each
// upper level has `strongest` photons.
std::vector<TSyntheticLine> ModelLines(TAtomicData& data, const TParamVector& p, double strongest);

// The spectrum as a semicolon-separated "Wave;Sample;Dark;Reference" export with decimal
// commas, CR LF line ends.
std::string SemicolonExport(const TRawSpectrum& spectrum, double dark);

} // namespace zelt
