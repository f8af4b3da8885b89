// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of IntegrateLines (integration.h), for its own source files only: the noise, the
// saturation level, the scale and the profile of the whole spectrum and the notes of what was
// done (integrator.cpp), the fit of each window of lines (windowfit.cpp).
#include "spectrum/background.h"
#include "spectrum/integration.h"
#include "spectrum/linefit.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace zelt {

// The default window, in line widths (FWHM), and the fewest pixels it spans.
inline constexpr double kWindowPerWidth = 4;
inline constexpr double kMinWindowPixels = 4;
// A background band holds at least this many pixels; bands are looked for up to this many band
// widths away; a window needs this many background pixels on each side.
inline constexpr double kMinBandPixels = 3;
inline constexpr double kBandReach = 4;
inline constexpr std::size_t kMinBackgroundPixels = 2;
// The profile is fitted to at most this many lines, in this many passes.
inline constexpr std::size_t kWidthLines = 5;
inline constexpr int kShapePasses = 4;
// A flat top this many sigma above the spectrum's median is the detector's saturation.
inline constexpr double kStrongLine = 20;
// Another species' line shows when it stands this many sigma above the noise.
inline constexpr double kPresent = 5;
// A window's centre is fitted when its peak stands this many sigma out, and kept when it moves
// at most this far (in line widths) from the scale's position.
inline constexpr double kFitCentre = 20;
inline constexpr double kMaxCentreShift = 0.25;
// A band pixel this many sigma above the fit is a peak of no known line.
inline constexpr double kUnknownPeak = 5;
// Pixels of one estimate of the noise.
inline constexpr std::size_t kNoiseBlock = 64;
// Line widths: the farthest a line's counts are taken off its neighbours' fits.
inline constexpr double kWingReach = 30;

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// One thing fitted in a window: a line of the species (or a blend of them closer than the line
// width) or a line of another species.
struct TComponent {
    std::vector<std::size_t> Lines; // indices of the species' lines; empty for an intruder
    // 1 + the index of the other species' line it is, or that it is a blend with; 0 for none.
    std::size_t Intruder = 0;
    double Centre = 0; // nm, on the spectrum's scale
    double Counts = 0, Variance = 0;
    bool Fitted = false, Excluded = false;
    bool Unknown = false; // a peak of no known line
    bool Own() const { return !Lines.empty(); }
};

// The lines of one window: components of the species' lines closer than the line width, then
// the lines of other species that show in it; the shift of their centres as fitted.
struct TGroup {
    std::vector<TComponent> Components;
    double Shift = 0;
};

// One window's fit as it proceeds: where the window lies, what lies near it, the bands of
// background beside it and the last fit of its lines.
struct TWindowFit {
    double Low = 0, High = 0;        // nm: the first component's centre less half a window to the
                                     // last own component's plus half
    std::size_t First = 0, End = 0;  // the window's pixels, First to End - 1
    std::size_t OwnCount = 0;        // the components of the species' lines, which come first
    double Reach = 0;                // nm: how far beyond the window the bands are looked for
    std::vector<double> Clear;       // nm, ascending: centres the bands keep clear of
    std::vector<std::size_t> Inside; // the other species' lines inside the window
    std::vector<std::string> Intruders; // what lies near, as the lines' notes list it
    std::vector<bool> Masked;           // pixels not fitted
    std::size_t Wanted = 0;             // pixels of one band
    TBand Below, Above;
    std::vector<std::size_t> Saturated; // the saturated pixels nearest each component
    TLineFitInput Input;
    TLineFitResult Fit;
    std::vector<std::size_t> Fitted; // the components fitted, in the order of Fit.Counts
};

// A component's lines as one blend: their wavelengths (nm), the sum of their A (1/s), and
// whether they share one upper level and have their levels.
struct TBlend {
    std::vector<double> Wavelengths;
    double SumA = 0;
    bool OneUpper = true;
};

class TIntegrator {
public:
    TIntegrator(const TRawSpectrum& s, const std::vector<TSpeciesLine>& lines,
                const TIntegrationOptions& options, TIntegration& result)
        : s_(s), lines_(lines), options_(options), result_(result) {}

    void Run();

private:
    double Spacing() const {
        return (s_.Wavelengths.back() - s_.Wavelengths.front()) /
               static_cast<double>(s_.Pixels() - 1);
    }
    double Sigma(double wavelength) const {
        return std::sqrt(
            noise_[std::min(FirstAtOrAbove(s_.Wavelengths, wavelength), s_.Pixels() - 1)]);
    }
    bool Saturated(std::size_t i) const {
        return result_.SaturationLevel > 0 &&
               s_.Raw[i] >= (1 - kSaturationMargin) * result_.SaturationLevel;
    }

    // The spectrum as a whole (integrator.cpp).
    void MarkUnusable();
    void MeasureScale();
    void MeasureProfile();
    // The pixels from low to high (nm) that may be fitted.
    std::vector<std::size_t> PixelsBetween(double low, double high) const;
    void FitShape();
    double ShapeMisfit(const TLineShape& shape, const std::vector<std::vector<std::size_t>>& pixels,
                       std::vector<double>& centres, bool fitCentres) const;
    // Whether another species' line shows at `centre` (cached by its index).
    bool Present(std::size_t other);
    void Group();
    void SetAll(const TGroup& group, TLineOutcome outcome, const std::string& note);
    void Finish(TLineIntegral& line);

    // One window (windowfit.cpp).
    void Integrate(TGroup& group, bool final);
    bool PlaceWindow(const TGroup& group, TWindowFit& w);
    void SurveyNeighbours(TGroup& group, TWindowFit& w);
    void ExcludeComponents(TGroup& group);
    bool CollectBands(const TGroup& group, TWindowFit& w);
    double GatherPixels(const TGroup& group, TWindowFit& w, bool countSaturated) const;
    std::vector<double> WingCounts(const TGroup& group,
                                   const std::vector<std::size_t>& pixels) const;
    bool FitWindow(const TGroup& group, TWindowFit& w, int round, bool final);
    double Significance(double centre, const TWindowFit& w) const;
    bool AddIntruders(TGroup& group, const TWindowFit& w);
    double Residual(const TGroup& group, const TWindowFit& w, std::size_t i) const;
    bool AddUnknownPeak(TGroup& group, TWindowFit& w) const;
    std::vector<std::string> NameIntruders(const TGroup& group, TWindowFit& w);
    TBlend BlendOf(const TComponent& component) const;
    void DescribeLine(TLineIntegral& line, std::size_t l, std::size_t c, const TWindowFit& w) const;
    void JudgeLine(TLineIntegral& line, const TComponent& component, double uncertainty,
                   std::size_t saturated, bool shared, const std::string& merged);
    void Conclude(const TGroup& group, TWindowFit& w);

    const TRawSpectrum& s_;
    const std::vector<TSpeciesLine>& lines_;
    const TIntegrationOptions& options_;
    TIntegration& result_;
    std::vector<double> noise_;
    std::vector<bool> unusable_; // excluded by the user or saturated
    std::vector<TOtherLine> others_;
    std::vector<double> otherCentres_;
    std::vector<int> present_; // -1 not yet known
    std::vector<double> centres_;
    TLineShape shape_;
    std::vector<TGroup> groups_;
};

} // namespace zelt
