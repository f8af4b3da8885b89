// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/freelevels.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "linemodel/absorption.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"
#include "linemodel/fitquality.h"
#include "linemodel/fitrun.h"
#include "linemodel/likelihood.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace zelt {

namespace {

constexpr long double kLn10 = std::numbers::ln10_v<long double>;

// e (E_j - E_1) in J.
long double EnergyAbove(const TAtomicData& data, std::int32_t j) {
    return kElementaryCharge *
           (static_cast<long double>(data.Levels[j].Energy) - data.Levels[0].Energy);
}

} // namespace

std::string LevelName(std::int32_t k) {
    return Format("n_%d", {k});
}

TFreeLevelsModel::TFreeLevelsModel(TAtomicData& data, const TParamVector& setup,
                                   const std::vector<std::int32_t>& chosen)
    : data_(data), setup_(setup) {
    const std::int32_t boltzmax = TruncToInt(Slot(setup, BoltzmannLevels));
    levels_ = data.PopulatedLevels(setup);
    if (levels_ < 1)
        throw Exception(
            Format("Free lower levels: no level is populated (Boltzmax = %d).", {boltzmax}));
    chosen_.assign(static_cast<std::size_t>(levels_), chosen.empty());
    for (const std::int32_t k : chosen) {
        if (k < 1 || k > levels_)
            throw Exception(Format("Free lower levels: level %d is not one of the %d populated "
                                   "levels (Boltzmax).",
                                   {k, levels_}));
        chosen_[static_cast<std::size_t>(k - 1)] = true;
    }
    const auto count = static_cast<std::int32_t>(std::count(chosen_.begin(), chosen_.end(), true));
    if (count > kMaxFreeLevels)
        throw Exception(Format("Free lower levels: Boltzmax = %d levels, but a fit takes at most "
                               "%d parameters.",
                               {count, kMaxFreeLevels}));
    const TIntensityData intensities(data);
    for (std::int32_t j = 0; j < levels_; ++j)
        absorbing_.push_back(intensities.Absorbs(j));
}

std::int32_t TFreeLevelsModel::DensitySlot(std::int32_t j) const {
    if (j == 0)
        return 1;
    if (!Chosen(j))
        return 0;
    return 2 + static_cast<std::int32_t>(
                   std::count(chosen_.begin() + 1, chosen_.begin() + j + 1, true));
}

std::vector<std::int32_t> TFreeLevelsModel::Fitted(bool temperatureFitted) const {
    bool tiedAbsorbing = false;
    for (std::int32_t j = 1; j < levels_; ++j)
        tiedAbsorbing = tiedAbsorbing || (!Chosen(j) && Absorbing(j));
    std::vector<std::int32_t> slots;
    if (Absorbing(0) || tiedAbsorbing)
        slots.push_back(1);
    if (temperatureFitted && tiedAbsorbing)
        slots.push_back(2);
    for (std::int32_t j = 1; j < levels_; ++j)
        if (Chosen(j) && Absorbing(j))
            slots.push_back(DensitySlot(j));
    return slots;
}

long double TFreeLevelsModel::BoltzmannLogDensity(const TParamVector& q, std::int32_t j) const {
    return q[1] + std::log10(static_cast<long double>(data_.Levels[j].G) / data_.Levels[0].G) -
           EnergyAbove(data_, j) / (kBoltzmann * std::fabs(q[2]) * kLn10);
}

long double TFreeLevelsModel::LevelLogDensity(const TParamVector& q, std::int32_t j) const {
    const std::int32_t slot = DensitySlot(j);
    return slot > 0 ? q[slot] : BoltzmannLogDensity(q, j);
}

TParamVector TFreeLevelsModel::FromBoltzmann(const TParamVector& p) const {
    TParamVector q;
    q[1] = Slot(p, LogDensity);
    q[2] = Slot(p, Temperature);
    for (std::int32_t j = 1; j < levels_; ++j)
        if (Chosen(j))
            q[DensitySlot(j)] = BoltzmannLogDensity(q, j);
    return q;
}

void TFreeLevelsModel::Populate(const TParamVector& q) {
    const long double first = PowerOfTen(q[1]);
    const long double kT = kBoltzmann * std::fabs(q[2]);
    for (std::int32_t j = 0; j < levels_; ++j) {
        TLevel& level = data_.Levels[j];
        if (j == 0)
            level.Population = static_cast<double>(first);
        else if (Chosen(j))
            level.Population = static_cast<double>(PowerOfTen(q[DensitySlot(j)]));
        else
            level.Population =
                Population(first, static_cast<long double>(level.G) / data_.Levels[0].G,
                           BoltzmannFactor(-EnergyAbove(data_, j), kT));
    }
    if (FpPending()) {
        std::string densities;
        for (std::int32_t j = 0; j < levels_; ++j)
            if (const std::int32_t slot = DensitySlot(j); slot > 0)
                densities += (densities.empty() ? "" : ", ") + FloatToStr(q[slot]);
        FpCheck("the free level densities (log10 " + densities + ")");
    }
}

TModelFractions TFreeLevelsModel::Fractions() {
    return [this](const TParamVector& q, TCheckedVector<long double>& fractions) {
        FpReset();
        data_.ClearPrecalc();
        Populate(q);
        data_.ComputeFractions(q, setup_);
        fractions.resize(data_.SelectedLines.size());
        for (std::int32_t i = 0; i < data_.SelectedLines.size(); ++i)
            fractions[i] = data_.SelectedLines[i].BFFit;
    };
}

TModelComparison CompareModels(TNoiseModel noise, long double boltzmannSum,
                               std::int32_t boltzmannParameters, long double freeSum,
                               std::int32_t freeParameters, std::int32_t freeDegreesOfFreedom) {
    FpReset();
    TModelComparison c;
    c.Noise = noise;
    c.BoltzmannSum = boltzmannSum;
    c.FreeSum = freeSum;
    c.BoltzmannParameters = boltzmannParameters;
    c.FreeParameters = freeParameters;
    c.FreeDegreesOfFreedom = freeDegreesOfFreedom;
    const bool estimated = noise == TNoiseModel::Relative;
    if (freeParameters <= boltzmannParameters)
        c.Reason = Format("the free fit has %d parameters, the Boltzmann fit %d",
                          {freeParameters, boltzmannParameters});
    else if (estimated && freeDegreesOfFreedom < 1)
        c.Reason = Format("no degree of freedom is left to the free fit (nu = %d)",
                          {freeDegreesOfFreedom});
    else if (estimated && !(freeSum > 0))
        c.Reason = "the free fit reproduces the intensities exactly (chi2 = 0)";
    if (!c.Reason.empty())
        return c;
    c.Applicable = true;
    const std::int32_t extra = freeParameters - boltzmannParameters;
    // The free fit starts from the Boltzmann one and never accepts a rise of chi^2: a
    // difference below 0 is rounding, no evidence for free levels.
    const long double difference = std::max(boltzmannSum - freeSum, 0.0L);
    if (estimated) {
        c.Statistic = (difference / extra) / (freeSum / freeDegreesOfFreedom);
        c.PValue = boost::math::cdf(boost::math::complement(
            boost::math::fisher_f_distribution<long double>(extra, freeDegreesOfFreedom),
            c.Statistic));
    } else {
        c.Statistic = difference;
        c.PValue = boost::math::cdf(boost::math::complement(
            boost::math::chi_squared_distribution<long double>(extra), c.Statistic));
    }
    FpCheck("the test of the Boltzmann fit against the free fit");
    return c;
}

namespace {

// Whether the data fix the density of the fitted level j at the minimum: not where chi^2
// with the level empty (its lines thin, the others as fitted) stays within the one-parameter
// rise at kQuoteLevel. Such a level's lines are optically thin and give at most an upper bound
// on its density, which a linearised uncertainty would hide behind a small +-.
bool Determined(TFreeLevelsModel& model, TChiSquare& chi2, const TFreeLevelsFit& fit,
                std::int32_t j) {
    const std::optional<long double> rise =
        ChiSquareRise(fit.Noise, fit.Fit.SumOfSquares, fit.DegreesOfFreedom, 1, kQuoteLevel);
    if (!rise)
        return true;
    TParamVector thin = fit.Fit.Params;
    thin[model.DensitySlot(j)] = -std::numeric_limits<long double>::infinity();
    return chi2(thin) > fit.Fit.SumOfSquares + *rise;
}

} // namespace

TFreeLevelsFit FitFreeLevelsFrom(TFreeLevelsModel& model, const TLikelihoodFit& boltzmann) {
    TAtomicData& data = model.Data();
    FpReset();
    data.ClearPrecalc();
    TPrecalcScope scope(data);
    const TLineConstantsScope constants(data, model.Setup());
    const TIntensityData intensities(data);
    TChiSquare chi2(intensities, model.Fractions());
    TFreeLevelsFit fit;
    fit.Noise = intensities.Noise();
    const std::vector<std::int32_t> fitted = model.Fitted(boltzmann.Parameters == 2);
    if (fitted.empty())
        throw Exception("Free lower levels: no measured line absorbs from a level of the fit.");
    const TParamVector start = model.FromBoltzmann(boltzmann.Params);
    // A fault at the start is raised with its cause; at a trial vector it only rejects the step.
    TCheckedVector<long double> fractions;
    model.Fractions()(start, fractions);
    const TChiSquareMinimum minimum = MinimiseChiSquare(chi2, start, fitted);
    fit.Fit.Params = minimum.Params;
    fit.Fit.SumOfSquares = minimum.ChiSquare;
    fit.Fit.ReturnCode = minimum.ReturnCode;
    fit.Parameters = static_cast<std::int32_t>(fitted.size());
    fit.DegreesOfFreedom = intensities.DegreesOfFreedom(fit.Parameters);
    const std::optional<long double> scale =
        ChiSquareScale(fit.Noise, minimum.ChiSquare, fit.DegreesOfFreedom);
    if (fit.Noise == TNoiseModel::Relative && scale)
        fit.Scale = FpSqrt(*scale);
    std::optional<std::vector<long double>> covariance;
    if (scale && *scale > 0)
        covariance = ChiSquareCovariance(chi2, fit.Fit.Params, fitted, *scale);
    const TParamVector& q = fit.Fit.Params;
    std::vector<bool> determined;
    for (std::int32_t j = 0; j < model.Levels(); ++j)
        determined.push_back(model.DensitySlot(j) > 0 &&
                             std::find(fitted.begin(), fitted.end(), model.DensitySlot(j)) !=
                                 fitted.end() &&
                             Determined(model, chi2, fit, j));
    // The tests above evaluated other vectors: the populations and fractions of the minimum.
    model.Fractions()(q, fractions);
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
        data.SelectedLines[i].BFFit = static_cast<double>(fractions[i]);
    const auto np = static_cast<std::int32_t>(fitted.size());
    const auto index = [&](std::int32_t slot) {
        const auto at = std::find(fitted.begin(), fitted.end(), slot);
        return at == fitted.end() ? -1 : static_cast<std::int32_t>(at - fitted.begin());
    };
    const long double temperature = q[2];
    const bool firstDetermined = !determined.empty() && determined[0];
    const TLevel& first = data.Levels[0];
    for (std::int32_t j = 0; j < model.Levels(); ++j) {
        TFreeLevel level;
        level.Level = j;
        level.Free = j == 0 || model.Chosen(j);
        level.Determined = level.Free ? determined[static_cast<std::size_t>(j)] : firstDetermined;
        level.Density = data.Levels[j].Population;
        level.LogDensity = model.LevelLogDensity(q, j);
        // From the logarithms: a density that underflowed to 0 still has its ratio.
        const long double logRatio10 = level.LogDensity - q[1];
        level.Ratio = PowerOfTen(logRatio10);
        // Gradients of ln n_j and of ln (n_j / n_1) over the fitted slots.
        std::vector<long double> logDensity(static_cast<std::size_t>(np)), logRatio(logDensity);
        const auto add = [&](std::vector<long double>& g, std::int32_t slot, long double value) {
            if (const std::int32_t i = index(slot); i >= 0)
                g[static_cast<std::size_t>(i)] += value;
        };
        if (level.Free) {
            add(logDensity, model.DensitySlot(j), kLn10);
            if (j > 0) {
                add(logRatio, model.DensitySlot(j), kLn10);
                add(logRatio, 1, -kLn10);
            }
        } else {
            const long double slope = BoltzmannSlope(data, j, temperature);
            add(logDensity, 1, kLn10);
            add(logDensity, 2, slope);
            add(logRatio, 2, slope);
        }
        if (covariance && level.Determined) {
            level.Uncertainty = level.Density * FpSqrt(Propagated(*covariance, logDensity));
            if (j > 0)
                level.RatioUncertainty = level.Ratio * FpSqrt(Propagated(*covariance, logRatio));
        }
        // ln((g_j / g_1) / (n_j / n_1)) = (E_j - E_1) e / (k T) under Boltzmann balance.
        const long double logarithm =
            std::log(static_cast<long double>(data.Levels[j].G) / first.G) - kLn10 * logRatio10;
        if (j > 0 && level.Free && level.Determined && logarithm != 0) {
            level.Temperature = EnergyAbove(data, j) / (kBoltzmann * logarithm);
            if (level.RatioUncertainty)
                level.TemperatureUncertainty = std::fabs(*level.Temperature / logarithm) *
                                               *level.RatioUncertainty / level.Ratio;
        }
        fit.Levels.push_back(level);
    }
    FpCheck("the results of the free fit");
    return fit;
}

TFreeLevelsRun FitFreeLevels(TAtomicData& data, const TParamVector& p, std::int32_t iterationLimit,
                             std::int32_t fitCount, const TSearchRange& range,
                             const std::vector<std::int32_t>& chosen, const std::string& logPath,
                             const std::function<void(const TFitResult&)>& boltzmannDone) {
    TFreeLevelsModel model(data, p, chosen);
    TFreeLevelsRun run;
    run.BoltzmannParameters = fitCount;
    TParamVector likelihood = p;
    Slot(likelihood, FitCount) = fitCount;
    run.Likelihood = FitLikelihood(data, likelihood, range);
    try {
        run.Boltzmann = data.FitLines(p, iterationLimit, fitCount, 0, "", logPath, nullptr,
                                      ReportFinalResults, &run.Likelihood);
    } catch (const Exception& e) {
        run.BoltzmannError = e.message();
    }
    if (run.Boltzmann && boltzmannDone)
        boltzmannDone(*run.Boltzmann);
    if (!run.Likelihood.Done)
        throw Exception("Free lower levels: " + run.Likelihood.Reason + ".");
    run.Free = FitFreeLevelsFrom(model, run.Likelihood);
    run.Comparison =
        CompareModels(run.Free.Noise, run.Likelihood.ChiSquare, run.Likelihood.Parameters,
                      run.Free.Fit.SumOfSquares, run.Free.Parameters, run.Free.DegreesOfFreedom);
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
    bool totalKnown = true, totalUncertain = true;
    for (const TFreeLevel& level : fit.Levels) {
        if (!level.Determined) {
            values += Format(" %10s %10s", {"n.d.", "n.d."});
            if (level.Free)
                undetermined += (undetermined.empty() ? "" : ",") + LevelName(level.Level + 1);
            totalKnown = false;
            continue;
        }
        values += Format(" %.3e %s", {level.Density, UncertaintyText(level.Uncertainty)});
        total += level.Density;
        if (level.Uncertainty)
            squares += *level.Uncertainty * *level.Uncertainty;
        else
            totalUncertain = false;
    }
    std::string procedure = FitProcedure(fit.Fit.ReturnCode);
    if (!undetermined.empty())
        procedure = "fit:" + undetermined + " not determined";
    else if (!ChiSquareScale(fit.Noise, fit.Fit.SumOfSquares, fit.DegreesOfFreedom))
        procedure = "fit:no degree of freedom";
    const std::string totalText = totalKnown ? Format("%.3e", {total}) : Format("%10s", {"n.d."});
    const std::optional<long double> totalUncertainty =
        totalKnown && totalUncertain ? std::optional<long double>(FpSqrt(squares)) : std::nullopt;
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
        if (!level.Free)
            line += ", tied (Boltzmann)";
        if (level.Temperature)
            line += Format(", Boltzmann T = %.0f", {*level.Temperature}) +
                    plusMinus(level.TemperatureUncertainty, "%.0f") + " K";
        lines.push_back(line);
    }
    return lines;
}

} // namespace zelt
