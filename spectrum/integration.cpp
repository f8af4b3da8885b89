// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/integration.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "spectrum/background.h"
#include "spectrum/linefit.h"
#include "spectrum/profile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

namespace zelt {

namespace {

constexpr double kWindowPerWidth = 4;    // the default window, in line widths (FWHM)
constexpr double kMinWindowPixels = 4;   // the default window spans at least this many pixels
constexpr double kMinBandPixels = 3;     // a background band holds at least this many pixels
constexpr double kBandReach = 4;         // bands are looked for up to 4 band widths away
constexpr std::size_t kWidthLines = 5;   // the profile is fitted to at most this many lines
constexpr double kStrongLine = 20;       // a width line's peak stands 20 sigma above the noise
constexpr double kPresent = 5;           // another species' line shows 5 sigma above the noise
constexpr double kFitCentre = 20;        // a window's centre is fitted when its peak stands out
constexpr double kMaxCentreShift = 0.25; // so far (in line widths) from the scale's position
constexpr double kUnknownPeak = 5;       // a band pixel this many sigma above the fit: a peak
constexpr std::size_t kNoiseBlock = 64;  // pixels of one estimate of the noise
constexpr std::size_t kMinBackgroundPixels = 2; // on each side of a window
constexpr double kWingReach = 30; // line widths: the farthest a line's counts are taken
                                  // off its neighbours' fits
constexpr int kShapePasses = 4;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

using TValues = std::vector<double>;

double Median(TValues values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                     values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    return (*std::max_element(values.begin(),
                              values.begin() + static_cast<std::ptrdiff_t>(middle)) +
            upper) /
           2;
}

// The variance s^2 of each pixel's noise at the background's level, from the median absolute
// second difference of blocks of kNoiseBlock pixels (robust against the few pixels of lines):
// a second difference of noise of variance s^2 has variance 6 s^2, and its median absolute
// value is 0.6745 sqrt(6) s. Between the blocks' middles the variance is interpolated.
TValues PixelNoise(const TRawSpectrum& s) {
    const std::size_t n = s.Pixels();
    TValues second(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i)
        second[i] = std::abs(s.Counts[i - 1] - 2 * s.Counts[i] + s.Counts[i + 1]);
    std::vector<std::pair<double, double>> blocks; // middle pixel, variance
    for (std::size_t from = 1; from + 1 < n; from += kNoiseBlock) {
        const std::size_t to = std::min(from + kNoiseBlock, n - 1);
        const double m = Median(TValues(second.begin() + static_cast<std::ptrdiff_t>(from),
                                        second.begin() + static_cast<std::ptrdiff_t>(to)));
        const double sigma = m / (0.6745 * std::sqrt(6.0));
        blocks.emplace_back(static_cast<double>(from + to - 1) / 2, sigma * sigma);
    }
    TValues variance(n);
    std::size_t b = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<double>(i);
        while (b + 1 < blocks.size() && blocks[b + 1].first < x)
            ++b;
        if (b + 1 == blocks.size() || x <= blocks[b].first) {
            variance[i] = blocks[b].second;
            continue;
        }
        const double t = (x - blocks[b].first) / (blocks[b + 1].first - blocks[b].first);
        variance[i] = blocks[b].second + t * (blocks[b + 1].second - blocks[b].second);
    }
    // A spectrum without noise (made up) gets the smallest variance that keeps weights finite.
    const double floor = 1e-12 * (1 + *std::max_element(s.Counts.begin(), s.Counts.end()));
    for (double& v : variance)
        v = std::max(v, floor);
    return variance;
}

// The detector's saturation level: given, stated in the file, else the highest raw value when
// two neighbouring pixels share it well above the noise (a flat top), else none.
std::pair<double, std::string> SaturationOf(const TRawSpectrum& s, double given,
                                            const TValues& noise) {
    if (given > 0)
        return {given, "given"};
    if (s.StatedMaximum > 0)
        return {s.StatedMaximum, "stated in the file"};
    const double top = *std::max_element(s.Raw.begin(), s.Raw.end());
    const double typical = Median(s.Raw), sigma = std::sqrt(Median(noise));
    for (std::size_t i = 0; i + 1 < s.Pixels(); ++i)
        if (s.Raw[i] == top && s.Raw[i + 1] == top && top > typical + kStrongLine * sigma)
            return {top, "the flat top of the highest value"};
    return {0, "not known"};
}

std::string WavelengthList(const std::vector<double>& wavelengths) {
    std::string list;
    for (std::size_t i = 0; i < wavelengths.size(); ++i)
        list += (i == 0                        ? ""
                 : i + 1 == wavelengths.size() ? " and "
                                               : ", ") +
                ShortestReal(wavelengths[i]);
    return list;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string list;
    for (std::size_t i = 0; i < texts.size(); ++i)
        list += (i == 0 ? "" : i + 1 == texts.size() ? " and " : ", ") + texts[i];
    return list;
}

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
};

// The lines of one window: components of the species' lines closer than the line width, then
// the lines of other species that show in it; the shift of their centres as fitted.
struct TGroup {
    std::vector<TComponent> Components;
    double Shift = 0;
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
    std::size_t PixelAt(double wavelength) const {
        return std::min(FirstAtOrAbove(s_.Wavelengths, wavelength), s_.Pixels() - 1);
    }
    bool Saturated(std::size_t i) const {
        return result_.SaturationLevel > 0 &&
               s_.Raw[i] >= (1 - kSaturationMargin) * result_.SaturationLevel;
    }
    // The pixels from low to high (nm) that may be fitted.
    std::vector<std::size_t> PixelsBetween(double low, double high) const;
    void FitShape();
    double ShapeMisfit(const TLineShape& shape, const std::vector<std::vector<std::size_t>>& pixels,
                       TValues& centres, bool fitCentres) const;
    // Whether another species' line shows at `centre` (cached by its index).
    bool Present(std::size_t other);
    void Group();
    void Integrate(TGroup& group, bool final);
    void SetAll(const TGroup& group, TLineOutcome outcome, const std::string& note);
    void Finish(TLineIntegral& line);

    const TRawSpectrum& s_;
    const std::vector<TSpeciesLine>& lines_;
    const TIntegrationOptions& options_;
    TIntegration& result_;
    TValues noise_;
    std::vector<bool> unusable_; // excluded by the user or saturated
    std::vector<TOtherLine> others_;
    TValues otherCentres_;
    std::vector<int> present_; // -1 not yet known
    TValues centres_;
    TLineShape shape_;
    std::vector<TGroup> groups_;
};

std::vector<std::size_t> TIntegrator::PixelsBetween(double low, double high) const {
    std::vector<std::size_t> pixels;
    for (std::size_t i = FirstAtOrAbove(s_.Wavelengths, low);
         i < s_.Pixels() && s_.Wavelengths[i] <= high; ++i)
        if (!unusable_[i])
            pixels.push_back(i);
    return pixels;
}

bool TIntegrator::Present(std::size_t other) {
    if (present_[other] < 0) {
        const double centre = otherCentres_[other];
        present_[other] = centre > s_.Wavelengths.front() && centre < s_.Wavelengths.back() &&
                          MeasurePeak(s_, centre, result_.LineWidth / 2, Sigma(centre), kPresent);
    }
    return present_[other] > 0;
}

// The sum over the width lines of chi^2 of each fitted alone with `shape` at its centre; with
// `fitCentres`, each centre fitted too and moved there.
double TIntegrator::ShapeMisfit(const TLineShape& shape,
                                const std::vector<std::vector<std::size_t>>& pixels,
                                TValues& centres, bool fitCentres) const {
    double misfit = 0;
    for (std::size_t w = 0; w < pixels.size(); ++w) {
        TLineFitInput input;
        input.Pixels = pixels[w];
        input.Centres = {centres[w]};
        input.Noise = noise_;
        input.Gain = options_.Gain;
        input.FitShift = fitCentres;
        const TLineFitResult fit = FitLines(s_, shape, input);
        misfit += fit.Chi2;
        centres[w] += fit.Shift;
    }
    return misfit;
}

// The minimum of f on [low, high] by golden-section search, to a thousandth of the interval.
template <class F> double GoldenMinimum(double low, double high, F&& f) {
    const double ratio = (std::sqrt(5.0) - 1) / 2, tolerance = 1e-3 * (high - low);
    double a = high - ratio * (high - low), b = low + ratio * (high - low);
    double fa = f(a), fb = f(b);
    while (high - low > tolerance) {
        if (fa < fb) {
            high = b;
            b = a;
            fb = fa;
            a = high - ratio * (high - low);
            fa = f(a);
        } else {
            low = a;
            a = b;
            fa = fb;
            b = low + ratio * (high - low);
            fb = f(b);
        }
    }
    return (low + high) / 2;
}

// The profile's shape, fitted to the strongest lines the scale was measured on that have no
// other known line within 5 of their widths and no saturated pixel: the Voigt's full width
// and its Lorentzian share by turns, each by a golden-section search of the lines' chi^2.
void TIntegrator::FitShape() {
    std::vector<TCalibrationPoint> candidates;
    TValues known = otherCentres_;
    known.insert(known.end(), centres_.begin(), centres_.end());
    std::sort(known.begin(), known.end());
    for (const TCalibrationPoint& p : result_.Scale.Points) {
        const double centre = p.Wavelength + result_.Scale.Offset(p.Wavelength);
        const double reach = (kWindowPerWidth + 1) * p.Width;
        const auto near = std::count_if(known.begin(), known.end(),
                                        [&](double k) { return std::abs(k - centre) < reach; });
        if (p.Used && near == 1)
            candidates.push_back(p);
    }
    std::sort(
        candidates.begin(), candidates.end(),
        [](const TCalibrationPoint& a, const TCalibrationPoint& b) { return a.Height > b.Height; });
    candidates.resize(std::min(candidates.size(), kWidthLines));
    if (candidates.empty())
        return;
    TValues widths;
    for (const TCalibrationPoint& p : candidates)
        widths.push_back(p.Width);
    const double measured = Median(widths);
    std::vector<std::vector<std::size_t>> pixels;
    TValues centres;
    for (const TCalibrationPoint& p : candidates) {
        const double centre = p.Wavelength + p.Offset;
        const double reach = kWindowPerWidth * measured;
        bool saturated = false;
        for (std::size_t i = FirstAtOrAbove(s_.Wavelengths, centre - reach);
             i < s_.Pixels() && s_.Wavelengths[i] <= centre + reach; ++i)
            saturated = saturated || Saturated(i);
        if (saturated)
            continue;
        pixels.push_back(PixelsBetween(centre - reach, centre + reach));
        centres.push_back(centre);
        result_.WidthLines.push_back(p.Wavelength);
    }
    std::sort(result_.WidthLines.begin(), result_.WidthLines.end());
    // The Voigt of full width f with a Lorentzian of rho f: the Gaussian's width from
    // f = 0.5346 fL + sqrt(0.2166 fL^2 + fG^2).
    const auto shape = [](double f, double rho) {
        const double lorentz = rho * f, rest = f - 0.5346 * lorentz;
        return TLineShape(std::sqrt(rest * rest - 0.2166 * lorentz * lorentz), lorentz);
    };
    // The centres are fitted with the shape of each pass's start and then held: a symmetric
    // profile's centre hardly depends on its width.
    double width = measured, rho = 0;
    double low = 0.5 * measured, high = 1.2 * measured;
    for (int pass = 0; pass < kShapePasses; ++pass) {
        ShapeMisfit(shape(width, rho), pixels, centres, true);
        width = GoldenMinimum(low, high, [&](double f) {
            return ShapeMisfit(shape(f, rho), pixels, centres, false);
        });
        rho = GoldenMinimum(
            0, 0.9, [&](double r) { return ShapeMisfit(shape(width, r), pixels, centres, false); });
        low = 0.9 * width;
        high = 1.1 * width;
    }
    shape_ = shape(width, rho);
}

void TIntegrator::Group() {
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        const double gap = l == 0 ? kInfinity : centres_[l] - centres_[l - 1];
        const bool newGroup = gap >= result_.Window;
        if (newGroup)
            groups_.emplace_back();
        std::vector<TComponent>& components = groups_.back().Components;
        if (newGroup || gap >= result_.LineWidth)
            components.emplace_back();
        components.back().Lines.push_back(l);
    }
    for (TGroup& group : groups_)
        for (TComponent& component : group.Components) {
            for (const std::size_t l : component.Lines)
                component.Centre += centres_[l] / static_cast<double>(component.Lines.size());
        }
}

void TIntegrator::SetAll(const TGroup& group, TLineOutcome outcome, const std::string& note) {
    for (const TComponent& component : group.Components)
        for (const std::size_t l : component.Lines) {
            result_.Lines[l].Outcome = outcome;
            result_.Lines[l].Note = note;
        }
}

void TIntegrator::Integrate(TGroup& group, bool final) {
    const double half = result_.Window / 2, width = result_.LineWidth;
    std::vector<TComponent>& components = group.Components;
    const auto own = [](const TComponent& c) { return !c.Lines.empty(); };
    const auto ownCount = static_cast<std::size_t>(
        std::find_if_not(components.begin(), components.end(), own) - components.begin());
    const double low = components.front().Centre - half;
    const double high = components[ownCount - 1].Centre + half;
    for (const TComponent& component : components)
        for (const std::size_t l : component.Lines) {
            result_.Lines[l].WindowLow = centres_[l] - half;
            result_.Lines[l].WindowHigh = centres_[l] + half;
        }
    const double from = s_.Wavelengths.front(), to = s_.Wavelengths.back();
    if (low < from || high > to)
        return SetAll(group, TLineOutcome::OutOfRange,
                      Format("the window %.4f to %.4f nm is not inside the spectrum's %.4f to "
                             "%.4f nm",
                             {low, high, from, to}));
    const std::size_t first = FirstAtOrAbove(s_.Wavelengths, low);
    const std::size_t end = FirstAtOrAbove(s_.Wavelengths, std::nextafter(high, kInfinity));
    if (end <= first)
        return SetAll(group, TLineOutcome::OutOfRange, "the window holds no pixel");

    // What lies near: the user's excluded ranges, lines of other species that show (fitted
    // inside the window, kept clear of in the bands), the species' other lines.
    std::vector<std::string> intruders;
    for (const auto& [a, b] : options_.Exclusions)
        if (b >= low - result_.Band * kBandReach && a <= high + result_.Band * kBandReach)
            intruders.push_back(ShortestReal(a) + "-" + ShortestReal(b) + " nm excluded");
    const double reach = kBandReach * std::max(result_.Band, kMinBandPixels * Spacing());
    TValues clear;
    for (std::size_t l = 0; l < lines_.size(); ++l)
        if (centres_[l] < low - half || centres_[l] > high + half)
            clear.push_back(centres_[l]);
    const auto firstOther = static_cast<std::size_t>(
        std::lower_bound(otherCentres_.begin(), otherCentres_.end(), low - reach - half) -
        otherCentres_.begin());
    std::vector<std::size_t> inside; // other species' lines in the window
    for (std::size_t o = firstOther;
         o < otherCentres_.size() && otherCentres_[o] <= high + reach + half; ++o) {
        const double centre = otherCentres_[o];
        if (centre >= low && centre <= high) {
            inside.push_back(o);
        } else if (Present(o)) {
            clear.push_back(centre);
            intruders.push_back(others_[o].Name + " nm masked");
        }
    }
    std::sort(clear.begin(), clear.end());
    for (TComponent& component : components)
        for (const auto& [a, b] : options_.Exclusions)
            if (own(component) && component.Centre >= a && component.Centre <= b) {
                for (const std::size_t l : component.Lines) {
                    result_.Lines[l].Outcome = TLineOutcome::Excluded;
                    result_.Lines[l].Note = "its centre lies in the excluded range " +
                                            ShortestReal(a) + "-" + ShortestReal(b) + " nm";
                }
                component.Excluded = true;
            }

    std::vector<bool> masked = unusable_;
    const auto wanted =
        static_cast<std::size_t>(std::max(kMinBandPixels, std::round(result_.Band / Spacing())));
    TBand below, above;
    std::vector<std::size_t> saturated(components.size(), 0);
    TLineFitResult fit;
    std::vector<TComponent*> fitted;
    for (int round = 0;; ++round) {
        below = CollectBand(s_, low, -1, wanted, reach, clear, half, masked);
        above = CollectBand(s_, high, +1, wanted, reach, clear, half, masked);
        for (const TBand* band : {&below, &above})
            if (band->Pixels.size() < kMinBackgroundPixels)
                return band->AtEnd ? SetAll(group, TLineOutcome::OutOfRange,
                                            "no room for the background between the window and "
                                            "the spectrum's end")
                                   : SetAll(group, TLineOutcome::NoBackground,
                                            "the pixels beside the window belong to other lines");
        TLineFitInput input;
        input.Pixels.assign(below.Pixels.rbegin(), below.Pixels.rend());
        double peak = -kInfinity;
        for (std::size_t i = first; i < end; ++i) {
            if (!masked[i])
                input.Pixels.push_back(i);
            peak = std::max(peak, s_.Counts[i]);
            if (round == 0 && Saturated(i)) {
                std::size_t nearest = 0;
                for (std::size_t c = 1; c < components.size(); ++c)
                    if (std::abs(components[c].Centre - s_.Wavelengths[i]) <
                        std::abs(components[nearest].Centre - s_.Wavelengths[i]))
                        nearest = c;
                ++saturated[nearest];
            }
        }
        input.Pixels.insert(input.Pixels.end(), above.Pixels.begin(), above.Pixels.end());
        fitted.clear();
        for (TComponent& component : components)
            if (!component.Excluded) {
                fitted.push_back(&component);
                input.Centres.push_back(component.Centre);
            }
        if (fitted.size() > kMaxFitLines)
            return SetAll(group, TLineOutcome::Blend,
                          Format("%d lines overlap here, too many to tell apart", {fitted.size()}));
        if (fitted.empty())
            return;
        // The counts of the lines of other windows (their wings) are taken off.
        if (final) {
            input.Fixed.assign(input.Pixels.size(), 0.0);
            for (const TGroup& other : groups_) {
                if (&other == &group)
                    continue;
                for (const TComponent& c : other.Components) {
                    if (!c.Fitted || std::abs(c.Centre - group.Components.front().Centre) >
                                         kWingReach * width + result_.Window)
                        continue;
                    for (std::size_t p = 0; p < input.Pixels.size(); ++p)
                        input.Fixed[p] += PixelCounts(s_, shape_, input.Pixels[p],
                                                      c.Centre + other.Shift, c.Counts);
                }
            }
        }
        input.Noise = noise_;
        input.Gain = options_.Gain;
        double base = 0;
        for (const std::size_t i : below.Pixels)
            base += s_.Counts[i] / static_cast<double>(below.Pixels.size());
        input.FitShift = peak - base > kFitCentre * Sigma(components.front().Centre);
        fit = FitLines(s_, shape_, input);
        if (input.FitShift && !(std::abs(fit.Shift) <= kMaxCentreShift * width)) {
            input.FitShift = false;
            fit = FitLines(s_, shape_, input);
        }
        if (fit.Singular)
            return SetAll(group, TLineOutcome::Blend, "the lines here cannot be told apart");
        if (!final) {
            // Another species' line in the window is fitted when the profile at its centre,
            // fitted to what the window's fit leaves, stands kPresent of its u out; closer than
            // half the width to a line of the species it is a blend with it.
            bool added = false;
            for (const std::size_t o : inside) {
                const double centre = otherCentres_[o];
                if (std::any_of(components.begin(), components.end(),
                                [&](const TComponent& c) { return c.Intruder == o + 1; }))
                    continue;
                double py = 0, pp = 0;
                for (const std::size_t i : input.Pixels) {
                    double model = fit.Background(s_.Wavelengths[i]), lines = 0;
                    for (std::size_t c = 0; c < fitted.size(); ++c)
                        lines +=
                            PixelCounts(s_, shape_, i, input.Centres[c] + fit.Shift, fit.Counts[c]);
                    model += lines;
                    const double weight = 1 / (noise_[i] + options_.Gain * std::max(lines, 0.0));
                    const double p = PixelCounts(s_, shape_, i, centre + fit.Shift, 1);
                    py += weight * p * (s_.Counts[i] - model);
                    pp += weight * p * p;
                }
                if (!(py / std::sqrt(pp) > kPresent))
                    continue;
                std::size_t nearest = 0;
                for (std::size_t c = 1; c < ownCount; ++c)
                    if (std::abs(components[c].Centre - centre) <
                        std::abs(components[nearest].Centre - centre))
                        nearest = c;
                if (std::abs(components[nearest].Centre - centre) < width / 2) {
                    components[nearest].Intruder = o + 1;
                    continue;
                }
                TComponent intruder;
                intruder.Intruder = o + 1;
                intruder.Centre = centre;
                components.push_back(intruder);
                added = true;
            }
            if (added && round < 2)
                continue;
            break;
        }
        if (round == 2)
            break;
        // A peak of no known line in a band is fitted with the window's lines, centred at the
        // vertex of the parabola through the residuals of its highest pixel and its neighbours.
        const auto residual = [&](std::size_t i) {
            double model = fit.Background(s_.Wavelengths[i]);
            for (std::size_t c = 0; c < fitted.size(); ++c)
                model += PixelCounts(s_, shape_, i, input.Centres[c] + fit.Shift, fit.Counts[c]);
            for (const TGroup& other : groups_)
                for (const TComponent& c : other.Components)
                    if (&other != &group && c.Fitted &&
                        std::abs(c.Centre - s_.Wavelengths[i]) < kWingReach * width)
                        model += PixelCounts(s_, shape_, i, c.Centre + other.Shift, c.Counts);
            return s_.Counts[i] - model;
        };
        std::size_t worst = 0;
        double largest = kUnknownPeak;
        for (std::size_t p = 0; p < input.Pixels.size(); ++p) {
            const std::size_t i = input.Pixels[p];
            if (i >= first && i < end)
                continue;
            const double r = residual(i) / std::sqrt(noise_[i]);
            if (r > largest) {
                largest = r;
                worst = i;
            }
        }
        if (largest <= kUnknownPeak || worst == 0 || worst + 1 == s_.Pixels())
            break;
        const double below = residual(worst - 1), top = residual(worst),
                     above = residual(worst + 1);
        const double curvature = below - 2 * top + above;
        TComponent unknown;
        unknown.Unknown = true;
        unknown.Centre =
            s_.Wavelengths[worst] + (curvature < 0 ? 0.5 * (below - above) / curvature : 0) *
                                        (s_.Wavelengths[worst + 1] - s_.Wavelengths[worst - 1]) / 2;
        components.push_back(unknown);
        // Its core, where its centre's error would tell most, is masked: its wings are fitted.
        for (std::size_t i = 0; i < s_.Pixels(); ++i)
            masked[i] = masked[i] || std::abs(s_.Wavelengths[i] - unknown.Centre) < width;
        intruders.push_back(Format("a peak of no known line at %.2f nm fitted", {unknown.Centre}));
    }
    group.Shift = fit.Shift;
    for (std::size_t c = 0; c < fitted.size(); ++c) {
        fitted[c]->Counts = fit.Counts[c];
        fitted[c]->Variance = fit.Variances[c];
        fitted[c]->Fitted = true;
    }
    if (!final)
        return;
    std::vector<std::string> merged(components.size());
    for (std::size_t c = 0; c < components.size(); ++c) {
        const TComponent& component = components[c];
        if (component.Intruder == 0)
            continue;
        const std::string& name = others_[component.Intruder - 1].Name;
        intruders.insert(intruders.begin(), name + " nm fitted");
        if (own(component))
            merged[c] = name;
    }
    for (const TComponent& component : components)
        if (component.Intruder > 0 && !own(component) && component.Fitted)
            result_.Intruders.push_back({others_[component.Intruder - 1],
                                         component.Centre + fit.Shift, component.Counts,
                                         std::sqrt(component.Variance)});

    const bool shared = fitted.size() > 1;
    for (std::size_t c = 0; c < ownCount; ++c) {
        const TComponent& component = components[c];
        const double uncertainty = static_cast<double>(FpSqrt(component.Variance));
        std::vector<double> wavelengths;
        double sumA = 0;
        bool oneUpper = true;
        for (const std::size_t l : component.Lines) {
            wavelengths.push_back(lines_[l].Data.Wavelength);
            sumA += lines_[l].Data.Aki;
            oneUpper = oneUpper &&
                       lines_[l].Data.EUpper == lines_[component.Lines[0]].Data.EUpper &&
                       lines_[l].HasLevels;
        }
        for (const std::size_t l : component.Lines) {
            TLineIntegral& line = result_.Lines[l];
            line.Centre = centres_[l] + fit.Shift;
            line.CentreFitted = fit.Shift != 0;
            line.BandBelow = {s_.Wavelengths[below.Pixels.back()],
                              s_.Wavelengths[below.Pixels.front()]};
            line.BandAbove = {s_.Wavelengths[above.Pixels.front()],
                              s_.Wavelengths[above.Pixels.back()]};
            line.Background = fit.Background(line.Centre);
            line.BackgroundSlope = fit.B;
            line.Chi2PerDof = fit.Dof > 0 ? fit.Chi2 / static_cast<double>(fit.Dof) : 0;
            line.SaturatedPixels = saturated[c];
            line.Intruders = intruders;
            if (component.Excluded)
                continue;
            if (saturated[c] > 0) {
                line.Outcome = TLineOutcome::Saturated;
                line.Note = Format("%d %s within 0.5 %% of the saturation level %.0f counts (%s)",
                                   {saturated[c], saturated[c] == 1 ? "pixel" : "pixels",
                                    result_.SaturationLevel, result_.SaturationSource});
                continue;
            }
            line.Counts = component.Counts;
            line.CountsUncertainty = uncertainty;
            line.Outcome = shared ? TLineOutcome::Shared : TLineOutcome::Integrated;
            if (shared)
                line.Note = "its window overlaps another's: the counts of its fitted profile";
            if (component.Intruder > 0) {
                line.Outcome = TLineOutcome::Blend;
                line.Note = "blend with " + merged[c] +
                            " nm of another species; the counts are the blend's";
                continue;
            }
            if (component.Lines.size() == 1) {
                Finish(line);
                continue;
            }
            if (options_.SumBlends && oneUpper) {
                const double share = line.Line.Data.Aki / sumA;
                line.Counts = share * component.Counts;
                line.CountsUncertainty = share * uncertainty;
                line.Outcome = TLineOutcome::BlendSummed;
                line.Note = "blend of " + WavelengthList(wavelengths) +
                            " nm from one upper level, the sum shared by A";
                Finish(line);
                continue;
            }
            std::vector<double> partners;
            for (const double w : wavelengths)
                if (w != line.Line.Data.Wavelength)
                    partners.push_back(w);
            line.Outcome = TLineOutcome::Blend;
            line.Note = "blend with " + WavelengthList(partners) + " nm" +
                        (oneUpper ? "" : ", not all from one upper level") +
                        "; the counts are the blend's";
        }
    }
}

// The detection limit, the levels, the response and the intensity of a line with an integral.
void TIntegrator::Finish(TLineIntegral& line) {
    const double limit = options_.DetectionLimit * line.CountsUncertainty;
    const std::string limitText = ShortestReal(options_.DetectionLimit);
    if (line.Counts < -limit) {
        line.Outcome = TLineOutcome::Contaminated;
        line.Note = Format("%.1f counts, below -%s u = %.1f: ", {line.Counts, limitText, -limit}) +
                    (line.Intruders.empty() ? "no line of the database near it"
                                            : "near it " + Joined(line.Intruders));
        return;
    }
    if (!(line.Counts > limit)) {
        // A peak of the line beyond its window: the scale is off here by more than it shows.
        const double expected = line.Line.Data.Wavelength + line.ScaleOffset;
        const std::optional<TPeak> peak =
            MeasurePeak(s_, expected, options_.Tolerance, Sigma(expected), kFitCentre);
        bool ownPeak = peak && (peak->Centre < line.WindowLow || peak->Centre > line.WindowHigh);
        for (const double c : centres_)
            ownPeak = ownPeak && std::abs(c - peak->Centre) >= std::abs(expected - peak->Centre);
        for (const double c : otherCentres_)
            ownPeak = ownPeak && std::abs(c - peak->Centre) >= std::abs(expected - peak->Centre);
        if (ownPeak) {
            line.Outcome = TLineOutcome::PeakOutside;
            line.Note = Format("a peak at %.3f nm, %s nm from the line on the calibrated "
                               "scale, lies outside its window %.3f to %.3f nm",
                               {peak->Centre, SignedFixed(peak->Centre - expected, 3),
                                line.WindowLow, line.WindowHigh});
            return;
        }
        line.Outcome = TLineOutcome::BelowDetection;
        line.Note = Format("%.1f counts, not above %s u = %.1f", {line.Counts, limitText, limit});
        return;
    }
    if (!line.Line.HasLevels) {
        line.Outcome = TLineOutcome::NoLevels;
        line.Note = "its upper or lower level is not in the level file";
        return;
    }
    const double wavelength = line.Line.Data.Wavelength;
    double factor = 1;
    if (options_.Response != nullptr) {
        const std::optional<double> response = options_.Response->At(wavelength);
        if (!response || !(*response > 0)) {
            line.Outcome = TLineOutcome::OutOfRange;
            line.Note = response ? "the spectral response is not positive here"
                                 : "outside the spectral response \"" +
                                       options_.Response->FileName() + "\"";
            return;
        }
        factor = 1 / *response;
    }
    if (options_.Response == nullptr || options_.Response->Unit() == TResponseUnit::PerPhoton)
        factor /= wavelength;
    line.Intensity = line.Counts * factor;
    line.Uncertainty = line.CountsUncertainty * factor;
}

void TIntegrator::Run() {
    const double spacing = Spacing();
    noise_ = PixelNoise(s_);
    std::tie(result_.SaturationLevel, result_.SaturationSource) =
        SaturationOf(s_, options_.SaturationLevel, noise_);
    unusable_.assign(s_.Pixels(), false);
    for (std::size_t i = 0; i < s_.Pixels(); ++i) {
        for (const auto& [a, b] : options_.Exclusions)
            unusable_[i] = unusable_[i] || (s_.Wavelengths[i] >= a && s_.Wavelengths[i] <= b);
        unusable_[i] = unusable_[i] || Saturated(i);
    }

    // The scale, measured on the peaks of every known line.
    others_ = options_.OtherLines;
    std::sort(others_.begin(), others_.end(),
              [](const TOtherLine& a, const TOtherLine& b) { return a.Wavelength < b.Wavelength; });
    TValues known;
    for (const TOtherLine& other : others_)
        known.push_back(other.Wavelength);
    for (const TSpeciesLine& line : lines_)
        known.push_back(line.Data.Wavelength);
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
    result_.Scale = CalibrateScale(s_, known, options_.Tolerance, std::sqrt(Median(noise_)),
                                   result_.SaturationLevel);
    for (const TSpeciesLine& line : lines_) {
        TLineIntegral integral;
        integral.Line = line;
        integral.ScaleOffset = result_.Scale.Offset(line.Data.Wavelength);
        integral.Centre = line.Data.Wavelength + integral.ScaleOffset;
        for (const TCalibrationPoint& p : result_.Scale.Points)
            integral.CalibrationLine =
                integral.CalibrationLine || (p.Used && p.Wavelength == line.Data.Wavelength);
        centres_.push_back(integral.Centre);
        result_.Lines.push_back(integral);
    }
    for (const TOtherLine& other : others_)
        otherCentres_.push_back(other.Wavelength + result_.Scale.Offset(other.Wavelength));
    present_.assign(others_.size(), -1);

    // The profile.
    if (options_.LineWidth > 0) {
        shape_ = TLineShape(options_.LineWidth, 0);
    } else {
        FitShape();
        if (result_.WidthLines.empty()) {
            if (!(options_.Window > 0))
                throw Exception("No line width can be measured on \"" + s_.FileName +
                                "\": no line of " + SpeciesName(lines_) +
                                " stands alone and clearly out of the noise. Give the window's "
                                "width.");
            shape_ = TLineShape(options_.Window / kWindowPerWidth, 0);
        }
    }
    result_.LineWidth = shape_.Fwhm();
    result_.GaussWidth = shape_.GaussFwhm();
    result_.LorentzWidth = shape_.LorentzFwhm();
    result_.Window = options_.Window > 0 ? options_.Window
                                         : std::max(kWindowPerWidth * result_.LineWidth,
                                                    kMinWindowPixels * spacing);
    result_.Band = std::max(result_.Window / 2, kMinBandPixels * spacing);

    // Every window fitted twice: the second time with the wings of the lines of the other
    // windows, as the first fitted them, taken off.
    Group();
    for (const bool final : {false, true})
        for (TGroup& group : groups_)
            Integrate(group, final);
}

} // namespace

const char* OutcomeText(TLineOutcome outcome) {
    switch (outcome) {
    case TLineOutcome::Integrated:
        return "integrated";
    case TLineOutcome::Shared:
        return "shared";
    case TLineOutcome::BlendSummed:
        return "blend summed";
    case TLineOutcome::Blend:
        return "blend";
    case TLineOutcome::Saturated:
        return "saturated";
    case TLineOutcome::OutOfRange:
        return "out of range";
    case TLineOutcome::NoBackground:
        return "no background";
    case TLineOutcome::BelowDetection:
        return "below detection limit";
    case TLineOutcome::NoLevels:
        return "levels not in the level file";
    case TLineOutcome::Excluded:
        return "excluded";
    case TLineOutcome::Contaminated:
        return "background contaminated";
    case TLineOutcome::PeakOutside:
        return "peak outside its window";
    }
    return "";
}

std::vector<TMeasuredLine> TIntegration::Measurement() const {
    std::vector<TMeasuredLine> measured;
    for (const TLineIntegral& line : Lines)
        if (GivesIntensity(line.Outcome))
            measured.push_back({line.Line.Data.Wavelength, line.Intensity, line.Uncertainty});
    return measured;
}

namespace {

std::string ScaleNote(const TCalibration& scale, const std::string& species) {
    const std::string tolerance = ShortestReal(scale.Tolerance);
    if (scale.Degree < 0)
        return "The wavelength scale is taken as it is: no line of " + species +
               " or another species stands alone and out of the noise within " + tolerance +
               " nm of its wavelength.";
    double low = kInfinity, high = -kInfinity;
    std::vector<double> left;
    for (const TCalibrationPoint& p : scale.Points) {
        low = std::min(low, p.Offset);
        high = std::max(high, p.Offset);
        if (!p.Used)
            left.push_back(p.Wavelength);
    }
    const char* kinds[] = {"a constant", "a straight line", "a parabola"};
    return Format("The wavelength scale: the peaks of %d lines lie %s to %s nm from their "
                  "database wavelengths (looked for within %s nm); %s fitted to %d of them%s "
                  "maps the whole scale, %s, residuals %.4f nm rms.",
                  {scale.Points.size(), SignedFixed(low, 4), SignedFixed(high, 4), tolerance,
                   kinds[static_cast<std::size_t>(scale.Degree)], scale.Used(),
                   left.empty() ? std::string() : " (" + WavelengthList(left) + " nm left out)",
                   scale.Formula(), scale.Rms});
}

} // namespace

TIntegration IntegrateLines(const TRawSpectrum& spectrum, const std::vector<TSpeciesLine>& lines,
                            const TIntegrationOptions& options) {
    FpReset();
    TIntegration result;
    TIntegrator(spectrum, lines, options, result).Run();
    FpCheck("the integration of the lines of \"" + spectrum.FileName + "\"");

    result.Calibration = options.Response == nullptr
                             ? TIntegration::kNotCalibrated
                             : "divided by the response \"" + options.Response->FileName() +
                                   "\" (" + options.Response->UnitText() + ")";
    std::vector<std::string>& notes = result.Notes;
    notes.push_back("Read \"" + spectrum.FileName + "\": " + spectrum.Description + ".");
    notes.push_back(ScaleNote(result.Scale, SpeciesName(lines)));
    notes.push_back(
        result.WidthLines.empty()
            ? Format("Line width (FWHM) %.4f nm, as given: a Gaussian profile.", {result.LineWidth})
            : Format("Line width (FWHM) %.4f nm: a Voigt profile of %.4f nm Gaussian and %.4f nm "
                     "Lorentzian width, fitted to the lines at %s nm.",
                     {result.LineWidth, result.GaussWidth, result.LorentzWidth,
                      WavelengthList(result.WidthLines)}));
    notes.push_back(Format("Windows %.4f nm wide around each line; the lines of a window fitted "
                           "together with the profile, wings included, on a straight background "
                           "through up to %.4f nm of pixels on either side.",
                           {result.Window, result.Band}));
    notes.push_back(result.SaturationLevel > 0
                        ? Format("Saturation at %.0f counts (%s): a line with a pixel within "
                                 "0.5 %% of it is left out.",
                                 {result.SaturationLevel, result.SaturationSource})
                        : std::string("No saturation level is known: the file states none, no "
                                      "flat top shows, and none was given."));
    notes.push_back(result.Calibrated()
                        ? "Intensities: the counts " + result.Calibration +
                              (options.Response->Unit() == TResponseUnit::PerPhoton
                                   ? ", over the wavelength in nm."
                                   : ".")
                        : std::string("Intensities: the counts over the wavelength in nm, not "
                                      "calibrated (no spectral response was given)."));
    if (!result.Intruders.empty()) {
        std::vector<std::string> names;
        for (const TIntruder& intruder : result.Intruders)
            names.push_back(intruder.Line.Name);
        notes.push_back(
            Format("Lines of other species fitted in the windows: %s nm.", {Joined(names)}));
    }
    std::map<TLineOutcome, int> counts;
    for (const TLineIntegral& line : result.Lines)
        ++counts[line.Outcome];
    std::string tally;
    for (const auto& [outcome, count] : counts)
        tally += (tally.empty() ? "" : ", ") + std::to_string(count) + " " + OutcomeText(outcome);
    notes.push_back(Format("%d lines of %s: %s.", {lines.size(), SpeciesName(lines), tally}));
    return result;
}

std::string IntegrationTable(const TIntegration& integration) {
    std::string table = "wavelength_nm\tcentre_nm\twindow_from_nm\twindow_to_nm\t"
                        "background_below_from_nm\tbackground_below_to_nm\t"
                        "background_above_from_nm\tbackground_above_to_nm\tbackground_counts\t"
                        "background_slope_per_nm\tintegral_counts\tu_counts\tintensity\t"
                        "u_intensity\toutcome\tnote\tcalibration\tscale_offset_nm\t"
                        "centre_fitted\tcalibration_line\tgauss_fwhm_nm\tlorentz_fwhm_nm\t"
                        "chi2_per_dof\tsaturated_pixels\tnear\r\n";
    for (const TLineIntegral& line : integration.Lines) {
        for (const double value :
             {line.Line.Data.Wavelength, line.Centre, line.WindowLow, line.WindowHigh,
              line.BandBelow[0], line.BandBelow[1], line.BandAbove[0], line.BandAbove[1],
              line.Background, line.BackgroundSlope, line.Counts, line.CountsUncertainty,
              line.Intensity, line.Uncertainty})
            table += ShortestReal(value) + "\t";
        table += std::string(OutcomeText(line.Outcome)) + "\t" + line.Note + "\t" +
                 integration.Calibration + "\t" + ShortestReal(line.ScaleOffset) + "\t" +
                 (line.CentreFitted ? "1" : "0") + "\t" + (line.CalibrationLine ? "1" : "0") +
                 "\t" + ShortestReal(integration.GaussWidth) + "\t" +
                 ShortestReal(integration.LorentzWidth) + "\t" + ShortestReal(line.Chi2PerDof) +
                 "\t" + std::to_string(line.SaturatedPixels) + "\t" + Joined(line.Intruders) +
                 "\r\n";
    }
    return table;
}

} // namespace zelt
