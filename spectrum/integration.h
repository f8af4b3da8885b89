// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Line intensities from a raw spectrum. The wavelength scale is measured on the strongest
// isolated lines (calibration.h); a Voigt profile of one shape for the whole spectrum is fitted
// to the strongest isolated lines; then every database line of the species inside the spectrum
// gets a window around it, and the lines of each window (those whose windows overlap, lines of
// other species that show inside it) are fitted together with that profile on a straight
// background to the window and the bands of pixels beside it (linefit.h). A line's integral is
// its fitted profile's whole area, the wings beyond the window included; its uncertainty comes
// from the fit's covariance with the counts' noise. Lines of other species in the bands and the
// user's excluded ranges are masked; pixels near the detector's maximum mark their line
// saturated. The integral is turned from counts into the program's unit.
//
// A spectrometer counts photons, N of them in a line. The measured branching fraction multiplies
// each intensity by its wavelength in nm (I lambda over the sum of I lambda of the upper level's
// lines), so it takes intensities as energies, proportional to N hc / lambda. The intensity
// written is I = N / lambda, lambda the database wavelength in nm, so that I lambda is N again;
// a spectral response R divides the counts first: N / R for a response per photon.

#include "spectrum/calibration.h"
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
    NoLevels,       // its levels are not in the level file
    Excluded,       // its centre lies in a range the user excluded
    Contaminated,   // its integral is below minus the detection limit: the background is not
                    // what lies under the line
    PeakOutside     // no integral, but a peak near it outside its window
};
// "integrated", "shared", "blend summed", "blend", "saturated", "out of range", "no background",
// "below detection limit", "levels not in the level file", "excluded", "background
// contaminated", "peak outside its window".
const char* OutcomeText(TLineOutcome outcome);
inline bool GivesIntensity(TLineOutcome outcome) {
    return outcome == TLineOutcome::Integrated || outcome == TLineOutcome::Shared ||
           outcome == TLineOutcome::BlendSummed;
}

struct TLineIntegral {
    TSpeciesLine Line;
    double Centre = 0;            // nm: the database wavelength on the spectrum's scale, as fitted
    double ScaleOffset = 0;       // nm: the calibration's offset of the scale at the line
    bool CentreFitted = false;    // the centre was fitted to the line's own peak
    bool CalibrationLine = false; // its peak was one the scale was measured on
    double WindowLow = 0, WindowHigh = 0; // nm
    // The pixels the background was fitted to, below and above the window (nm, first and last);
    // 0 where there are none.
    std::array<double, 2> BandBelow{}, BandAbove{};
    // The background under the window: Background + BackgroundSlope (lambda - Centre) counts per
    // pixel, lambda in nm.
    double Background = 0, BackgroundSlope = 0;
    double Counts = 0, CountsUncertainty = 0; // photons counted in the line (a blend: in all)
    double Intensity = 0, Uncertainty = 0;    // the program's unit; 0 unless an intensity
    double Chi2PerDof = 0;                    // of the fit of its window; 0 where there was none
    std::size_t SaturatedPixels = 0;
    // Lines of other species, excluded ranges and unknown peaks fitted or masked beside it:
    // "Kr I 811.2904 nm fitted", "811.1-811.4 nm excluded", "a peak at 811.29 nm masked".
    std::vector<std::string> Intruders;
    TLineOutcome Outcome = TLineOutcome::OutOfRange;
    std::string Note; // why, for what is not integrated plainly
};

// A line of another species that may show in the spectrum: its wavelength (nm) and its name,
// "Kr I 811.2904".
struct TOtherLine {
    double Wavelength = 0;
    std::string Name;
};

// A line of another species found in a window and fitted with the species' lines.
struct TIntruder {
    TOtherLine Line;
    double Centre = 0, Counts = 0, CountsUncertainty = 0;
};

struct TIntegrationOptions {
    double Window = 0;    // nm, the full width of each window; 0: 4 line widths
    double LineWidth = 0; // nm, the instrument's FWHM; 0: measured on the strongest isolated lines
    bool SumBlends = false;    // blends from one upper level summed and shared by A
    double DetectionLimit = 3; // a line is detected when its integral exceeds this many u
    double Gain = 1;           // counts per detected photon, for the counts' Poisson noise
    // Raw counts at which the detector saturates; 0: as the file states it, else the highest
    // value where pixels share it in a flat top, else none.
    double SaturationLevel = 0;
    double Tolerance = 0.5; // nm: how far from its database wavelength a line's peak may lie
    std::vector<TOtherLine> OtherLines;                // of other species, any order
    std::vector<std::pair<double, double>> Exclusions; // nm, ranges whose pixels are not used
    const TResponse* Response = nullptr;               // none: the intensities are not calibrated
};

// A pixel within this share of the saturation level marks its line saturated.
inline constexpr double kSaturationMargin = 0.005;

struct TIntegration {
    std::vector<TLineIntegral> Lines; // every line of the species, in ascending wavelength
    std::vector<TIntruder> Intruders; // lines of other species fitted in the windows
    double LineWidth = 0;             // nm, FWHM of the profile
    std::vector<double> WidthLines;   // nm: the lines the profile was fitted to
    // The Voigt profile's Gaussian and Lorentzian widths (FWHM, nm), fitted to the width lines;
    // with no such line a Gaussian of the given width.
    double GaussWidth = 0, LorentzWidth = 0;
    TCalibration Scale;             // the spectrum's wavelengths less the database's
    double Window = 0, Band = 0;    // nm: the window's full width, the background band's
    double SaturationLevel = 0;     // raw counts; 0: not known
    std::string SaturationSource;   // where the level came from
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
// integral, u, the intensity and its u, the outcome and its note, the calibration; then the
// offsets of the scale, the profile, the fit's chi^2 per degree of freedom, the saturated
// pixels and the intruders.
std::string IntegrationTable(const TIntegration& integration);

} // namespace zelt
