// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/integration.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "leastsquares/chocho.h"
#include "spectrum/background.h"
#include "spectrum/profile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

namespace zelt {

namespace {

constexpr double kWindowPerWidth = 4;     // the default window, in line widths (FWHM)
constexpr double kMinWindowPixels = 4;    // the default window spans at least this many pixels
constexpr double kMinBandPixels = 3;      // a background band holds at least this many pixels
constexpr double kBandReach = 4;          // bands are looked for up to 4 band widths away
constexpr std::size_t kWidthLines = 5;    // the line width is the median over this many lines
constexpr double kIsolation = 2.5;        // no other line within 2.5 widths of a width line
constexpr double kStrongLine = 20;        // a width line's peak stands 20 sigma above the noise
constexpr std::ptrdiff_t kPeakReach = 30; // pixels searched beside a peak
constexpr std::ptrdiff_t kPeakSearch = 3; // pixels searched for the peak beside a line
constexpr std::int32_t kMaxShared = 8;    // components of one shared fit (the solver's)
constexpr std::size_t kMinBackgroundPixels = 2; // on each side of a window

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

// The standard deviation of the pixels' noise, from the median absolute difference of
// neighbours (robust against the few pixels of the lines): sigma = 1.4826 MAD / sqrt(2).
double NoiseSigma(const TValues& counts) {
    TValues differences(counts.size() - 1);
    for (std::size_t i = 0; i + 1 < counts.size(); ++i)
        differences[i] = std::abs(counts[i + 1] - counts[i]);
    return 1.4826 * Median(std::move(differences)) / std::sqrt(2.0);
}

struct TPeak {
    double Centre, Width, Height; // nm, nm (FWHM), counts above the local background
};

// The peak at a line: the highest pixel within kPeakSearch pixels, its height above the lower
// quartile of the pixels around it, and its width between the half-height crossings
// (interpolated linearly). Nothing when the peak does not stand kStrongLine sigma out of the
// noise or does not fall to half its height nearby.
std::optional<TPeak> MeasurePeak(const TRawSpectrum& s, double wavelength, double noise) {
    const auto n = static_cast<std::ptrdiff_t>(s.Pixels());
    const auto near =
        std::min(static_cast<std::ptrdiff_t>(FirstAtOrAbove(s.Wavelengths, wavelength)), n - 1);
    std::ptrdiff_t top = near;
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(0, near - kPeakSearch);
         i <= std::min(n - 1, near + kPeakSearch); ++i)
        if (s.Counts[static_cast<std::size_t>(i)] > s.Counts[static_cast<std::size_t>(top)])
            top = i;
    const std::ptrdiff_t low = top - kPeakReach, high = top + kPeakReach;
    if (low < 0 || high >= n)
        return std::nullopt;
    TValues around(s.Counts.begin() + low, s.Counts.begin() + high + 1);
    std::nth_element(around.begin(), around.begin() + kPeakReach / 2, around.end());
    const double base = around[kPeakReach / 2];
    const auto count = [&](std::ptrdiff_t i) { return s.Counts[static_cast<std::size_t>(i)]; };
    const auto at = [&](std::ptrdiff_t i) { return s.Wavelengths[static_cast<std::size_t>(i)]; };
    const double height = count(top) - base;
    if (!(height > kStrongLine * noise))
        return std::nullopt;
    const double half = base + height / 2;
    std::ptrdiff_t left = top, right = top;
    while (left > low && count(left - 1) >= half)
        --left;
    while (right < high && count(right + 1) >= half)
        ++right;
    if (left == low || right == high)
        return std::nullopt;
    const auto crossing = [&](std::ptrdiff_t below, std::ptrdiff_t above) {
        return at(below) +
               (half - count(below)) / (count(above) - count(below)) * (at(above) - at(below));
    };
    const double from = crossing(left - 1, left), to = crossing(right + 1, right);
    return TPeak{(from + to) / 2, to - from, height};
}

struct TWidth {
    double Width = 0, Shift = 0;
    std::vector<double> Lines;
};

// The instrument's line width and the shift of the wavelength scale, as medians over the
// strongest lines with no other line of the species within kIsolation widths.
std::optional<TWidth> MeasureWidth(const TRawSpectrum& s, const std::vector<TSpeciesLine>& lines) {
    const double noise = NoiseSigma(s.Counts);
    struct TFound {
        double Wavelength;
        TPeak Peak;
    };
    std::vector<TFound> found;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const double wavelength = lines[l].Data.Wavelength;
        if (wavelength <= s.Wavelengths.front() || wavelength >= s.Wavelengths.back())
            continue;
        const std::optional<TPeak> peak = MeasurePeak(s, wavelength, noise);
        if (!peak || std::abs(peak->Centre - wavelength) > peak->Width)
            continue;
        const double clear = kIsolation * peak->Width;
        if ((l > 0 && wavelength - lines[l - 1].Data.Wavelength < clear) ||
            (l + 1 < lines.size() && lines[l + 1].Data.Wavelength - wavelength < clear))
            continue;
        found.push_back({wavelength, *peak});
    }
    if (found.empty())
        return std::nullopt;
    std::sort(found.begin(), found.end(),
              [](const TFound& a, const TFound& b) { return a.Peak.Height > b.Peak.Height; });
    found.resize(std::min(found.size(), kWidthLines));
    TWidth width;
    TValues widths, shifts;
    for (const TFound& f : found) {
        widths.push_back(f.Peak.Width);
        shifts.push_back(f.Peak.Centre - f.Wavelength);
        width.Lines.push_back(f.Wavelength);
    }
    std::sort(width.Lines.begin(), width.Lines.end());
    width.Width = Median(widths);
    width.Shift = Median(shifts);
    return width;
}

// The instrument profile: the share of a line that falls into a pixel at a distance x from the
// line's centre, a pseudo-Voigt of the spectrum's mean pixel spacing (profile.h).
struct TProfile {
    double Width = 0, Eta = 0, Spacing = 0;
    double At(double x) const { return PixelShare(x, Width, Eta, Spacing); }
};

// The pixels of a line: their distances from its centre and their counts less the background.
struct TLinePixels {
    TValues X, Y;
};

// How badly a profile fits the lines: the sum over the lines of sum (y - a P)^2 / sum y^2, each
// line's a = sum P y / sum P^2 fitted.
double Misfit(const TProfile& profile, const std::vector<TLinePixels>& lines) {
    double misfit = 0;
    for (const TLinePixels& line : lines) {
        double py = 0, pp = 0, yy = 0;
        TValues p(line.X.size());
        for (std::size_t i = 0; i < line.X.size(); ++i) {
            p[i] = profile.At(line.X[i]);
            py += p[i] * line.Y[i];
            pp += p[i] * p[i];
            yy += line.Y[i] * line.Y[i];
        }
        const double a = py / pp;
        double squares = 0;
        for (std::size_t i = 0; i < line.X.size(); ++i)
            squares += (line.Y[i] - a * p[i]) * (line.Y[i] - a * p[i]);
        misfit += squares / yy;
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

// The counts of each of several overlapping lines: the profile at each component's centre,
// fitted by least squares to the background-subtracted pixels of their common window, gives
// each line's whole counts a_k with the variance s_p^2 (P^T P)^-1_kk, s_p^2 the pixels'
// variance. False when the fit's matrix is singular.
bool FitProfiles(const TRawSpectrum& s, std::size_t first, std::size_t last, const TBackground& bg,
                 double pixelVariance, const TProfile& profile, const TValues& centres,
                 TValues& counts, TValues& variances) {
    const auto k = static_cast<std::int32_t>(centres.size());
    TPackedMatrix normal;
    TParamVector heights;
    for (std::size_t i = first; i <= last; ++i) {
        const double y = s.Counts[i] - bg.At(s.Wavelengths[i]);
        for (std::int32_t r = 1; r <= k; ++r) {
            const double pr = profile.At(s.Wavelengths[i] - centres[r - 1]);
            heights[r] += pr * y;
            for (std::int32_t c = 1; c <= r; ++c)
                normal[r * (r - 1) / 2 + c] += pr * profile.At(s.Wavelengths[i] - centres[c - 1]);
        }
    }
    bool ok = true;
    CholDecompose(k, normal, ok);
    if (!ok)
        return false;
    CholSolve(k, normal, heights);
    for (std::int32_t r = 1; r <= k; ++r) {
        TParamVector unit;
        unit[r] = 1;
        CholSolve(k, normal, unit);
        counts.push_back(static_cast<double>(heights[r]));
        variances.push_back(static_cast<double>(pixelVariance * unit[r]));
    }
    return true;
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

// The lines of one window, in components of lines closer than the line width.
struct TGroup {
    std::vector<std::vector<std::size_t>> Components;
};

// A window of pixels and the background fitted beside it.
struct TWindow {
    std::size_t First = 0, Last = 0; // its pixels
    TBand Below, Above;
    TBackground Background;
    TLineOutcome Failure = TLineOutcome::Integrated; // otherwise why there is none
    std::string Note;
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
    // The window from `low` to `high` for the lines firstLine to lastLine.
    TWindow FitWindow(double low, double high, std::size_t firstLine, std::size_t lastLine) const;
    void MeasureProfile();
    void Group(std::vector<TGroup>& groups) const;
    void Integrate(const TGroup& group);
    void SetAll(const TGroup& group, TLineOutcome outcome, const std::string& note);
    void Finish(TLineIntegral& line);

    const TRawSpectrum& s_;
    const std::vector<TSpeciesLine>& lines_;
    const TIntegrationOptions& options_;
    TIntegration& result_;
    TValues centres_;
    TProfile profile_;
};

TWindow TIntegrator::FitWindow(double low, double high, std::size_t firstLine,
                               std::size_t lastLine) const {
    TWindow window;
    const double from = s_.Wavelengths.front(), to = s_.Wavelengths.back();
    const auto fail = [&](TLineOutcome outcome, std::string note) {
        window.Failure = outcome;
        window.Note = std::move(note);
        return window;
    };
    if (low < from || high > to)
        return fail(
            TLineOutcome::OutOfRange,
            Format("the window %.4f to %.4f nm is not inside the spectrum's %.4f to %.4f nm",
                   {low, high, from, to}));
    window.First = FirstAtOrAbove(s_.Wavelengths, low);
    const std::size_t end = FirstAtOrAbove(s_.Wavelengths, std::nextafter(high, kInfinity));
    if (end <= window.First)
        return fail(TLineOutcome::OutOfRange, "the window holds no pixel");
    window.Last = end - 1;
    // The other lines' centres, whose windows the bands keep clear of.
    TValues others;
    for (std::size_t l = 0; l < lines_.size(); ++l)
        if (l < firstLine || l > lastLine)
            others.push_back(centres_[l]);
    const double spacing = Spacing(), half = result_.Window / 2;
    const auto wanted =
        static_cast<std::size_t>(std::max(kMinBandPixels, std::round(result_.Band / spacing)));
    const double reach = kBandReach * std::max(result_.Band, kMinBandPixels * spacing);
    window.Below = CollectBand(s_, low, -1, wanted, reach, others, half);
    window.Above = CollectBand(s_, high, +1, wanted, reach, others, half);
    for (const TBand* band : {&window.Below, &window.Above})
        if (band->Pixels.size() < kMinBackgroundPixels)
            return band->AtEnd ? fail(TLineOutcome::OutOfRange,
                                      "no room for the background between the window and the "
                                      "spectrum's end")
                               : fail(TLineOutcome::NoBackground,
                                      "the pixels beside the window belong to other lines");
    std::vector<std::size_t> pixels = window.Below.Pixels;
    pixels.insert(pixels.end(), window.Above.Pixels.begin(), window.Above.Pixels.end());
    window.Background = FitBackground(s_, pixels);
    return window;
}

// The profile fitted to the width lines that have no other line within a window's width, each
// centred where the scale's shift puts it: its width and Lorentz share by turns, twice, each by
// a golden-section search. Without such a line, a Gaussian of the line width.
void TIntegrator::MeasureProfile() {
    const double half = result_.Window / 2;
    profile_ = {result_.LineWidth, 0, Spacing()};
    std::vector<TLinePixels> pixels;
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        const bool clean =
            (l == 0 || centres_[l] - centres_[l - 1] >= result_.Window) &&
            (l + 1 == lines_.size() || centres_[l + 1] - centres_[l] >= result_.Window);
        if (!clean || !std::binary_search(result_.WidthLines.begin(), result_.WidthLines.end(),
                                          lines_[l].Data.Wavelength))
            continue;
        const TWindow window = FitWindow(centres_[l] - half, centres_[l] + half, l, l);
        if (window.Failure != TLineOutcome::Integrated)
            continue;
        TLinePixels line;
        for (std::size_t i = window.First; i <= window.Last; ++i) {
            line.X.push_back(s_.Wavelengths[i] - centres_[l]);
            line.Y.push_back(s_.Counts[i] - window.Background.At(s_.Wavelengths[i]));
        }
        pixels.push_back(std::move(line));
    }
    if (pixels.empty())
        return;
    const double width = result_.LineWidth;
    for (int pass = 0; pass < 2; ++pass) {
        profile_.Width = GoldenMinimum(width / 2, width * 1.5, [&](double w) {
            return Misfit({w, profile_.Eta, profile_.Spacing}, pixels);
        });
        profile_.Eta = GoldenMinimum(0, 1, [&](double eta) {
            return Misfit({profile_.Width, eta, profile_.Spacing}, pixels);
        });
    }
    result_.ProfileLines = pixels.size();
}

void TIntegrator::Group(std::vector<TGroup>& groups) const {
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        const double gap = l == 0 ? kInfinity : centres_[l] - centres_[l - 1];
        const bool newGroup = gap >= result_.Window;
        if (newGroup)
            groups.emplace_back();
        std::vector<std::vector<std::size_t>>& components = groups.back().Components;
        if (newGroup || gap >= result_.LineWidth)
            components.emplace_back();
        components.back().push_back(l);
    }
}

void TIntegrator::SetAll(const TGroup& group, TLineOutcome outcome, const std::string& note) {
    for (const auto& component : group.Components)
        for (const std::size_t l : component) {
            result_.Lines[l].Outcome = outcome;
            result_.Lines[l].Note = note;
        }
}

void TIntegrator::Integrate(const TGroup& group) {
    const double half = result_.Window / 2;
    const std::size_t firstLine = group.Components.front().front();
    const std::size_t lastLine = group.Components.back().back();
    for (const auto& component : group.Components)
        for (const std::size_t l : component) {
            result_.Lines[l].WindowLow = centres_[l] - half;
            result_.Lines[l].WindowHigh = centres_[l] + half;
        }
    const TWindow window =
        FitWindow(centres_[firstLine] - half, centres_[lastLine] + half, firstLine, lastLine);
    if (window.Failure != TLineOutcome::Integrated)
        return SetAll(group, window.Failure, window.Note);
    const TBackground& bg = window.Background;
    const std::size_t first = window.First, last = window.Last;
    for (const auto& component : group.Components)
        for (const std::size_t l : component) {
            TLineIntegral& line = result_.Lines[l];
            line.BandBelow = {s_.Wavelengths[window.Below.Pixels.back()],
                              s_.Wavelengths[window.Below.Pixels.front()]};
            line.BandAbove = {s_.Wavelengths[window.Above.Pixels.front()],
                              s_.Wavelengths[window.Above.Pixels.back()]};
            line.Background = bg.At(centres_[l]);
            line.BackgroundSlope = bg.B;
        }
    for (std::size_t i = first; i < last; ++i)
        if (s_.Raw[i] >= result_.SaturationLevel && s_.Raw[i + 1] >= result_.SaturationLevel)
            return SetAll(group, TLineOutcome::Saturated,
                          Format("a flat top at %.1f counts", {result_.SaturationLevel}));

    // A line alone is its window's sum; lines whose windows overlap get the counts of the
    // fitted profiles, so that every line counts what a window of its own would hold.
    const TSum whole = SumWindow(s_, first, last, bg, options_.Gain);
    const std::size_t k = group.Components.size();
    TValues centres, counts, variances;
    for (const auto& component : group.Components) {
        double mean = 0;
        for (const std::size_t l : component)
            mean += centres_[l] / static_cast<double>(component.size());
        centres.push_back(mean);
    }
    if (k == 1) {
        counts = {whole.Counts};
        variances = {whole.Variance};
    } else if (k > static_cast<std::size_t>(kMaxShared) ||
               !FitProfiles(s_, first, last, bg, whole.PixelVariance, profile_, centres, counts,
                            variances)) {
        return SetAll(group, TLineOutcome::Blend,
                      Format("%d lines overlap here, too many to tell apart", {k}));
    } else {
        // What a window of its own would hold of each line.
        for (std::size_t c = 0; c < k; ++c) {
            const std::size_t from = FirstAtOrAbove(s_.Wavelengths, centres[c] - half);
            const std::size_t to =
                FirstAtOrAbove(s_.Wavelengths, std::nextafter(centres[c] + half, kInfinity)) - 1;
            double inside = 0;
            for (std::size_t i = from; i <= to; ++i)
                inside += profile_.At(s_.Wavelengths[i] - centres[c]);
            counts[c] *= inside;
            variances[c] = variances[c] * inside * inside + BackgroundVariance(s_, from, to, bg);
        }
    }
    for (std::size_t c = 0; c < k; ++c) {
        const std::vector<std::size_t>& component = group.Components[c];
        const double uncertainty = static_cast<double>(FpSqrt(variances[c]));
        std::vector<double> wavelengths;
        double sumA = 0;
        bool oneUpper = true;
        for (const std::size_t l : component) {
            wavelengths.push_back(lines_[l].Data.Wavelength);
            sumA += lines_[l].Data.Aki;
            oneUpper = oneUpper && lines_[l].Data.EUpper == lines_[component[0]].Data.EUpper &&
                       lines_[l].HasLevels;
        }
        for (const std::size_t l : component) {
            TLineIntegral& line = result_.Lines[l];
            line.Counts = counts[c];
            line.CountsUncertainty = uncertainty;
            line.Outcome = k > 1 ? TLineOutcome::Shared : TLineOutcome::Integrated;
            if (k > 1)
                line.Note = "its window overlaps another's: the counts of its fitted profile";
            if (component.size() == 1) {
                Finish(line);
                continue;
            }
            if (options_.SumBlends && oneUpper) {
                const double share = line.Line.Data.Aki / sumA;
                line.Counts = share * counts[c];
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
    if (!(line.Counts > options_.DetectionLimit * line.CountsUncertainty)) {
        line.Outcome = TLineOutcome::BelowDetection;
        line.Note = Format("%.1f counts, not above %s u = %.1f",
                           {line.Counts, ShortestReal(options_.DetectionLimit),
                            options_.DetectionLimit * line.CountsUncertainty});
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
    if (options_.LineWidth > 0) {
        result_.LineWidth = options_.LineWidth;
    } else if (const std::optional<TWidth> width = MeasureWidth(s_, lines_)) {
        result_.LineWidth = width->Width;
        result_.Shift = width->Shift;
        result_.WidthLines = width->Lines;
    } else if (options_.Window > 0) {
        result_.LineWidth = options_.Window / kWindowPerWidth;
    } else {
        throw Exception("No line width can be measured on \"" + s_.FileName + "\": no line of " +
                        SpeciesName(lines_) +
                        " stands alone and clearly out of the noise. Give the window's width.");
    }
    result_.Window = options_.Window > 0 ? options_.Window
                                         : std::max(kWindowPerWidth * result_.LineWidth,
                                                    kMinWindowPixels * spacing);
    result_.Band = std::max(result_.Window / 2, kMinBandPixels * spacing);
    result_.SaturationLevel = options_.SaturationLevel > 0
                                  ? options_.SaturationLevel
                                  : *std::max_element(s_.Raw.begin(), s_.Raw.end());
    for (const TSpeciesLine& line : lines_) {
        TLineIntegral integral;
        integral.Line = line;
        integral.Centre = line.Data.Wavelength + result_.Shift;
        centres_.push_back(integral.Centre);
        result_.Lines.push_back(integral);
    }
    MeasureProfile();
    result_.ProfileWidth = profile_.Width;
    result_.LorentzShare = profile_.Eta;
    std::vector<TGroup> groups;
    Group(groups);
    for (const TGroup& group : groups)
        Integrate(group);
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
    notes.push_back(result.WidthLines.empty()
                        ? Format("Line width (FWHM) %.4f nm, as given.", {result.LineWidth})
                        : Format("Line width (FWHM) %.4f nm, the median over the lines at %s nm.",
                                 {result.LineWidth, WavelengthList(result.WidthLines)}));
    if (result.Shift != 0)
        notes.push_back(
            Format("The spectrum's wavelengths lie %.4f nm from the database's; the windows "
                   "follow them.",
                   {result.Shift}));
    notes.push_back(Format("Windows %.4f nm wide around each line; the background a straight line "
                           "through up to %.4f nm of pixels on either side; saturation at %.1f "
                           "counts.",
                           {result.Window, result.Band, result.SaturationLevel}));
    notes.push_back(result.Calibrated()
                        ? "Intensities: the counts " + result.Calibration +
                              (options.Response->Unit() == TResponseUnit::PerPhoton
                                   ? ", over the wavelength in nm."
                                   : ".")
                        : std::string("Intensities: the counts over the wavelength in nm, not "
                                      "calibrated (no spectral response was given)."));
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
                        "u_intensity\toutcome\tnote\tcalibration\r\n";
    for (const TLineIntegral& line : integration.Lines) {
        for (const double value :
             {line.Line.Data.Wavelength, line.Centre, line.WindowLow, line.WindowHigh,
              line.BandBelow[0], line.BandBelow[1], line.BandAbove[0], line.BandAbove[1],
              line.Background, line.BackgroundSlope, line.Counts, line.CountsUncertainty,
              line.Intensity, line.Uncertainty})
            table += ShortestReal(value) + "\t";
        table += std::string(OutcomeText(line.Outcome)) + "\t" + line.Note + "\t" +
                 integration.Calibration + "\r\n";
    }
    return table;
}

} // namespace zelt
