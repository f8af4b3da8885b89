// SPDX-License-Identifier: GPL-3.0-or-later
// The integration of a spectrum's lines as a whole: the pixels' noise, the saturation level,
// the wavelength scale, the profile's shape and the windows' grouping before the windows are
// fitted (windowfit.cpp), and the notes of what was done.
#include "spectrum/integrator.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "spectrum/calibration.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>

namespace zelt {

namespace {

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

// The pixels no fit uses: those in the user's excluded ranges and the saturated ones.
void TIntegrator::MarkUnusable() {
    noise_ = PixelNoise(s_);
    std::tie(result_.SaturationLevel, result_.SaturationSource) =
        SaturationOf(s_, options_.SaturationLevel, noise_);
    unusable_.assign(s_.Pixels(), false);
    for (std::size_t i = 0; i < s_.Pixels(); ++i) {
        for (const auto& [a, b] : options_.Exclusions)
            unusable_[i] = unusable_[i] || (s_.Wavelengths[i] >= a && s_.Wavelengths[i] <= b);
        unusable_[i] = unusable_[i] || Saturated(i);
    }
}

// The scale, measured on the peaks of every known line, and each line's centre on it.
void TIntegrator::MeasureScale() {
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
}

// The profile (given, or fitted to the width lines), the windows' and the bands' widths.
void TIntegrator::MeasureProfile() {
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
    const double spacing = Spacing();
    result_.LineWidth = shape_.Fwhm();
    result_.GaussWidth = shape_.GaussFwhm();
    result_.LorentzWidth = shape_.LorentzFwhm();
    result_.Window = options_.Window > 0 ? options_.Window
                                         : std::max(kWindowPerWidth * result_.LineWidth,
                                                    kMinWindowPixels * spacing);
    result_.Band = std::max(result_.Window / 2, kMinBandPixels * spacing);
}

void TIntegrator::Run() {
    MarkUnusable();
    MeasureScale();
    MeasureProfile();
    // Every window fitted twice: the second time with the wings of the lines of the other
    // windows, as the first fitted them, taken off.
    Group();
    for (const bool final : {false, true})
        for (TGroup& group : groups_)
            Integrate(group, final);
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

} // namespace zelt
