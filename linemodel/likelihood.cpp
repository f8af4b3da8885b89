// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/likelihood.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/parallel.h"
#include "leastsquares/chocho.h"
#include "leastsquares/marq3w.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"
#include "linemodel/fitquality.h"
#include "linemodel/fitrun.h"
#include "linemodel/gridmodel.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/tools/toms748_solve.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <optional>

namespace zelt {

namespace {

constexpr long double kInfinity = std::numeric_limits<long double>::infinity();
// The start's coarse grid, points on each axis: a quarter decade and 500 K apart over the demo
// map's range, fine enough to tell the basins apart; the polish does the rest.
constexpr std::int32_t kCoarseDensities = 13, kCoarseTemperatures = 8;
constexpr long double kLn10 = std::numbers::ln10_v<long double>;

// The central-difference step of a slot: 1e-4 of its value, at least 1e-4 (log10 n = 16 moves
// by 1.6e-3, 0.37 % of n; T_exc = 1500 K by 0.15 K).
long double DerivativeStep(long double value) {
    return 1e-4L * std::max(1.0L, std::fabs(value));
}

// The minimiser's vector of the free slots of q, and back.
TParamVector Packed(const TParamVector& q, const std::vector<std::int32_t>& free) {
    TParamVector packed;
    for (std::size_t k = 0; k < free.size(); ++k)
        packed[k + 1] = q[free[k]];
    return packed;
}
TParamVector Unpacked(const TParamVector& base, const TParamVector& packed,
                      const std::vector<std::int32_t>& free) {
    TParamVector q = base;
    for (std::size_t k = 0; k < free.size(); ++k)
        q[free[k]] = packed[k + 1];
    return q;
}

// n points from `from` to `to`, both included (one point, `from`, for n = 1).
std::vector<long double> Axis(long double from, long double to, std::int32_t n) {
    std::vector<long double> values;
    for (std::int32_t k = 0; k < n; ++k)
        values.push_back(n == 1 ? from : from + (to - from) * k / (n - 1));
    return values;
}

// The vertex of the parabola through the values at axis points k - 1, k and k + 1 (`value`
// gives the value at a point), within half a step of point k; point k itself at the axis' ends,
// where a neighbour has no finite value or where the parabola opens downwards.
long double Vertex(const std::vector<long double>& axis, std::size_t k,
                   const std::function<long double(std::size_t)>& value) {
    if (k == 0 || k + 1 >= axis.size())
        return axis[k];
    const long double below = value(k - 1), at = value(k), above = value(k + 1);
    const long double curvature = below - 2 * at + above;
    if (!std::isfinite(below) || !std::isfinite(above) || !(curvature > 0))
        return axis[k];
    // Equal steps h: the vertex lies (below - above) / (2 curvature) steps from point k.
    const long double shift = std::clamp((below - above) / (2 * curvature), -0.5L, 0.5L);
    return axis[k] + shift * (axis[k + 1] - axis[k]);
}

} // namespace

TIntensityData::TIntensityData(const TAtomicData& data) {
    const TCheckedVector<TLine>& lines = data.SelectedLines;
    const auto takes = [](const TLine& line) { return line.BFMeasured > 0 && line.Data.Aki > 0; };
    noise_ = TNoiseModel::Given;
    for (const TLine& line : lines)
        if (takes(line) && !(line.IntensityUncertainty > 0))
            noise_ = TNoiseModel::Relative;
    std::map<std::int32_t, std::int32_t> groups; // upper level -> its number
    for (std::int32_t i = 0; i < lines.size(); ++i) {
        const TLine& line = lines[i];
        if (!takes(line))
            continue;
        const auto group =
            groups.emplace(line.UpperLevel, static_cast<std::int32_t>(groups.size())).first;
        const long double lambda = line.Data.Wavelength;
        const long double rate = line.Intensity * lambda;
        const long double sigma =
            noise_ == TNoiseModel::Given ? line.IntensityUncertainty * lambda : rate;
        lines_.push_back({i, group->second, rate, sigma});
    }
    upperLevels_ = static_cast<std::int32_t>(groups.size());
    std::vector<std::int32_t> count(static_cast<std::size_t>(upperLevels_));
    for (const TUsedLine& line : lines_)
        ++count[static_cast<std::size_t>(line.Group)];
    for (const TUsedLine& line : lines_)
        if (count[static_cast<std::size_t>(line.Group)] >= 2)
            absorbing_.push_back(lines[line.Index].LowerLevel);
    std::sort(absorbing_.begin(), absorbing_.end());
    absorbing_.erase(std::unique(absorbing_.begin(), absorbing_.end()), absorbing_.end());
}

bool TIntensityData::Absorbs(std::int32_t j) const {
    return std::binary_search(absorbing_.begin(), absorbing_.end(), j);
}

long double TIntensityData::Observed(std::int32_t k) const {
    const TUsedLine& line = lines_.at(static_cast<std::size_t>(k));
    return line.Rate / line.Sigma;
}

void TIntensityData::Expected(const TCheckedVector<long double>& fractions,
                              TCheckedVector<long double>& out) const {
    // Per upper level: sum q b / sigma^2 and sum b^2 / sigma^2.
    std::vector<long double> qb(static_cast<std::size_t>(upperLevels_)),
        bb(static_cast<std::size_t>(upperLevels_));
    for (const TUsedLine& line : lines_) {
        const long double b = fractions[line.Index] / line.Sigma;
        qb[static_cast<std::size_t>(line.Group)] += line.Rate / line.Sigma * b;
        bb[static_cast<std::size_t>(line.Group)] += b * b;
    }
    out.resize(Lines());
    for (std::size_t k = 0; k < lines_.size(); ++k) {
        const TUsedLine& line = lines_[k];
        const auto group = static_cast<std::size_t>(line.Group);
        out[static_cast<std::int32_t>(k)] =
            qb[group] / bb[group] * fractions[line.Index] / line.Sigma;
    }
}

long double TIntensityData::ChiSquare(const TCheckedVector<long double>& fractions) const {
    TCheckedVector<long double> expected;
    Expected(fractions, expected);
    long double sum = 0;
    for (std::int32_t k = 0; k < Lines(); ++k) {
        const long double r = Observed(k) - expected[k];
        sum += r * r;
    }
    return sum;
}

std::string NoiseModelText(TNoiseModel noise, const std::optional<long double>& scale) {
    if (noise == TNoiseModel::Given)
        return "u(I) given beside the measurement (NAME.lines.tsv)";
    return scale ? Format("relative, u(I) = s I, s = %.2f %% from the fit", {*scale * 100})
                 : "relative, u(I) = s I, s from the fit";
}

TModelFractions BoltzmannFractions(TAtomicData& data) {
    return [&data](const TParamVector& q, TCheckedVector<long double>& fractions) {
        FpReset();
        data.ClearPrecalc();
        fractions.resize(data.SelectedLines.size());
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
            fractions[i] = data.ModelBF(q, i);
    };
}

bool TChiSquare::Expected(const TParamVector& q, TCheckedVector<long double>& out) {
    try {
        fractions_(q, scratch_);
    } catch (const EMathError&) {
        return false;
    }
    data_.Expected(scratch_, out);
    // A level whose fractions all vanish has no total.
    const bool fault = FpPending();
    FpReset();
    return !fault;
}

long double TChiSquare::operator()(const TParamVector& q) {
    try {
        fractions_(q, scratch_);
    } catch (const EMathError&) {
        return kInfinity;
    }
    const long double sum = data_.ChiSquare(scratch_);
    const bool fault = FpPending();
    FpReset();
    if (fault || !std::isfinite(sum))
        return kInfinity;
    return sum;
}

TChiSquareMinimum MinimiseChiSquare(TChiSquare& chi2, const TParamVector& start,
                                    const std::vector<std::int32_t>& free,
                                    std::int32_t iterationLimit) {
    const std::int32_t n = chi2.Data().Lines();
    const auto np = static_cast<std::int32_t>(free.size());
    TDataVector x, y, w, covariance, fitted;
    for (std::int32_t j = 1; j <= n; ++j) {
        x[j] = j - 1;
        y[j] = chi2.Data().Observed(j - 1);
        w[j] = 1;
    }
    // The expected values of the vector asked last and their derivatives, so that the
    // minimiser's calls point by point cost one model evaluation per vector.
    TParamVector known, knownDerivatives;
    bool valueKnown = false, derivativesKnown = false, valueOk = false;
    TCheckedVector<long double> values, above, below;
    std::vector<TCheckedVector<long double>> slopes(free.size());
    const TMarqModel model = [&](std::int32_t, const TParamVector& p, bool& ok, long double point) {
        if (!valueKnown || !(p == known)) {
            known = p;
            valueKnown = true;
            valueOk = chi2.Expected(Unpacked(start, p, free), values);
        }
        if (!valueOk) {
            ok = false;
            return 0.0L;
        }
        return values[PointIndex(point)];
    };
    const TMarqDerivatives derivatives = [&](std::int32_t j, const TDataVector&, std::int32_t,
                                             const TParamVector& p, TParamVector& dy, bool& ok) {
        if (!derivativesKnown || !(p == knownDerivatives)) {
            knownDerivatives = p;
            derivativesKnown = true;
            for (std::size_t k = 0; k < free.size(); ++k) {
                TParamVector shifted = p;
                const long double step = DerivativeStep(p[k + 1]);
                shifted[k + 1] = p[k + 1] + step;
                bool fine = chi2.Expected(Unpacked(start, shifted, free), above);
                shifted[k + 1] = p[k + 1] - step;
                fine = chi2.Expected(Unpacked(start, shifted, free), below) && fine;
                slopes[k].resize(n);
                for (std::int32_t i = 0; i < n; ++i)
                    slopes[k][i] = fine ? (above[i] - below[i]) / (2 * step) : 0;
                if (!fine)
                    derivativesKnown = false;
            }
        }
        if (!derivativesKnown) {
            ok = false;
            return;
        }
        for (std::size_t k = 0; k < free.size(); ++k)
            dy[k + 1] = slopes[k][j - 1];
    };
    TMarqControl control;
    std::int32_t limit = 0;
    MarqDefaults(control, limit);
    TChiSquareMinimum minimum;
    TParamVector packed = Packed(start, free);
    long double sum = 0;
    try {
        MarqMinimize(control, iterationLimit, 0, n, x, y, w, np, packed, sum, covariance, fitted,
                     minimum.ReturnCode, model, derivatives);
    } catch (const EMathError&) {
        // The damping ran beyond the extended range, no step lowering chi^2: the vector the run
        // was at, unless it is worse than the start.
        FpReset();
        minimum.ReturnCode = MarqNotStarted;
        if (!(chi2(Unpacked(start, packed, free)) <= chi2(start)))
            packed = Packed(start, free);
    }
    minimum.Params = Unpacked(start, packed, free);
    minimum.ChiSquare = chi2(minimum.Params);
    return minimum;
}

namespace {

// V = 2 H^-1 scale with H by central differences over `steps`.
std::optional<std::vector<long double>> CovarianceOver(TChiSquare& chi2, const TParamVector& q,
                                                       const std::vector<std::int32_t>& free,
                                                       const std::vector<long double>& steps,
                                                       long double scale) {
    const auto np = static_cast<std::int32_t>(free.size());
    const auto at = [&](std::int32_t i, long double di, std::int32_t k, long double dk) {
        TParamVector shifted = q;
        shifted[free[static_cast<std::size_t>(i)]] += di * steps[static_cast<std::size_t>(i)];
        shifted[free[static_cast<std::size_t>(k)]] += dk * steps[static_cast<std::size_t>(k)];
        return chi2(shifted);
    };
    const long double centre = chi2(q);
    // The Hessian's lower triangle, packed for the Cholesky factorisation.
    TPackedMatrix hessian;
    for (std::int32_t i = 0; i < np; ++i)
        for (std::int32_t k = 0; k <= i; ++k) {
            const long double hi = steps[static_cast<std::size_t>(i)],
                              hk = steps[static_cast<std::size_t>(k)];
            const long double value =
                i == k ? (at(i, 1, i, 0) - 2 * centre + at(i, -1, i, 0)) / (hi * hi)
                       : (at(i, 1, k, 1) - at(i, 1, k, -1) - at(i, -1, k, 1) + at(i, -1, k, -1)) /
                             (4 * hi * hk);
            if (!std::isfinite(value))
                return std::nullopt;
            hessian[(i + 1) * i / 2 + k + 1] = value;
        }
    bool positive = true;
    CholDecompose(np, hessian, positive);
    if (!positive)
        return std::nullopt;
    std::vector<long double> covariance(static_cast<std::size_t>(np * np));
    for (std::int32_t i = 0; i < np; ++i) {
        TParamVector unit;
        unit[i + 1] = 1;
        CholSolve(np, hessian, unit);
        for (std::int32_t k = 0; k < np; ++k)
            covariance[static_cast<std::size_t>(i * np + k)] = 2 * scale * unit[k + 1];
    }
    return covariance;
}

} // namespace

std::optional<std::vector<long double>> ChiSquareCovariance(TChiSquare& chi2, const TParamVector& q,
                                                            const std::vector<std::int32_t>& free,
                                                            long double scale) {
    std::vector<long double> steps;
    for (const std::int32_t slot : free) {
        const long double size = std::max(1.0L, std::fabs(q[slot]));
        long double step = 1e-3L * size;
        const std::optional<std::vector<long double>> own =
            CovarianceOver(chi2, q, {slot}, {step}, scale);
        if (own && std::isfinite((*own)[0]) && (*own)[0] > 0)
            step = std::min(std::sqrt((*own)[0]), 0.3L * size);
        steps.push_back(step);
    }
    return CovarianceOver(chi2, q, free, steps, scale);
}

TCheckedVector<TCheckedVector<double>>
ChiSquareGrid(const TAtomicData& data, const TParamVector& p, const TMapRange& range,
              std::int32_t rows, std::int32_t columns, std::int32_t threads,
              const std::function<bool(std::int32_t rowsDone, std::int32_t rows)>& progress) {
    const TCheckedVector<double> logDensities =
        GridValues(range.FromLogDensity, range.LogDensityStep, columns);
    const TCheckedVector<double> temperatures =
        GridValues(range.FromTemperature, range.TemperatureStep, rows);
    TCheckedVector<TCheckedVector<double>> grid(rows);
    const std::int32_t workers = std::min(ThreadCount(threads), std::max(rows, 1));
    // Each thread's model: a copy with the levels, lines and escape factor.
    std::vector<std::unique_ptr<TAtomicData>> models;
    for (std::int32_t w = 0; w < workers; ++w)
        models.push_back(std::make_unique<TAtomicData>(data, nullptr));
    // The map's grid model gives the fractions of a row at a fraction of ModelBF's cost, the
    // same values; a row it leaves or faults in goes point by point, as every row did before.
    FpReset();
    std::optional<TGridModel> shared;
    try {
        shared.emplace(data, p, logDensities);
    } catch (const Exception&) {
        shared.reset();
    }
    if (FpPending())
        shared.reset();
    FpReset();
    std::vector<TGridModel::TScratch> scratch;
    for (std::int32_t w = 0; shared && w < workers; ++w)
        scratch.push_back(shared->NewScratch());
    std::atomic<std::int32_t> done{0};
    std::atomic<bool> cancelled{false};
    RunRows(workers, rows, [&](std::int32_t worker, std::int32_t r) {
        TAtomicData& model = *models[static_cast<std::size_t>(worker)];
        const TIntensityData intensities(model);
        TCheckedVector<double>& row = grid[r];
        row.resize(columns);
        FpReset();
        const bool gridded =
            shared &&
            shared->Row(temperatures[r], scratch[static_cast<std::size_t>(worker)],
                        [&](std::int32_t c, const TCheckedVector<long double>& fractions) {
                            const long double sum = intensities.ChiSquare(fractions);
                            row[c] = static_cast<double>(std::isfinite(sum) ? sum : kInfinity);
                        }) &&
            !FpPending();
        FpReset();
        if (!gridded) {
            TChiSquare chi2(intensities, BoltzmannFractions(model));
            TPrecalcScope scope(model);
            const TLineConstantsScope constants(model, p);
            TParamVector q = p;
            Slot(q, Temperature) = temperatures[r];
            for (std::int32_t c = 0; c < columns; ++c) {
                Slot(q, LogDensity) = logDensities[c];
                row[c] = static_cast<double>(chi2(q));
            }
            FpReset();
        }
        if (progress && !progress(++done, rows)) {
            cancelled = true;
            return false;
        }
        return true;
    });
    if (cancelled)
        throw EAbort("The map was cancelled.");
    return grid;
}

TChiSquareMap
ChiSquareMapOf(const TAtomicData& data, const TParamVector& p, const TMapRange& range,
               std::int32_t rows, std::int32_t columns, std::int32_t threads,
               const std::function<bool(std::int32_t rowsDone, std::int32_t rows)>& progress) {
    TChiSquareMap map;
    map.Grid = ChiSquareGrid(data, p, range, rows, columns, threads, progress);
    TAtomicData model(data, nullptr);
    const TIntensityData intensities(model);
    map.Noise = intensities.Noise();
    const bool oneTemperature = rows == 1 || range.TemperatureStep == 0;
    map.Parameters = oneTemperature ? 1 : 2;
    map.DegreesOfFreedom = intensities.DegreesOfFreedom(map.Parameters);
    const TCheckedVector<double> logDensities =
        GridValues(range.FromLogDensity, range.LogDensityStep, columns);
    const TCheckedVector<double> temperatures =
        GridValues(range.FromTemperature, range.TemperatureStep, rows);
    TParamVector best = p;
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c) {
            const long double value = map.Grid[r][c];
            if (!std::isfinite(value) || (map.Found && !(value < map.Minimum)))
                continue;
            map.Minimum = value;
            map.Found = true;
            Slot(best, LogDensity) = logDensities[c];
            Slot(best, Temperature) = temperatures[r];
        }
    map.MinimumLogDensity = Slot(best, LogDensity);
    map.MinimumTemperature = Slot(best, Temperature);
    if (!map.Found || intensities.Lines() > TDataVector::Size)
        return map;
    TPrecalcScope scope(model);
    const TLineConstantsScope constants(model, p);
    TChiSquare chi2(intensities, BoltzmannFractions(model));
    const TChiSquareMinimum polished =
        MinimiseChiSquare(chi2, best,
                          oneTemperature ? std::vector<std::int32_t>{LogDensity}
                                         : std::vector<std::int32_t>{LogDensity, Temperature});
    const TParamVector& at = polished.ChiSquare < map.Minimum ? polished.Params : best;
    map.Minimum = std::min(map.Minimum, polished.ChiSquare);
    map.MinimumLogDensity = Slot(at, LogDensity);
    map.MinimumTemperature = Slot(at, Temperature);
    FpReset();
    return map;
}

long double Propagated(const std::vector<long double>& covariance,
                       const std::vector<long double>& gradient) {
    const std::size_t n = gradient.size();
    long double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < n; ++k)
            sum += gradient[i] * covariance.at(i * n + k) * gradient[k];
    return sum;
}

long double BoltzmannSlope(const TAtomicData& data, std::int32_t j, long double temperature) {
    const long double energy =
        kElementaryCharge *
        (static_cast<long double>(data.Levels[j].Energy) - data.Levels[0].Energy);
    return energy / (kBoltzmann * temperature * temperature) * (temperature < 0 ? -1 : 1);
}

namespace {

// The densities of the populated levels at the fitted vector (the model evaluated there) with
// their uncertainties from the covariance V of (log10 n_1, T_exc): with the gradient of n_j,
// dn_j / dlog10 n_1 = ln(10) n_j and dn_j / dT = n_j BoltzmannSlope, u(n_j)^2 = g_j^T V g_j and
// u(n_tot)^2 = (sum_j g_j)^T V (sum_j g_j).
void DerivedValues(const TAtomicData& data, TLikelihoodFit& fit) {
    TResultValues& values = fit.Values;
    const long double temperature = Slot(fit.Params, Temperature);
    values.Temperature = temperature;
    values.RSS = fit.ChiSquare;
    const std::int32_t populated = data.PopulatedLevels(fit.Params);
    const std::int32_t np = fit.Parameters;
    std::vector<long double> total(static_cast<std::size_t>(np));
    for (std::int32_t j = 0; j < populated; ++j) {
        const long double n = data.Levels[j].Population;
        std::vector<long double> g = {kLn10 * n};
        if (np == 2)
            g.push_back(n * BoltzmannSlope(data, j, temperature));
        for (std::int32_t i = 0; i < np; ++i)
            total[static_cast<std::size_t>(i)] += g[static_cast<std::size_t>(i)];
        values.Densities.push_back(n);
        values.Uncertainties.push_back(fit.Covariance ? FpSqrt(Propagated(*fit.Covariance, g)) : 0);
        values.Total += n;
    }
    if (fit.Covariance) {
        values.TotalUncertainty = FpSqrt(Propagated(*fit.Covariance, total));
        if (np == 2)
            values.TemperatureUncertainty = FpSqrt((*fit.Covariance)[3]);
    }
}

// The profile-likelihood interval of log10 n_1 at kQuoteLevel: where chi^2, minimised over
// T_exc when it is fitted, rises by ChiSquareRise above its minimum. Each side is scanned
// outward in doubling steps from `step` (the standard uncertainty, where there is one) to ten
// decades, T_exc followed from point to point, and the bound is the outermost crossing: thin
// lines can leave chi^2 below the bound again far out, and then so far reaches the interval
// (no bound where the last point scanned lies inside).
void ProfileInterval(TChiSquare& chi2, TLikelihoodFit& fit, long double step) {
    const std::optional<long double> rise =
        ChiSquareRise(fit.Noise, fit.ChiSquare, fit.DegreesOfFreedom, 1, kQuoteLevel);
    if (!rise)
        return;
    constexpr std::int32_t kProfileIterations = 10;
    constexpr long double kFarthest = 10; // decades
    // chi^2 - chi2min - rise at log10 n_1 = x, T_exc minimised from `temperature`, which it
    // then holds.
    const auto excess = [&](long double x, long double& temperature) {
        TParamVector q = fit.Params;
        Slot(q, LogDensity) = x;
        Slot(q, Temperature) = temperature;
        long double value = 0;
        if (fit.Parameters == 2) {
            const TChiSquareMinimum m =
                MinimiseChiSquare(chi2, q, {Temperature}, kProfileIterations);
            temperature = Slot(m.Params, Temperature);
            value = m.ChiSquare;
        } else {
            value = chi2(q);
        }
        return value - fit.ChiSquare - *rise;
    };
    struct TScanned {
        long double X, Excess, Temperature;
    };
    const long double centre = Slot(fit.Params, LogDensity);
    const long double first = step > 0 && step < kFarthest ? step : 0.1L;
    for (const long double direction : {-1.0L, 1.0L}) {
        std::vector<TScanned> scan = {{centre, -*rise, Slot(fit.Params, Temperature)}};
        // Steps doubling outward from the minimum, at most kFarthest decades.
        for (long double distance = first; distance <= kFarthest;) {
            long double temperature = scan.back().Temperature;
            const long double x = centre + direction * distance;
            const long double e = excess(x, temperature);
            if (std::isnan(e))
                break;
            scan.push_back({x, e, temperature});
            distance *= 2;
        }
        std::size_t inside = scan.size() - 1;
        while (inside > 0 && !(scan[inside].Excess < 0))
            --inside;
        if (inside + 1 == scan.size())
            continue;
        const TScanned &in = scan[inside], &out = scan[inside + 1];
        long double temperature = in.Temperature;
        const auto f = [&](long double x) {
            long double t = temperature;
            return excess(x, t);
        };
        std::uintmax_t iterations = 60;
        const bool below = direction < 0;
        const auto bounds = boost::math::tools::toms748_solve(
            f, below ? out.X : in.X, below ? in.X : out.X, below ? out.Excess : in.Excess,
            below ? in.Excess : out.Excess, boost::math::tools::eps_tolerance<long double>(24),
            iterations);
        (below ? fit.DensityLow : fit.DensityHigh) = PowerOfTen((bounds.first + bounds.second) / 2);
    }
}

} // namespace

TLikelihoodFit FitLikelihood(TAtomicData& data, const TParamVector& p, const TSearchRange& range) {
    TLikelihoodFit fit;
    fit.Range = range;
    const TIntensityData intensities(data);
    const bool withTemperature = TruncToInt(Slot(p, FitCount)) >= 2;
    fit.Noise = intensities.Noise();
    fit.Lines = intensities.Lines();
    fit.UpperLevels = intensities.UpperLevels();
    fit.Parameters = withTemperature ? 2 : 1;
    fit.DegreesOfFreedom = intensities.DegreesOfFreedom(fit.Parameters);
    if (fit.Lines > TDataVector::Size) {
        fit.Reason = Format("%d lines, but a fit takes at most %d", {fit.Lines, TDataVector::Size});
        return fit;
    }
    if (fit.Lines - fit.UpperLevels < 1) {
        fit.Reason = "no upper level has two measured lines";
        return fit;
    }
    FpReset();
    data.ClearPrecalc();
    TPrecalcScope scope(data);
    const TLineConstantsScope constants(data, p);
    const TModelFractions fractions = BoltzmannFractions(data);
    TChiSquare chi2(intensities, fractions);

    // The coarse grid: chi^2 and the result line's fit's weighted sum of squares of the fractions.
    const TCheckedVector<long double> weights = FractionWeights(data);
    const std::vector<long double> densities =
        Axis(range.FromLogDensity, range.ToLogDensity, kCoarseDensities);
    const std::vector<long double> temperatures =
        withTemperature ? Axis(range.FromTemperature, range.ToTemperature, kCoarseTemperatures)
                        : std::vector<long double>{Slot(p, Temperature)};
    TCheckedVector<long double> b;
    // chi^2 at every grid point, row by row (+infinity where the model cannot compute it).
    std::vector<long double> grid;
    std::size_t bestIndex = 0;
    for (const long double t : temperatures)
        for (const long double x : densities) {
            grid.push_back(kInfinity);
            TParamVector q = p;
            Slot(q, LogDensity) = x;
            Slot(q, Temperature) = t;
            try {
                fractions(q, b);
            } catch (const EMathError&) {
                continue;
            }
            long double sum = 0;
            for (std::int32_t i = 0; i < b.size(); ++i) {
                const long double d = data.SelectedLines[i].BFMeasured - b[i];
                sum += weights[i] * d * d;
            }
            const long double c = intensities.ChiSquare(b);
            if (FpPending()) {
                FpReset();
                continue;
            }
            grid.back() = c;
            if (!fit.GridBest.Found || c < fit.GridBest.Sum) {
                fit.GridBest = {x, t, c, true};
                bestIndex = grid.size() - 1;
            }
            if (!fit.LineFitBest.Found || sum < fit.LineFitBest.Sum)
                fit.LineFitBest = {x, t, sum, true};
        }
    if (!fit.GridBest.Found) {
        fit.Reason = "the model cannot be computed at any point of the map's range";
        return fit;
    }
    fit.Done = true;

    // The polish starts from the vertex of the parabola through the best point and its two
    // neighbours on each axis, where they have values: closer to the minimum than the grid's
    // spacing, at the cost of no further evaluation.
    TParamVector start = p;
    const std::size_t columns = densities.size();
    Slot(start, LogDensity) = Vertex(densities, bestIndex % columns, [&](std::size_t c) {
        return grid[bestIndex - bestIndex % columns + c];
    });
    Slot(start, Temperature) = Vertex(temperatures, bestIndex / columns, [&](std::size_t r) {
        return grid[r * columns + bestIndex % columns];
    });
    const std::vector<std::int32_t> free = withTemperature
                                               ? std::vector<std::int32_t>{LogDensity, Temperature}
                                               : std::vector<std::int32_t>{LogDensity};
    const TChiSquareMinimum minimum = MinimiseChiSquare(chi2, start, free);
    fit.Params = minimum.Params;
    fit.ChiSquare = minimum.ChiSquare;
    fit.ReturnCode = minimum.ReturnCode;
    const long double x = Slot(fit.Params, LogDensity), t = Slot(fit.Params, Temperature);

    // The scale of chi^2 and its goodness of fit.
    const std::int32_t nu = fit.DegreesOfFreedom;
    const std::optional<long double> scale = ChiSquareScale(fit.Noise, fit.ChiSquare, nu);
    if (fit.Noise == TNoiseModel::Given && nu >= 1)
        fit.PValue = boost::math::cdf(boost::math::complement(
            boost::math::chi_squared_distribution<long double>(nu), fit.ChiSquare));
    if (fit.Noise == TNoiseModel::Relative && scale)
        fit.Scale = FpSqrt(*scale);
    if (scale && *scale > 0)
        fit.Covariance = ChiSquareCovariance(chi2, fit.Params, free, *scale);
    fit.Quoted = fit.Covariance.has_value();

    // The model at the minimum gives the populations of the quoted densities.
    FpReset();
    try {
        fractions(fit.Params, b);
        DerivedValues(data, fit);
    } catch (const EMathError&) {
        fit.Quoted = false;
    }
    if (FpPending() && fit.Divergence.empty())
        fit.Divergence = "A floating-point fault in the uncertainties of the likelihood fit at " +
                         PointText(x, t) + ".";
    FpReset();
    ProfileInterval(chi2, fit,
                    fit.Covariance && (*fit.Covariance)[0] > 0 ? std::sqrt((*fit.Covariance)[0])
                                                               : 0);
    FpReset();
    return fit;
}

} // namespace zelt
