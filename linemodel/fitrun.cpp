// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/fitrun.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "leastsquares/marqguard.h"
#include "linemodel/absorption.h"
#include "linemodel/normal.h"

#include <algorithm>

namespace zelt {

// The weight of each line's measured fraction in the fit: 0 without a measured fraction; else 1,
// or 1 / u(BF)^2 when every line with a measured fraction carries an intensity uncertainty.
// With x_l = I_l lambda_l and X the sum of x_l over the lines of the upper level, BF_i = x_i / X
// and u(BF_i)^2 = ((1 - BF_i)^2 u(x_i)^2 + BF_i^2 sum_{l != i} u(x_l)^2) / X^2. The only line of
// its level has BF = 1 whatever it measures (up to rounding, which the weight would blow up):
// it carries no information and gets weight 0.
TCheckedVector<long double> FractionWeights(const TAtomicData& data) {
    const TCheckedVector<TLine>& lines = data.SelectedLines;
    TCheckedVector<long double> weights(lines.size());
    bool uncertain = true;
    TCheckedVector<long double> levelVariance(data.Levels.size());
    TCheckedVector<std::int32_t> levelLines(data.Levels.size());
    for (const TLine& line : lines) {
        if (line.BFMeasured > 0 && !(line.IntensityUncertainty > 0))
            uncertain = false;
        const long double u =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        levelVariance[line.UpperLevel] += u * u;
        ++levelLines[line.UpperLevel];
    }
    for (std::int32_t i = 0; i < lines.size(); ++i) {
        const TLine& line = lines[i];
        if (!(line.BFMeasured > 0))
            continue;
        if (!uncertain) {
            weights[i] = 1;
            continue;
        }
        if (levelLines[line.UpperLevel] == 1)
            continue;
        const long double own =
            static_cast<long double>(line.IntensityUncertainty) * line.Data.Wavelength;
        const long double bf = line.BFMeasured, sum = data.Levels[line.UpperLevel].SumIL;
        const long double others = std::max(levelVariance[line.UpperLevel] - own * own, 0.0L);
        const long double variance =
            ((1 - bf) * (1 - bf) * own * own + bf * bf * others) / (sum * sum);
        weights[i] = 1 / variance;
    }
    return weights;
}

TLineConstantsScope::TLineConstantsScope(TAtomicData& data, const TParamVector& p) : data_(data) {
    FpReset();
    data.lineVelocity_ = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                         static_cast<double>(Slot(p, AtomMass)));
    data.lineConstants_.clear();
    for (const TLine& line : data.SelectedLines)
        data.lineConstants_.push_back(LineConstants(line.Data, data.lineVelocity_));
    if (FpPending())
        data.lineConstants_.clear();
    FpReset();
}

TFitResult FitFractions(TAtomicData& data, const TParamVector& start, std::int32_t iterationLimit,
                        std::int32_t fitCount, double noise, const std::string& logPath,
                        const TMarqModel& model, const TMarqDerivatives& derivatives,
                        std::vector<bool>& frozen, const std::vector<std::string>& names) {
    const std::int32_t n = data.SelectedLines.size();
    if (n > TDataVector::Size)
        throw ERangeError(Format("%d lines are selected, but a fit takes at most %d lines.",
                                 {n, TDataVector::Size}));
    TFitResult result;
    TParamVector& params = result.Params;
    params = start;
    result.Start = start;
    // Entry j + 1 belongs to line j.
    const TCheckedVector<long double> lineWeights = FractionWeights(data);
    TDataVector x, y, weights, fitted;
    TDataVector& covariance = result.Covariance;
    for (std::int32_t i = 0; i < n; ++i) {
        const double measured = data.SelectedLines[i].BFMeasured;
        x[i + 1] = i;
        y[i + 1] = measured;
        if (noise != 0)
            y[i + 1] += GaussRandom(0, noise, data.Random);
        weights[i + 1] = lineWeights[i];
    }
    TMarqControl control;
    std::int32_t defaultIterationLimit = 0;
    MarqDefaults(control, defaultIterationLimit);
    long double& sumOfSquares = result.SumOfSquares;
    std::int32_t& code = result.ReturnCode;
    MarqOpenLog(logPath, 1, names);
    try {
        MarqMinimize(control, iterationLimit, 1, n, x, y, weights, fitCount, params, sumOfSquares,
                     covariance, fitted, code, model, derivatives);
    } catch (...) {
        // The report closes the log. For a run cut short it raises "no minimization was
        // started", which would hide the cause: the run's own error is the one passed on.
        try {
            MarqReport(code, n, fitCount, sumOfSquares, params, covariance);
        } catch (const Exception&) {
        }
        throw;
    }
    MarqReport(code, n, fitCount, sumOfSquares, params, covariance);
    // Before the fractions are set for the fitted vector: the derivatives leave those of the
    // last vector they tried.
    frozen = MarqFrozenParameters(n, x, weights, fitCount, params, derivatives);
    EvaluateFitted(data, params, fitCount, model);
    return result;
}

void EvaluateFitted(TAtomicData& data, const TParamVector& params, std::int32_t fitCount,
                    const TMarqModel& model) {
    data.ClearPrecalc();
    bool ok = true;
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
        data.SelectedLines[i].BFFit = static_cast<double>(model(fitCount, params, ok, i));
}

} // namespace zelt
