// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/fitquality.h"

#include "common/format.h"
#include "common/fpcheck.h"
#include "leastsquares/marq3w.h"
#include "linemodel/constants.h"
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

// chi^2 of the measured intensities against the model fractions b_i with one free total Q_k per
// upper level k: with q_i = I_i lambda_i (the photon rate) and s_i = u(I_i) lambda_i,
//     chi^2 = sum_k min_Q sum_{i in k} ((q_i - Q b_i) / s_i)^2,
//     Q_k = sum q_i b_i / s_i^2 / sum b_i^2 / s_i^2,
// which counts sum_k (m_k - 1) independent data as the fractions do (weighted least squares
// with a nuisance scale per level). Absent unless every line with a measured fraction has an
// intensity uncertainty above 0 and a model fraction above 0.
std::optional<long double> ChiSquare(const TCheckedVector<TLine>& lines) {
    struct TSums {
        long double QB = 0, BB = 0;
    };
    std::map<std::int32_t, TSums> levels;
    for (const TLine& line : lines) {
        if (!Measured(line))
            continue;
        if (!(line.IntensityUncertainty > 0) || !(line.BFFit > 0))
            return std::nullopt;
        const long double q = static_cast<long double>(line.Intensity) * line.Data.Wavelength;
        const long double s =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        TSums& sums = levels[line.UpperLevel];
        sums.QB += q * line.BFFit / (s * s);
        sums.BB += static_cast<long double>(line.BFFit) * line.BFFit / (s * s);
    }
    long double chi2 = 0;
    for (const TLine& line : lines) {
        if (!Measured(line))
            continue;
        const TSums& sums = levels.at(line.UpperLevel);
        const long double q = static_cast<long double>(line.Intensity) * line.Data.Wavelength;
        const long double s =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        const long double r = (q - sums.QB / sums.BB * line.BFFit) / s;
        chi2 += r * r;
    }
    return chi2;
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

    void Raise(TQualityFlag flag, const std::string& problem) {
        quality_.Flags |= flag;
        quality_.Problems.push_back(problem);
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

TFitQuality JudgeFit(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
                     const TFitResult& fit, std::int32_t fitCount,
                     const std::vector<bool>& frozen) {
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
    const bool anyFrozen = std::find(frozen.begin(), frozen.end(), true) != frozen.end();
    // The judgement adds to a fit and never ends it: a number it cannot form is left absent.
    FpReset();
    if (quality.DegreesOfFreedom >= 1 && !anyFrozen) {
        TParamVector quoted;
        bool defined = true;
        for (std::int32_t k = 1; k <= fitCount; ++k) {
            const long double variance = fit.Covariance[(k - 1) * fitCount + k];
            defined = defined && variance >= 0;
            if (defined)
                quoted[k] = std::sqrt(fit.SumOfSquares / quality.DegreesOfFreedom * variance);
        }
        if (defined && !FpPending())
            quality.Quoted = quoted;
    }
    FpReset();
    if (quality.DegreesOfFreedom >= 1) {
        const std::optional<long double> chi2 = ChiSquare(lines);
        if (chi2 && !FpPending())
            quality.ChiSquarePerDegree = *chi2 / quality.DegreesOfFreedom;
    }
    FpReset();
    if (isFrozen(LogDensity))
        judgement.Raise(DensityNotDetermined, std::string("log10 n_1: ") + kHeldByGuard);
    judgement.CheckTemperatureSign();
    if (fitCount >= 2) {
        const long double temperature = Slot(p, Temperature);
        if (!judgement.TemperatureMatters())
            judgement.Raise(TemperatureNotDetermined,
                            "T_exc: with fewer than two populated levels the populations do not "
                            "depend on it.");
        else if (isFrozen(Temperature))
            judgement.Raise(TemperatureNotDetermined, std::string("T_exc: ") + kHeldByGuard);
        else if (!judgement.TemperatureResolved())
            judgement.Raise(TemperatureNotDetermined, judgement.UnresolvedText());
        else if (quality.Quoted && (*quality.Quoted)[2] >= std::fabs(temperature))
            judgement.Raise(TemperatureNotDetermined,
                            Format("The uncertainty of T_exc, %.0f K, is not below T_exc = %.0f "
                                   "K itself.",
                                   {(*quality.Quoted)[2], temperature}));
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
