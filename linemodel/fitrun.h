// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every fit of the selected lines does around its model: the scopes that keep the model
// cache and the lines' constants for one run, and the run of the minimiser on the measured
// branching fractions with its log and report.

#include "leastsquares/marq3w.h"
#include "linemodel/atomicdata.h"

#include <string>
#include <vector>

namespace zelt {

// Empties the model cache when an evaluation run ends, also by an exception, so that no record
// outlives the lines and levels it was computed for.
class TPrecalcScope {
public:
    explicit TPrecalcScope(TAtomicData& data) : data_(data) {}
    TPrecalcScope(const TPrecalcScope&) = delete;
    TPrecalcScope& operator=(const TPrecalcScope&) = delete;
    ~TPrecalcScope() { data_.ClearPrecalc(); }

private:
    TAtomicData& data_;
};

// The constants of the selected lines for the gas temperature and mass of p, kept while a fit
// evaluates the model and dropped when it ends, also by an exception. Constants that raise a
// floating-point fault are not kept: the model meets the fault itself and names its cause.
class TLineConstantsScope {
public:
    TLineConstantsScope(TAtomicData& data, const TParamVector& p);
    TLineConstantsScope(const TLineConstantsScope&) = delete;
    TLineConstantsScope& operator=(const TLineConstantsScope&) = delete;
    ~TLineConstantsScope() { data_.lineConstants_.clear(); }

private:
    TAtomicData& data_;
};

// The weight of each line's measured fraction in a fit: 0 without a measured fraction; else 1,
// or 1 / u(BF)^2 when every line with a measured fraction carries an intensity uncertainty.
TCheckedVector<long double> FractionWeights(const TAtomicData& data);

// Fits the first fitCount slots of `start` to the measured fractions of the selected lines
// (weighted by FractionWeights; Gaussian noise of amplitude `noise` added when not 0) with
// the minimiser, its iteration log and report in the log file `logPath` (parameter names
// `names`, empty for the minimiser's own), then evaluates the model at the fitted vector once
// more (EvaluateFitted). `frozen` receives for each fitted slot whether the minimiser's guard
// holds it fixed at the fitted vector (MarqFrozenParameters). The result holds the fitted vector,
// sum of squares, result code and covariance; its uncertainties are left to the caller. More than
// 100 selected lines raise ERangeError before the run; an exception of the run passes on once
// the report has closed the log.
TFitResult FitFractions(TAtomicData& data, const TParamVector& start, std::int32_t iterationLimit,
                        std::int32_t fitCount, double noise, const std::string& logPath,
                        const TMarqModel& model, const TMarqDerivatives& derivatives,
                        std::vector<bool>& frozen, const std::vector<std::string>& names = {});

// Evaluates `model` at `params` afresh (the cache emptied first), so that BFFit of the lines and
// the level populations belong to that vector.
void EvaluateFitted(TAtomicData& data, const TParamVector& params, std::int32_t fitCount,
                    const TMarqModel& model);

} // namespace zelt
