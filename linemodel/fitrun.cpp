#include "linemodel/fitrun.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "leastsquares/marqguard.h"
#include "linemodel/absorption.h"
#include "linemodel/normal.h"

namespace zelt {

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
    // Entry j + 1 belongs to line j; lines without a measured fraction get weight 0.
    TDataVector x, y, weights, fitted;
    TDataVector& covariance = result.Covariance;
    for (std::int32_t i = 0; i < n; ++i) {
        const double measured = data.SelectedLines[i].BFMeasured;
        x[i + 1] = i;
        y[i + 1] = measured;
        if (noise != 0)
            y[i + 1] += GaussRandom(0, noise, data.Random);
        weights[i + 1] = FitWeight(data.SelectedLines[i]);
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
