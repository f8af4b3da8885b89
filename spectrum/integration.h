// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Line intensities from a raw spectrum: every database line of the species inside the spectrum is
// integrated over a window around it, less a straight background fitted to the pixels beside the
// window, and turned from counts into the program's unit.
//
// A spectrometer counts photons, N of them in a line. The measured branching fraction multiplies
// each intensity by its wavelength in nm (I lambda over the sum of I lambda of the upper level's
// lines), so it takes intensities as energies, proportional to N hc / lambda. The intensity
// written is I = N / lambda, lambda the database wavelength in nm, so that I lambda is N again;
// a spectral response R divides the counts first: N / R for a response per photon.

#include "spectrum/measurement.h"
#include "spectrum/rawspectrum.h"
#include "spectrum/response.h"
#include "spectrum/specieslines.h"

#include <array>
#include <string>
#include <vector>

namespace zelt {

// What became of a line. Only the first three give an intensity.
enum class TLineOutcome {
    Integrated,     // its own window
    Shared,         // its window overlaps another's, whose fitted profile is taken off
    BlendSummed,    // a blend from one upper level: its sum shared by the transition probabilities
    Blend,          // closer than the line width to another line
    Saturated,      // a flat top at the saturation level in its window
    OutOfRange,     // its window (or the spectral response) does not cover it
    NoBackground,   // no free pixels beside the window for the background
    BelowDetection, // its integral is below the detection limit
    NoLevels        // its levels are not in the level file
};
// "integrated", "shared", "blend summed", "blend", "saturated", "out of range", "no background",
// "below detection limit", "levels not in the level file".
const char* OutcomeText(TLineOutcome outcome);
inline bool GivesIntensity(TLineOutcome outcome) {
    return outcome == TLineOutcome::Integrated || outcome == TLineOutcome::Shared ||
           outcome == TLineOutcome::BlendSummed;
}

struct TLineIntegral {
    TSpeciesLine Line;
    double Centre = 0;                    // nm: the database wavelength plus the scale's shift
    double WindowLow = 0, WindowHigh = 0; // nm
    // The pixels the background was fitted to, below and above the window (nm, first and last);
    // 0 where there are none.
    std::array<double, 2> BandBelow{}, BandAbove{};
    // The background under the window: Background + BackgroundSlope (lambda - Centre) counts per
    // pixel, lambda in nm.
    double Background = 0, BackgroundSlope = 0;
    double Counts = 0, CountsUncertainty = 0; // photons counted in the line (a blend: in all)
    double Intensity = 0, Uncertainty = 0;    // the program's unit; 0 unless an intensity
    TLineOutcome Outcome = TLineOutcome::OutOfRange;
    std::string Note; // why, for what is not integrated plainly
};

struct TIntegrationOptions {
    double Window = 0;    // nm, the full width of each window; 0: 4 line widths
    double LineWidth = 0; // nm, the instrument's FWHM; 0: measured on the strongest isolated lines
    bool SumBlends = false;     // blends from one upper level summed and shared by A
    double DetectionLimit = 3;  // a line is detected when its integral exceeds this many u
    double Gain = 1;            // counts per detected photon, for the counts' Poisson noise
    double SaturationLevel = 0; // counts; 0: the file's largest value
    const TResponse* Response = nullptr; // none: the intensities are not calibrated
};

struct TIntegration {
    std::vector<TLineIntegral> Lines; // every line of the species, in ascending wavelength
    double LineWidth = 0;             // nm, FWHM
    std::vector<double> WidthLines;   // nm: the lines it was measured on; empty when given
    // The profile fitted to the width lines alone in their windows (profile.h), used to tell
    // overlapping lines apart; with no such line a Gaussian of the line width.
    double ProfileWidth = 0, LorentzShare = 0;
    std::size_t ProfileLines = 0;
    double Window = 0, Band = 0;    // nm: the window's full width, the background band's
    double Shift = 0;               // nm: the spectrum's wavelengths minus the database's
    double SaturationLevel = 0;     // counts
    std::string Calibration;        // "not calibrated", or the response file and its unit
    std::vector<std::string> Notes; // what was done, one sentence each

    // The lines that give an intensity, as a measurement file lists them.
    std::vector<TMeasuredLine> Measurement() const;
    bool Calibrated() const { return Calibration != kNotCalibrated; }
    static constexpr const char* kNotCalibrated = "not calibrated";
};

// Integrates the lines of the species. A spectrum on which no line width can be measured (and
// none is given) raises Exception with the reason; a result that overflows raises EOverflow.
TIntegration IntegrateLines(const TRawSpectrum& spectrum, const std::vector<TSpeciesLine>& lines,
                            const TIntegrationOptions& options);

// The table of what was integrated, tab-separated with a title row: line, window, background,
// integral, u, the intensity and its u, the outcome and its note, the calibration.
std::string IntegrationTable(const TIntegration& integration);

} // namespace zelt
