// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/fitquality.h"

#include "common/format.h"
#include "common/fpcheck.h"
#include "leastsquares/marq3w.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"
#include "linemodel/region.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace zelt {

namespace {

// The few words of each flag in the procedure column, in the order of the flags.
struct TFlagWords {
    TQualityFlag Flag;
    const char* Words;
};
constexpr TFlagWords kFlagWords[] = {
    {NoInformation, "no information"},
    {TooFewFractions, "too few fractions"},
    {Diverged, "diverged"},
    {LocalMinimum, "local minimum"},
    {DensityNotDetermined, "n_1 not determined"},
    {TemperatureNotPositive, "T_exc not positive"},
    {TemperatureNotDetermined, "T_exc not determined"},
    {NegativeIntensity, "negative intensity"},
};

bool Measured(const TLine& line) {
    return line.BFMeasured > 0;
}

// The number of lines with a measured fraction per upper level.
std::map<std::int32_t, std::int32_t> MeasuredLines(const TCheckedVector<TLine>& lines) {
    std::map<std::int32_t, std::int32_t> count;
    for (const TLine& line : lines)
        if (Measured(line))
            ++count[line.UpperLevel];
    return count;
}

// The energy span (eV) of the populated levels that lines with a measured fraction absorb
// from, counting only lines whose upper level has a second measured line (a lone line's
// fraction is 1 whatever its absorption); absent when no such line absorbs.
std::optional<long double> AbsorbingSpan(const TCheckedVector<TLine>& lines,
                                         const TCheckedVector<TLevel>& levels,
                                         std::int32_t populated) {
    const std::map<std::int32_t, std::int32_t> perLevel = MeasuredLines(lines);
    std::optional<long double> low, high;
    for (const TLine& line : lines) {
        if (!Measured(line) || line.LowerLevel >= populated || perLevel.at(line.UpperLevel) < 2)
            continue;
        const long double energy = levels[line.LowerLevel].Energy;
        low = std::min(low.value_or(energy), energy);
        high = std::max(high.value_or(energy), energy);
    }
    if (!low)
        return std::nullopt;
    return *high - *low;
}

// Collects the problems of one result.
class TJudgement {
public:
    TJudgement(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
               const TParamVector& p, std::int32_t parameters)
        : lines_(lines), levels_(levels), populated_(PopulatedLevels(p, levels.size())),
          temperature_(Slot(p, Temperature)), pathLength_(Slot(p, PathLength)) {
        quality_.Fractions = IndependentFractions(lines);
        quality_.DegreesOfFreedom = quality_.Fractions - parameters;
        CheckInformation(parameters);
    }

    TFitQuality& Quality() { return quality_; }

    // Adds a problem after those of its flag and of the flags before it in kFlagWords, so
    // that the problems come in the order of the procedure's words.
    void Raise(TQualityFlag flag, const std::string& problem) {
        quality_.Flags |= flag;
        const auto rank = [](TQualityFlag f) {
            return std::find_if(std::begin(kFlagWords), std::end(kFlagWords),
                                [f](const TFlagWords& words) { return words.Flag == f; }) -
                   std::begin(kFlagWords);
        };
        std::size_t at = ranks_.size();
        while (at > 0 && ranks_[at - 1] > rank(flag))
            --at;
        ranks_.insert(ranks_.begin() + static_cast<std::ptrdiff_t>(at), rank(flag));
        quality_.Problems.insert(quality_.Problems.begin() + static_cast<std::ptrdiff_t>(at),
                                 problem);
    }

    // Whether the populations depend on T_exc at all.
    bool TemperatureMatters() const { return populated_ >= 2; }

    void CheckTemperatureSign() {
        if (TemperatureMatters() && !(temperature_ > 0))
            Raise(TemperatureNotPositive,
                  Format("T_exc = %.0f K is not above 0 K; the model takes its absolute value.",
                         {temperature_}));
    }

    // T_exc is resolved when dE / (k T_exc) >= 1e-3 over the energy span dE (eV, times e in J)
    // of the absorbing levels, n_j / n_1 = g_j / g_1 exp(-(E_j - E_1) / (k T_exc)). (At 0 K the
    // sign check has spoken, and without absorbing levels NoInformation.)
    bool TemperatureResolved() const {
        const std::optional<long double> span = AbsorbingSpan(lines_, levels_, populated_);
        return !span || temperature_ == 0 || Exponent(*span) >= kResolvedExponent;
    }
    std::string UnresolvedText() const {
        const long double span = AbsorbingSpan(lines_, levels_, populated_).value_or(0);
        return Format("T_exc = %.0f K is beyond what the populations resolve: the absorbing levels "
                      "span %.4f eV, dE/(k T_exc) = %.1e, below %.1e.",
                      {temperature_, span, Exponent(span), kResolvedExponent});
    }

    void CheckNegativeIntensities() {
        std::int32_t count = 0;
        double first = 0;
        for (const TLine& line : lines_) {
            if (line.Intensity < 0 && count++ == 0)
                first = line.Data.Wavelength;
        }
        if (count > 0)
            Raise(NegativeIntensity,
                  Format("%d line(s) with a negative intensity, the first at %s nm: their measured "
                         "fractions are not physical.",
                         {count, FloatToStr(first)}));
    }

    // The procedure text: prefix and the words of the first problem, or `sound`.
    void SetProcedure(const std::string& prefix, const std::string& sound) {
        quality_.Procedure = sound;
        for (const TFlagWords& words : kFlagWords) {
            if (quality_.Flags & words.Flag) {
                quality_.Procedure = prefix + words.Words;
                return;
            }
        }
    }

private:
    long double Exponent(long double span) const {
        return span * kElementaryCharge / (kBoltzmann * std::fabs(temperature_));
    }
    void CheckInformation(std::int32_t parameters) {
        if (std::none_of(lines_.begin(), lines_.end(),
                         [](const TLine& line) { return line.Intensity > 0; }))
            Raise(NoInformation, "No selected line has a positive intensity.");
        else if (populated_ < 1)
            Raise(NoInformation, "No level is populated (Boltzmax below 1), so no line absorbs.");
        else if (pathLength_ == 0)
            Raise(NoInformation, "The absorption path is 0 m, so no line absorbs.");
        else if (!AbsorbingSpan(lines_, levels_, populated_))
            Raise(NoInformation,
                  Format("No measured line absorbs from one of the %d populated level(s) beside a "
                         "second measured line of its upper level: the fractions depend on "
                         "neither n_1 nor T_exc.",
                         {populated_}));
        if (quality_.Fractions < parameters)
            Raise(TooFewFractions,
                  Format("%d independent branching fraction(s) for %d fitted parameter(s): an "
                         "upper level with m measured lines gives m - 1.",
                         {quality_.Fractions, parameters}));
    }

    const TCheckedVector<TLine>& lines_;
    const TCheckedVector<TLevel>& levels_;
    const std::int32_t populated_;
    const long double temperature_, pathLength_;
    TFitQuality quality_;
    std::vector<std::ptrdiff_t> ranks_; // of the problems, in kFlagWords
};

const char* const kHeldByGuard = "the data do not move it (the minimiser's guard held it "
                                 "fixed), so its uncertainty is the guard's, not the data's.";

} // namespace

std::string FlagWords(std::uint32_t flags) {
    std::string words;
    for (const TFlagWords& flag : kFlagWords)
        if (flags & flag.Flag)
            words += (words.empty() ? "" : "; ") + std::string(flag.Words);
    return words;
}

std::string FitProcedure(std::int32_t code) {
    switch (code) {
    case MarqNotStarted:
        return "fit:not started";
    case MarqSumReached:
        return "fit:sum reached";
    case MarqLambdaReached:
        return "fit:lambda reached";
    case MarqIterationsReached:
        return "fit:itercount reached";
    case MarqModelFailed:
        return "fit:false residuum";
    case MarqDerivativesFailed:
        return "fit:false hessian";
    case MarqNotChanging:
        return "fit:OK";
    default:
        return Format("%s %d", {"fit:", code});
    }
}

std::string PointText(long double logDensity, long double temperature) {
    const std::string density = std::fabs(logDensity) < 4900
                                    ? Format("n_1 = %.3e m-3", {PowerOfTen(logDensity)})
                                    : Format("log10 n_1 = %.2f", {logDensity});
    return density + Format(", T_exc = %.0f K", {temperature});
}

namespace {

// Whether the fit's point lies more than the width of the map's range (at least a decade)
// beyond it and as far from the likelihood's minimum: a run-away, not a minimum outside the map.
bool RanAway(const TLikelihoodFit& likelihood, long double logDensity) {
    const TSearchRange& range = likelihood.Range;
    const long double low = std::min(range.FromLogDensity, range.ToLogDensity),
                      high = std::max(range.FromLogDensity, range.ToLogDensity);
    const long double width = std::max(high - low, 1.0L);
    const bool beyond = !(logDensity >= low - width && logDensity <= high + width);
    return beyond && !(std::fabs(logDensity - Slot(likelihood.Params, LogDensity)) <= width);
}

// The problems the likelihood fit of the same data finds with the fit and with itself. A fit
// that the minimiser's guard `held` at its start did not move (its start lay where the data are
// flat, which the guard's problem says): it is not judged a run-away or a local minimum.
void JudgeWithLikelihood(TJudgement& judgement, const TFitResult& fit, const TResultValues& line,
                         std::int32_t fitCount, bool held) {
    const TParamVector& p = fit.Params;
    const long double x = Slot(p, LogDensity), t = Slot(p, Temperature);
    TFitQuality& quality = judgement.Quality();
    bool finite = std::isfinite(line.Total) && std::isfinite(line.TotalUncertainty) &&
                  std::isfinite(line.TemperatureUncertainty);
    for (std::int32_t j = 0; j < line.Densities.size(); ++j)
        finite = finite && std::isfinite(line.Densities[j]) && std::isfinite(line.Uncertainties[j]);
    if (!finite)
        judgement.Raise(Diverged, "A floating-point fault in the uncertainties of the fit, which "
                                  "ended at " +
                                      PointText(x, t) + ": it ran away.");
    if (!fit.Likelihood || !fit.Likelihood->Done)
        return;
    const TLikelihoodFit& l = *fit.Likelihood;
    if (finite && !held && RanAway(l, x))
        judgement.Raise(
            Diverged, "The fit ran away to " + PointText(x, t) +
                          ", beyond the map's range; the likelihood's minimum is " +
                          PointText(Slot(l.Params, LogDensity), Slot(l.Params, Temperature)) + ".");
    if (!l.Divergence.empty())
        judgement.Raise(Diverged, l.Divergence);
    // The minimiser stops at a sum of squares of 1e-15 (SumSqTarget): below it all is converged.
    const TGridBest& best = l.LineFitBest;
    if (!held && best.Found && fit.SumOfSquares > 1.01L * best.Sum && fit.SumOfSquares > 1e-15L)
        judgement.Raise(LocalMinimum,
                        Format("The fit ended at S = %.3e, but the point ", {fit.SumOfSquares}) +
                            PointText(best.LogDensity, best.Temperature) +
                            Format(" of a coarse grid over the map's range has S = %.3e: a local "
                                   "minimum; start the fit there.",
                                   {best.Sum}));
    if (l.Noise == TNoiseModel::Given && l.DegreesOfFreedom >= 1)
        quality.ChiSquarePerDegree = l.ChiSquare / l.DegreesOfFreedom;
    const TResultValues& v = l.Values;
    if (l.Quoted && !(v.Uncertainties[0] < v.Densities[0]))
        judgement.Raise(DensityNotDetermined,
                        Format("The uncertainty of n_1, %.3e m-3, is not below n_1 = %.3e m-3 "
                               "itself.",
                               {v.Uncertainties[0], v.Densities[0]}));
    else if (l.Quoted && (!l.DensityLow || !l.DensityHigh))
        judgement.Raise(DensityNotDetermined,
                        l.DensityHigh ? Format("The data bound n_1 only from above, n_1 < %.3e m-3 "
                                               "(68.3 %%): its lines are optically thin.",
                                               {*l.DensityHigh})
                                      : "The data do not bound n_1 from above (68.3 %): its lines "
                                        "are saturated.");
    else if (!l.Quoted && ChiSquareScale(l.Noise, l.ChiSquare, l.DegreesOfFreedom).value_or(0) > 0)
        judgement.Raise(DensityNotDetermined,
                        "chi^2 of the intensities is not curved upward at its minimum " +
                            PointText(Slot(l.Params, LogDensity), Slot(l.Params, Temperature)) +
                            ": no uncertainty to quote.");
    if (fitCount >= 2 && l.Quoted && !(v.TemperatureUncertainty < std::fabs(v.Temperature)))
        judgement.Raise(TemperatureNotDetermined,
                        Format("The uncertainty of T_exc, %.0f K, is not below T_exc = %.0f K "
                               "itself.",
                               {v.TemperatureUncertainty, v.Temperature}));
}

} // namespace

TFitQuality JudgeFit(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
                     const TFitResult& fit, std::int32_t fitCount, const std::vector<bool>& frozen,
                     const TResultValues& line) {
    const TParamVector& p = fit.Params;
    TJudgement judgement(lines, levels, p, fitCount);
    TFitQuality& quality = judgement.Quality();
    const auto isFrozen = [&](std::int32_t slot) {
        return slot <= fitCount && slot <= static_cast<std::int32_t>(frozen.size()) &&
               frozen[slot - 1];
    };
    quality.SumOfSquares = fit.SumOfSquares;
    const std::int32_t n = lines.size();
    if (n > 2)
        quality.SumPerPoint = fit.SumOfSquares / (n - 2);
    if (isFrozen(LogDensity))
        judgement.Raise(DensityNotDetermined, std::string("log10 n_1: ") + kHeldByGuard);
    else if (!(line.Uncertainties.empty() || line.Uncertainties[0] < line.Densities[0]) &&
             std::isfinite(line.Uncertainties[0]))
        judgement.Raise(DensityNotDetermined,
                        Format("The result line's uncertainty of n_1, %.3e m-3, is not below "
                               "n_1 = %.3e m-3 itself.",
                               {line.Uncertainties[0], line.Densities[0]}));
    const bool held = std::find(frozen.begin(), frozen.end(), true) != frozen.end() &&
                      Slot(fit.Params, LogDensity) == Slot(fit.Start, LogDensity) &&
                      Slot(fit.Params, Temperature) == Slot(fit.Start, Temperature);
    JudgeWithLikelihood(judgement, fit, line, fitCount, held);
    judgement.CheckTemperatureSign();
    if (fitCount >= 2) {
        if (!judgement.TemperatureMatters())
            judgement.Raise(TemperatureNotDetermined,
                            "T_exc: with fewer than two populated levels the populations do not "
                            "depend on it.");
        else if (isFrozen(Temperature))
            judgement.Raise(TemperatureNotDetermined, std::string("T_exc: ") + kHeldByGuard);
        else if (!judgement.TemperatureResolved())
            judgement.Raise(TemperatureNotDetermined, judgement.UnresolvedText());
    }
    judgement.CheckNegativeIntensities();
    judgement.SetProcedure("fit:", FitProcedure(TruncToInt(Slot(p, ResultCode))));
    return quality;
}

TFitQuality JudgeMap(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
                     const TParamVector& p) {
    TJudgement judgement(lines, levels, p, kRegionParameters);
    TFitQuality& quality = judgement.Quality();
    const std::int32_t n = lines.size();
    const long double residual = Slot(p, ResultRSS);
    quality.SumOfSquares = n > 2 ? residual * (n - 2) : residual;
    if (n > 2)
        quality.SumPerPoint = residual;
    judgement.CheckTemperatureSign();
    judgement.CheckNegativeIntensities();
    judgement.SetProcedure("map:", "map");
    return quality;
}

} // namespace zelt
