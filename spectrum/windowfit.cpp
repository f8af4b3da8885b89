// SPDX-License-Identifier: GPL-3.0-or-later
// The fit of one window of lines: where the window lies and what lies near it, the bands of
// background beside it, the fit of its lines with the profile (the other species' lines that
// show and peaks of no known line added as they appear), and the outcome of each of its lines.
#include "common/format.h"
#include "common/fpcheck.h"
#include "spectrum/integrator.h"

#include <algorithm>
#include <cmath>

namespace zelt {

// A window's lines fitted: the first time alone (adding the other species' lines that show
// inside), the second with the wings of the other windows' lines taken off, and adding the
// peaks of no known line in its bands; then each line's outcome.
void TIntegrator::Integrate(TGroup& group, bool final) {
    TWindowFit w;
    if (!PlaceWindow(group, w))
        return;
    SurveyNeighbours(group, w);
    for (int round = 0;; ++round) {
        if (!CollectBands(group, w) || !FitWindow(group, w, round, final))
            return;
        if (!final) {
            if (AddIntruders(group, w) && round < 2)
                continue;
            break;
        }
        if (round == 2 || !AddUnknownPeak(group, w))
            break;
    }
    group.Shift = w.Fit.Shift;
    for (std::size_t c = 0; c < w.Fitted.size(); ++c) {
        TComponent& component = group.Components[w.Fitted[c]];
        component.Counts = w.Fit.Counts[c];
        component.Variance = w.Fit.Variances[c];
        component.Fitted = true;
    }
    if (final)
        Conclude(group, w);
}

// The window from half a window below its first line to half a window above its last; false
// (with the lines' outcome) when it does not lie inside the spectrum.
bool TIntegrator::PlaceWindow(const TGroup& group, TWindowFit& w) {
    const double half = result_.Window / 2;
    const std::vector<TComponent>& components = group.Components;
    while (w.OwnCount < components.size() && components[w.OwnCount].Own())
        ++w.OwnCount;
    w.Low = components.front().Centre - half;
    w.High = components[w.OwnCount - 1].Centre + half;
    for (const TComponent& component : components)
        for (const std::size_t l : component.Lines) {
            result_.Lines[l].WindowLow = centres_[l] - half;
            result_.Lines[l].WindowHigh = centres_[l] + half;
        }
    const double from = s_.Wavelengths.front(), to = s_.Wavelengths.back();
    if (w.Low < from || w.High > to) {
        SetAll(group, TLineOutcome::OutOfRange,
               Format("the window %.4f to %.4f nm is not inside the spectrum's %.4f to %.4f nm",
                      {w.Low, w.High, from, to}));
        return false;
    }
    w.First = FirstAtOrAbove(s_.Wavelengths, w.Low);
    w.End = FirstAtOrAbove(s_.Wavelengths, std::nextafter(w.High, kInfinity));
    if (w.End <= w.First) {
        SetAll(group, TLineOutcome::OutOfRange, "the window holds no pixel");
        return false;
    }
    return true;
}

// What lies near: the user's excluded ranges, lines of other species that show (fitted
// inside the window, kept clear of in the bands), the species' other lines.
void TIntegrator::SurveyNeighbours(TGroup& group, TWindowFit& w) {
    const double half = result_.Window / 2;
    for (const auto& [a, b] : options_.Exclusions)
        if (b >= w.Low - result_.Band * kBandReach && a <= w.High + result_.Band * kBandReach)
            w.Intruders.push_back(ShortestReal(a) + "-" + ShortestReal(b) + " nm excluded");
    w.Reach = kBandReach * std::max(result_.Band, kMinBandPixels * Spacing());
    for (std::size_t l = 0; l < lines_.size(); ++l)
        if (centres_[l] < w.Low - half || centres_[l] > w.High + half)
            w.Clear.push_back(centres_[l]);
    const auto firstOther = static_cast<std::size_t>(
        std::lower_bound(otherCentres_.begin(), otherCentres_.end(), w.Low - w.Reach - half) -
        otherCentres_.begin());
    for (std::size_t o = firstOther;
         o < otherCentres_.size() && otherCentres_[o] <= w.High + w.Reach + half; ++o) {
        const double centre = otherCentres_[o];
        if (centre >= w.Low && centre <= w.High) {
            w.Inside.push_back(o);
        } else if (Present(o)) {
            w.Clear.push_back(centre);
            w.Intruders.push_back(others_[o].Name + " nm masked");
        }
    }
    std::sort(w.Clear.begin(), w.Clear.end());
    ExcludeComponents(group);
    w.Masked = unusable_;
    w.Wanted =
        static_cast<std::size_t>(std::max(kMinBandPixels, std::round(result_.Band / Spacing())));
    w.Saturated.assign(group.Components.size(), 0);
}

// The components of the species' lines whose centre lies in a range the user excluded.
void TIntegrator::ExcludeComponents(TGroup& group) {
    for (TComponent& component : group.Components)
        for (const auto& [a, b] : options_.Exclusions)
            if (component.Own() && component.Centre >= a && component.Centre <= b) {
                for (const std::size_t l : component.Lines) {
                    result_.Lines[l].Outcome = TLineOutcome::Excluded;
                    result_.Lines[l].Note = "its centre lies in the excluded range " +
                                            ShortestReal(a) + "-" + ShortestReal(b) + " nm";
                }
                component.Excluded = true;
            }
}

// The bands of background below and above the window; false (with the lines' outcome) when
// either has too few pixels.
bool TIntegrator::CollectBands(const TGroup& group, TWindowFit& w) {
    const double half = result_.Window / 2;
    w.Below = CollectBand(s_, w.Low, -1, w.Wanted, w.Reach, w.Clear, half, w.Masked);
    w.Above = CollectBand(s_, w.High, +1, w.Wanted, w.Reach, w.Clear, half, w.Masked);
    for (const TBand* band : {&w.Below, &w.Above}) {
        if (band->Pixels.size() >= kMinBackgroundPixels)
            continue;
        if (band->AtEnd)
            SetAll(group, TLineOutcome::OutOfRange,
                   "no room for the background between the window and the spectrum's end");
        else
            SetAll(group, TLineOutcome::NoBackground,
                   "the pixels beside the window belong to other lines");
        return false;
    }
    return true;
}

// The pixels fitted: the band below, the window's unmasked pixels, the band above; with
// `countSaturated`, each saturated pixel of the window counted to its nearest component.
// Returns the window's highest counts.
double TIntegrator::GatherPixels(const TGroup& group, TWindowFit& w, bool countSaturated) const {
    const std::vector<TComponent>& components = group.Components;
    std::vector<std::size_t>& pixels = w.Input.Pixels;
    pixels.assign(w.Below.Pixels.rbegin(), w.Below.Pixels.rend());
    double peak = -kInfinity;
    for (std::size_t i = w.First; i < w.End; ++i) {
        if (!w.Masked[i])
            pixels.push_back(i);
        peak = std::max(peak, s_.Counts[i]);
        if (countSaturated && Saturated(i)) {
            std::size_t nearest = 0;
            for (std::size_t c = 1; c < components.size(); ++c)
                if (std::abs(components[c].Centre - s_.Wavelengths[i]) <
                    std::abs(components[nearest].Centre - s_.Wavelengths[i]))
                    nearest = c;
            ++w.Saturated[nearest];
        }
    }
    pixels.insert(pixels.end(), w.Above.Pixels.begin(), w.Above.Pixels.end());
    return peak;
}

// The counts the lines of the other windows, as fitted, put into the pixels (their wings).
std::vector<double> TIntegrator::WingCounts(const TGroup& group,
                                            const std::vector<std::size_t>& pixels) const {
    std::vector<double> fixed(pixels.size(), 0.0);
    const double reach = kWingReach * result_.LineWidth + result_.Window;
    for (const TGroup& other : groups_) {
        if (&other == &group)
            continue;
        for (const TComponent& c : other.Components) {
            if (!c.Fitted || std::abs(c.Centre - group.Components.front().Centre) > reach)
                continue;
            for (std::size_t p = 0; p < pixels.size(); ++p)
                fixed[p] += PixelCounts(s_, shape_, pixels[p], c.Centre + other.Shift, c.Counts);
        }
    }
    return fixed;
}

// The window's components fitted with the profile on a straight background; their common
// shift is fitted too when the window's peak stands kFitCentre sigma above the band below and
// the shift stays within kMaxCentreShift line widths. False when there is no fit (with the
// lines' outcome where there is a reason to give).
bool TIntegrator::FitWindow(const TGroup& group, TWindowFit& w, int round, bool final) {
    w.Input = TLineFitInput();
    TLineFitInput& input = w.Input;
    const double peak = GatherPixels(group, w, round == 0);
    w.Fitted.clear();
    for (std::size_t c = 0; c < group.Components.size(); ++c)
        if (!group.Components[c].Excluded) {
            w.Fitted.push_back(c);
            input.Centres.push_back(group.Components[c].Centre);
        }
    if (w.Fitted.size() > kMaxFitLines) {
        SetAll(group, TLineOutcome::Blend,
               Format("%d lines overlap here, too many to tell apart", {w.Fitted.size()}));
        return false;
    }
    if (w.Fitted.empty())
        return false;
    if (final)
        input.Fixed = WingCounts(group, input.Pixels);
    input.Noise = noise_;
    input.Gain = options_.Gain;
    double base = 0;
    for (const std::size_t i : w.Below.Pixels)
        base += s_.Counts[i] / static_cast<double>(w.Below.Pixels.size());
    input.FitShift = peak - base > kFitCentre * Sigma(group.Components.front().Centre);
    w.Fit = FitLines(s_, shape_, input);
    if (input.FitShift && !(std::abs(w.Fit.Shift) <= kMaxCentreShift * result_.LineWidth)) {
        input.FitShift = false;
        w.Fit = FitLines(s_, shape_, input);
    }
    if (w.Fit.Singular) {
        SetAll(group, TLineOutcome::Blend, "the lines here cannot be told apart");
        return false;
    }
    return true;
}

// How many of its u the profile at `centre`, fitted by weighted least squares to what the
// window's fit leaves, stands out: sum(w p r) / sqrt(sum(w p^2)), p the profile of unit counts,
// r the residual counts, w the pixel's weight 1 / (s^2 + gain * lines' counts).
double TIntegrator::Significance(double centre, const TWindowFit& w) const {
    const TLineFitInput& input = w.Input;
    double py = 0, pp = 0;
    for (const std::size_t i : input.Pixels) {
        double model = w.Fit.Background(s_.Wavelengths[i]), lines = 0;
        for (std::size_t c = 0; c < w.Fitted.size(); ++c)
            lines += PixelCounts(s_, shape_, i, input.Centres[c] + w.Fit.Shift, w.Fit.Counts[c]);
        model += lines;
        const double weight = 1 / (noise_[i] + options_.Gain * std::max(lines, 0.0));
        const double p = PixelCounts(s_, shape_, i, centre + w.Fit.Shift, 1);
        py += weight * p * (s_.Counts[i] - model);
        pp += weight * p * p;
    }
    return py / std::sqrt(pp);
}

// Another species' line in the window is fitted when it stands kPresent of its u out; closer
// than half the width to a line of the species it is a blend with it. True when a component
// was added.
bool TIntegrator::AddIntruders(TGroup& group, const TWindowFit& w) {
    std::vector<TComponent>& components = group.Components;
    bool added = false;
    for (const std::size_t o : w.Inside) {
        const double centre = otherCentres_[o];
        if (std::any_of(components.begin(), components.end(),
                        [&](const TComponent& c) { return c.Intruder == o + 1; }))
            continue;
        if (!(Significance(centre, w) > kPresent))
            continue;
        std::size_t nearest = 0;
        for (std::size_t c = 1; c < w.OwnCount; ++c)
            if (std::abs(components[c].Centre - centre) <
                std::abs(components[nearest].Centre - centre))
                nearest = c;
        if (std::abs(components[nearest].Centre - centre) < result_.LineWidth / 2) {
            components[nearest].Intruder = o + 1;
            continue;
        }
        TComponent intruder;
        intruder.Intruder = o + 1;
        intruder.Centre = centre;
        components.push_back(intruder);
        added = true;
    }
    return added;
}

// The counts of pixel i less the window's fit and the wings of the other windows' lines.
double TIntegrator::Residual(const TGroup& group, const TWindowFit& w, std::size_t i) const {
    double model = w.Fit.Background(s_.Wavelengths[i]);
    for (std::size_t c = 0; c < w.Fitted.size(); ++c)
        model += PixelCounts(s_, shape_, i, w.Input.Centres[c] + w.Fit.Shift, w.Fit.Counts[c]);
    for (const TGroup& other : groups_)
        for (const TComponent& c : other.Components)
            if (&other != &group && c.Fitted &&
                std::abs(c.Centre - s_.Wavelengths[i]) < kWingReach * result_.LineWidth)
                model += PixelCounts(s_, shape_, i, c.Centre + other.Shift, c.Counts);
    return s_.Counts[i] - model;
}

// A peak of no known line in a band (a pixel kUnknownPeak sigma above the fit) is fitted with
// the window's lines, centred at the vertex of the parabola through the residuals of its
// highest pixel and its neighbours. True when one was added.
bool TIntegrator::AddUnknownPeak(TGroup& group, TWindowFit& w) const {
    std::size_t worst = 0;
    double largest = kUnknownPeak;
    for (const std::size_t i : w.Input.Pixels) {
        if (i >= w.First && i < w.End)
            continue;
        const double r = Residual(group, w, i) / std::sqrt(noise_[i]);
        if (r > largest) {
            largest = r;
            worst = i;
        }
    }
    if (largest <= kUnknownPeak || worst == 0 || worst + 1 == s_.Pixels())
        return false;
    const double below = Residual(group, w, worst - 1), top = Residual(group, w, worst),
                 above = Residual(group, w, worst + 1);
    const double curvature = below - 2 * top + above;
    TComponent unknown;
    unknown.Unknown = true;
    unknown.Centre =
        s_.Wavelengths[worst] + (curvature < 0 ? 0.5 * (below - above) / curvature : 0) *
                                    (s_.Wavelengths[worst + 1] - s_.Wavelengths[worst - 1]) / 2;
    group.Components.push_back(unknown);
    // Its core, where its centre's error would tell most, is masked: its wings are fitted.
    for (std::size_t i = 0; i < s_.Pixels(); ++i)
        w.Masked[i] =
            w.Masked[i] || std::abs(s_.Wavelengths[i] - unknown.Centre) < result_.LineWidth;
    w.Intruders.push_back(Format("a peak of no known line at %.2f nm fitted", {unknown.Centre}));
    return true;
}

// The other species' lines fitted in the window: named first in the lines' notes, and kept
// in the result where they stand alone. Returns, for each component of the species' lines
// blended with one, its name.
std::vector<std::string> TIntegrator::NameIntruders(const TGroup& group, TWindowFit& w) {
    const std::vector<TComponent>& components = group.Components;
    std::vector<std::string> merged(components.size());
    for (std::size_t c = 0; c < components.size(); ++c) {
        const TComponent& component = components[c];
        if (component.Intruder == 0)
            continue;
        const std::string& name = others_[component.Intruder - 1].Name;
        w.Intruders.insert(w.Intruders.begin(), name + " nm fitted");
        if (component.Own())
            merged[c] = name;
    }
    for (const TComponent& component : components)
        if (component.Intruder > 0 && !component.Own() && component.Fitted)
            result_.Intruders.push_back({others_[component.Intruder - 1],
                                         component.Centre + w.Fit.Shift, component.Counts,
                                         std::sqrt(component.Variance)});
    return merged;
}

TBlend TIntegrator::BlendOf(const TComponent& component) const {
    TBlend blend;
    for (const std::size_t l : component.Lines) {
        blend.Wavelengths.push_back(lines_[l].Data.Wavelength);
        blend.SumA += lines_[l].Data.Aki;
        blend.OneUpper = blend.OneUpper &&
                         lines_[l].Data.EUpper == lines_[component.Lines[0]].Data.EUpper &&
                         lines_[l].HasLevels;
    }
    return blend;
}

// What the window's fit says of line l of component c, whatever its outcome: its centre, the
// bands and the background, the fit's chi^2, its saturated pixels, what lies near.
void TIntegrator::DescribeLine(TLineIntegral& line, std::size_t l, std::size_t c,
                               const TWindowFit& w) const {
    const TLineFitResult& fit = w.Fit;
    line.Centre = centres_[l] + fit.Shift;
    line.CentreFitted = fit.Shift != 0;
    line.BandBelow = {s_.Wavelengths[w.Below.Pixels.back()],
                      s_.Wavelengths[w.Below.Pixels.front()]};
    line.BandAbove = {s_.Wavelengths[w.Above.Pixels.front()],
                      s_.Wavelengths[w.Above.Pixels.back()]};
    line.Background = fit.Background(line.Centre);
    line.BackgroundSlope = fit.B;
    line.Chi2PerDof = fit.Dof > 0 ? fit.Chi2 / static_cast<double>(fit.Dof) : 0;
    line.SaturatedPixels = w.Saturated[c];
    line.Intruders = w.Intruders;
}

// A line's outcome from its component's fitted counts: saturated, a blend with another
// species' line, its own integral, or a blend of the species' lines (summed and shared by A
// when they come from one upper level and the user asks for it); Finish takes an integral on.
void TIntegrator::JudgeLine(TLineIntegral& line, const TComponent& component, double uncertainty,
                            std::size_t saturated, bool shared, const std::string& merged) {
    if (saturated > 0) {
        line.Outcome = TLineOutcome::Saturated;
        line.Note = Format("%d %s within 0.5 %% of the saturation level %.0f counts (%s)",
                           {saturated, saturated == 1 ? "pixel" : "pixels", result_.SaturationLevel,
                            result_.SaturationSource});
        return;
    }
    line.Counts = component.Counts;
    line.CountsUncertainty = uncertainty;
    line.Outcome = shared ? TLineOutcome::Shared : TLineOutcome::Integrated;
    if (shared)
        line.Note = "its window overlaps another's: the counts of its fitted profile";
    if (component.Intruder > 0) {
        line.Outcome = TLineOutcome::Blend;
        line.Note = "blend with " + merged + " nm of another species; the counts are the blend's";
        return;
    }
    if (component.Lines.size() == 1)
        return Finish(line);
    const TBlend blend = BlendOf(component);
    if (options_.SumBlends && blend.OneUpper) {
        const double share = line.Line.Data.Aki / blend.SumA;
        line.Counts = share * component.Counts;
        line.CountsUncertainty = share * uncertainty;
        line.Outcome = TLineOutcome::BlendSummed;
        line.Note = "blend of " + WavelengthList(blend.Wavelengths) +
                    " nm from one upper level, the sum shared by A";
        return Finish(line);
    }
    std::vector<double> partners;
    for (const double wavelength : blend.Wavelengths)
        if (wavelength != line.Line.Data.Wavelength)
            partners.push_back(wavelength);
    line.Outcome = TLineOutcome::Blend;
    line.Note = "blend with " + WavelengthList(partners) + " nm" +
                (blend.OneUpper ? "" : ", not all from one upper level") +
                "; the counts are the blend's";
}

// The outcome of each line of the species in the window, from its final fit.
void TIntegrator::Conclude(const TGroup& group, TWindowFit& w) {
    const std::vector<std::string> merged = NameIntruders(group, w);
    const bool shared = w.Fitted.size() > 1;
    for (std::size_t c = 0; c < w.OwnCount; ++c) {
        const TComponent& component = group.Components[c];
        // Taken for every component, so that a variance the fit left negative is reported.
        const double uncertainty = static_cast<double>(FpSqrt(component.Variance));
        for (const std::size_t l : component.Lines) {
            TLineIntegral& line = result_.Lines[l];
            DescribeLine(line, l, c, w);
            if (!component.Excluded)
                JudgeLine(line, component, uncertainty, w.Saturated[c], shared, merged[c]);
        }
    }
}

} // namespace zelt
