// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/freelevels.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"
#include "linemodel/fitquality.h"
#include "linemodel/fitrun.h"
#include "linemodel/region.h"

#include <boost/math/distributions/fisher_f.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace zelt {

namespace {

constexpr long double kLogStep = 1e-3L;
constexpr long double kLn10 = std::numbers::ln10_v<long double>;

// The minimiser's sum of squares sum_j w_j (measured - model)^2 at q.
long double SumOfSquares(TFreeLevelsModel& model, const TParamVector& q) {
    const TCheckedVector<TLine>& lines = model.Data().SelectedLines;
    const TCheckedVector<long double> weights = FractionWeights(model.Data());
    long double sum = 0;
    for (std::int32_t i = 0; i < lines.size(); ++i) {
        const long double difference = lines[i].BFMeasured - model.Fraction(q, i);
        sum += difference * difference * weights[i];
    }
    return sum;
}

// The levels whose density the data determine at the fitted vector q (sum of squares S, nu
// degrees of freedom). Not a level the minimiser's guard held fixed (`frozen`: one that is the
// lower level of no line, or whose lines stay thin wherever it moves), nor one whose absorption
// the data cannot tell from none: with its density 0 (its lines thin, the others as fitted) the sum
// of squares stays within S (1 + F(1, nu; 0.683) / nu), the one-parameter bound at one standard
// deviation. Such a level's lines are optically thin and give at most an upper bound on its
// density, which the fit's linearised uncertainty would hide behind a small +-.
std::vector<bool> DeterminedLevels(TFreeLevelsModel& model, const TParamVector& q, long double sum,
                                   std::int32_t nu, std::vector<bool> frozen) {
    std::vector<bool>& determined = frozen;
    determined.flip();
    if (nu < 1)
        return determined;
    const boost::math::fisher_f_distribution<long double> distribution(1, nu);
    const long double bound = sum * (1 + boost::math::quantile(distribution, 0.683L) / nu);
    for (std::int32_t k = 1; k <= model.Levels(); ++k) {
        TParamVector thin = q;
        thin[k] = -std::numeric_limits<long double>::infinity();
        if (determined[k - 1] && SumOfSquares(model, thin) <= bound)
            determined[k - 1] = false;
    }
    return determined;
}

} // namespace

std::string LevelName(std::int32_t k) {
    return Format("n_%d", {k});
}

TFreeLevelsModel::TFreeLevelsModel(TAtomicData& data, const TParamVector& setup)
    : data_(data), setup_(setup) {
    const std::int32_t boltzmax = TruncToInt(Slot(setup, BoltzmannLevels));
    levels_ = data.PopulatedLevels(setup);
    if (levels_ < 1)
        throw Exception(
            Format("Free lower levels: no level is populated (Boltzmax = %d).", {boltzmax}));
    if (levels_ > kMaxFreeLevels)
        throw Exception(Format("Free lower levels: Boltzmax = %d levels, but a fit takes at most "
                               "%d parameters.",
                               {levels_, kMaxFreeLevels}));
}

long double TFreeLevelsModel::Fraction(const TParamVector& q, long double x) {
    const std::int32_t point = PointIndex(x);
    std::int32_t index = data_.PrecalcStore.FindModelSlots(q);
    if (index < 0) {
        for (std::int32_t k = 1; k <= levels_; ++k)
            data_.Levels[k - 1].Population = static_cast<double>(PowerOfTen(q[k]));
        if (FpPending()) {
            std::string densities;
            for (std::int32_t k = 1; k <= levels_; ++k)
                densities += (k > 1 ? ", " : "") + FloatToStr(q[k]);
            FpCheck("the free level densities (log10 " + densities + ")");
        }
        data_.ComputeFractions(q, setup_);
        index = data_.PrecalcStore.size() - 1;
    }
    return data_.PrecalcStore[index].Values[point];
}

long double TFreeLevelsModel::Trial(const TParamVector& q, bool& ok, long double x) {
    try {
        return Fraction(q, x);
    } catch (const EMathError&) {
        ok = false;
        return 0;
    }
}

void TFreeLevelsModel::Derivatives(std::int32_t j, const TDataVector& x, const TParamVector& q,
                                   TParamVector& dy) {
    TParamVector shifted = q;
    for (std::int32_t k = 1; k <= levels_; ++k) {
        shifted[k] = q[k] + kLogStep;
        const long double above = Fraction(shifted, x[j]);
        shifted[k] = q[k] - kLogStep;
        const long double below = Fraction(shifted, x[j]);
        dy[k] = (above - below) / (2 * kLogStep);
        shifted[k] = q[k];
    }
}

TModelComparison CompareModels(long double boltzmannSum, std::int32_t boltzmannParameters,
                               long double freeSum, std::int32_t freeParameters,
                               std::int32_t freeDegreesOfFreedom) {
    TModelComparison c;
    c.BoltzmannSum = boltzmannSum;
    c.FreeSum = freeSum;
    c.BoltzmannParameters = boltzmannParameters;
    c.FreeParameters = freeParameters;
    c.FreeDegreesOfFreedom = freeDegreesOfFreedom;
    if (freeParameters <= boltzmannParameters)
        c.Reason = Format("the free fit has %d levels, the Boltzmann fit %d parameters",
                          {freeParameters, boltzmannParameters});
    else if (freeDegreesOfFreedom < 1)
        c.Reason = Format("no degree of freedom is left to the free fit (nu = %d)",
                          {freeDegreesOfFreedom});
    else if (!(freeSum > 0))
        c.Reason = "the free fit reproduces the fractions exactly (S = 0)";
    if (!c.Reason.empty())
        return c;
    c.Applicable = true;
    const std::int32_t extra = freeParameters - boltzmannParameters;
    c.F = ((boltzmannSum - freeSum) / extra) / (freeSum / freeDegreesOfFreedom);
    // The free fit starts from the Boltzmann one and never accepts a rise of S, so F < 0 only
    // for a free fit started elsewhere that found a worse minimum: no evidence for free levels.
    if (c.F > 0) {
        const boost::math::fisher_f_distribution<long double> distribution(extra,
                                                                           freeDegreesOfFreedom);
        c.PValue = boost::math::cdf(boost::math::complement(distribution, c.F));
    }
    FpCheck("the F-test of the Boltzmann fit against the free fit");
    return c;
}

TFreeLevelsFit FitFreeLevelsFrom(TFreeLevelsModel& model, const TParamVector& start,
                                 std::int32_t iterationLimit, const std::string& logPath) {
    TAtomicData& data = model.Data();
    const std::int32_t levels = model.Levels();
    FpReset();
    data.ClearPrecalc();
    TPrecalcScope scope(data);
    const TLineConstantsScope constants(data, model.Setup());
    // A fault at the start is raised with its cause; at a trial vector it only rejects the step.
    if (!data.SelectedLines.empty())
        model.Fraction(start, 0);
    std::vector<std::string> names;
    for (std::int32_t k = 1; k <= levels; ++k)
        names.push_back("log10(" + LevelName(k) + ")");
    const TMarqModel trial = [&model](std::int32_t, const TParamVector& q, bool& ok,
                                      long double x) { return model.Trial(q, ok, x); };
    const TMarqDerivatives derivatives =
        [&model](std::int32_t j, const TDataVector& x, std::int32_t, const TParamVector& q,
                 TParamVector& dy, bool&) { model.Derivatives(j, x, q, dy); };
    TFreeLevelsFit result;
    std::vector<bool> frozen;
    result.Fit = FitFractions(data, start, iterationLimit, levels, 0, logPath, trial, derivatives,
                              frozen, names);
    const TParamVector& q = result.Fit.Params;

    result.Parameters = levels;
    result.DegreesOfFreedom = IndependentFractions(data.SelectedLines) - levels;
    const std::vector<bool> determined =
        DeterminedLevels(model, q, result.Fit.SumOfSquares, result.DegreesOfFreedom, frozen);
    // The tests of DeterminedLevels evaluated other vectors.
    EvaluateFitted(data, q, levels, trial);
    const bool scaled = result.DegreesOfFreedom >= 1;
    const long double scale = scaled ? result.Fit.SumOfSquares / result.DegreesOfFreedom : 0;
    const auto covariance = [&](std::int32_t i, std::int32_t k) {
        return result.Fit.Covariance[(i - 1) * levels + k];
    };
    const auto known = [&](std::int32_t k) { return scaled && determined[k - 1]; };
    const TLevel& first = data.Levels[0];
    for (std::int32_t k = 1; k <= levels; ++k) {
        TFreeLevel level;
        level.Level = k - 1;
        level.Determined = determined[k - 1];
        level.LogDensity = q[k];
        level.Density = PowerOfTen(q[k]);
        level.Ratio = PowerOfTen(q[k] - q[1]);
        if (known(k)) {
            level.LogUncertainty = FpSqrt(scale * covariance(k, k));
            level.Uncertainty = kLn10 * level.Density * *level.LogUncertainty;
        }
        const TLevel& own = data.Levels[k - 1];
        // ln((g_k / g_1) / (n_k / n_1)) = (E_k - E_1) e / (k T) under Boltzmann balance.
        const long double logarithm =
            std::log(static_cast<long double>(own.G) / first.G) - kLn10 * (q[k] - q[1]);
        if (k > 1 && logarithm != 0)
            level.Temperature = kElementaryCharge *
                                (static_cast<long double>(own.Energy) - first.Energy) /
                                (kBoltzmann * logarithm);
        if (k > 1 && known(k) && known(1)) {
            // u(log10 r)^2 = var_k + var_1 - 2 cov_1k; not below 0 where rounding would take it.
            const long double variance =
                scale * (covariance(k, k) + covariance(1, 1) - 2 * covariance(1, k));
            const long double logRatio = FpSqrt(std::max(variance, 0.0L));
            level.RatioUncertainty = kLn10 * level.Ratio * logRatio;
            if (level.Temperature)
                level.TemperatureUncertainty =
                    std::fabs(*level.Temperature / logarithm) * kLn10 * logRatio;
        }
        result.Levels.push_back(level);
    }
    result.Correlation.assign(static_cast<std::size_t>(levels),
                              std::vector<long double>(static_cast<std::size_t>(levels), 0));
    for (std::int32_t i = 1; i <= levels; ++i)
        for (std::int32_t k = 1; k <= levels; ++k)
            if (determined[i - 1] && determined[k - 1])
                result.Correlation[i - 1][k - 1] =
                    covariance(i, k) / FpSqrt(covariance(i, i) * covariance(k, k));
    FpCheck("the results of the free fit");
    return result;
}

TFreeLevelsRun FitFreeLevels(TAtomicData& data, const TParamVector& p, std::int32_t iterationLimit,
                             std::int32_t fitCount, const std::vector<long double>& start,
                             const std::string& logPath,
                             const std::function<void(const TFitResult&)>& boltzmannDone) {
    TFreeLevelsModel model(data, p);
    const std::int32_t levels = model.Levels();
    if (!start.empty() && static_cast<std::int32_t>(start.size()) != levels)
        throw Exception(Format("Free lower levels: %d start densities for %d levels.",
                               {static_cast<std::int32_t>(start.size()), levels}));
    TFreeLevelsRun run;
    run.BoltzmannParameters = fitCount;
    try {
        run.Boltzmann =
            data.FitLines(p, iterationLimit, fitCount, 0, "", logPath, nullptr, ReportFinalResults);
    } catch (const Exception& e) {
        run.BoltzmannError = e.message();
    }
    if (run.Boltzmann && boltzmannDone)
        boltzmannDone(*run.Boltzmann);
    TParamVector q;
    if (!start.empty()) {
        for (std::int32_t k = 1; k <= levels; ++k)
            q[k] = start[static_cast<std::size_t>(k - 1)];
    } else {
        // The Boltzmann populations of the fitted vector are in Levels after the fit; without
        // it, those of p are made so.
        const TParamVector& boltzmann = run.Boltzmann ? run.Boltzmann->Params : p;
        if (!run.Boltzmann) {
            TPrecalcScope scope(data);
            data.ModelBF(p, 0);
        }
        for (std::int32_t k = 1; k <= levels; ++k) {
            const double population = data.Levels[k - 1].Population;
            // A population that underflowed to 0 starts at the density of the first level.
            q[k] = population > 0 ? std::log10(static_cast<long double>(population))
                                  : Slot(boltzmann, LogDensity);
        }
    }
    run.Free = FitFreeLevelsFrom(model, q, iterationLimit, logPath);
    if (run.Boltzmann)
        run.Comparison =
            CompareModels(run.Boltzmann->SumOfSquares, fitCount, run.Free.Fit.SumOfSquares,
                          run.Free.Parameters, run.Free.DegreesOfFreedom);
    return run;
}

namespace {

// "%.3e" of an uncertainty, or "n.d." in the same width where it is not determined.
std::string UncertaintyText(const std::optional<long double>& u) {
    return u ? Format("%.3e", {*u}) : Format("%10s", {"n.d."});
}

} // namespace

void WriteFreeLevelsResults(TAtomicData& data, const TFreeLevelsFit& fit, TReportList& out,
                            const std::string& fileName) {
    std::string values, undetermined;
    long double total = 0, squares = 0;
    bool totalKnown = true;
    for (const TFreeLevel& level : fit.Levels) {
        if (!level.Determined) {
            values += Format(" %10s %10s", {"n.d.", "n.d."});
            undetermined += (undetermined.empty() ? "" : ",") + LevelName(level.Level + 1);
            totalKnown = false;
            continue;
        }
        values += Format(" %.3e %s", {level.Density, UncertaintyText(level.Uncertainty)});
        total += level.Density;
        if (level.Uncertainty)
            squares += *level.Uncertainty * *level.Uncertainty;
    }
    std::string procedure = FitProcedure(fit.Fit.ReturnCode);
    if (!undetermined.empty())
        procedure = "fit:" + undetermined + " not determined";
    else if (fit.DegreesOfFreedom < 1)
        procedure = "fit:no degree of freedom";
    const std::string totalText = totalKnown ? Format("%.3e", {total}) : Format("%10s", {"n.d."});
    const bool totalUncertain = totalKnown && fit.DegreesOfFreedom >= 1;
    const std::optional<long double> totalUncertainty =
        totalUncertain ? std::optional<long double>(FpSqrt(squares)) : std::nullopt;
    data.AddResultLine(out, static_cast<std::int32_t>(fit.Levels.size()),
                       Format("%s %s %s %5s %5s %.3e %s  %s",
                              {totalText, UncertaintyText(totalUncertainty), values, "free", "free",
                               fit.Fit.SumOfSquares, VisibleControls(fileName), procedure}));
}

std::vector<std::string> FreeLevelsTable(const TAtomicData& data, const TFreeLevelsFit& fit) {
    const auto plusMinus = [](const std::optional<long double>& u, const char* pattern) {
        return u ? Format(std::string(" \xB1 ") + pattern, {*u}) : std::string();
    };
    std::vector<std::string> lines;
    for (const TFreeLevel& level : fit.Levels) {
        const TLevel& own = data.Levels[level.Level];
        std::string line = Format("%s %s %s J=%s: ", {LevelName(level.Level + 1), own.Configuration,
                                                      own.Term, FloatToStr(own.J)});
        if (!level.Determined) {
            lines.push_back(line + "not determined");
            continue;
        }
        line += Format("n = %.3e", {level.Density}) + plusMinus(level.Uncertainty, "%.3e") + " m-3";
        if (level.Level > 0)
            line +=
                Format(", n/n_1 = %.4f", {level.Ratio}) + plusMinus(level.RatioUncertainty, "%.4f");
        if (level.Temperature)
            line += Format(", Boltzmann T = %.0f", {*level.Temperature}) +
                    plusMinus(level.TemperatureUncertainty, "%.0f") + " K";
        lines.push_back(line);
    }
    return lines;
}

} // namespace zelt
