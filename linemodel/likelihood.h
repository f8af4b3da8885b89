// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The likelihood of the measured intensities. The fractions of one upper level add up to 1 and
// scale with the noise of the intensities they are made of, so they are neither independent nor
// of equal scatter; the intensities are. With q_i = I_i lambda_i (the photon rate, the program's
// unit), sigma_i its standard uncertainty and b_i(theta) the model's fraction of line i,
//     chi^2(theta) = sum_k min_Q_k sum_{i in k} ((q_i - Q_k b_i(theta)) / sigma_i)^2,
// one free total Q_k per upper level k, profiled out analytically:
//     Q_k = sum_i q_i b_i / sigma_i^2 / sum_i b_i^2 / sigma_i^2.
// For Gaussian noise chi^2 is -2 ln L up to a constant, and it takes
//     nu = lines - upper levels with lines - fitted parameters
// degrees of freedom. The fit minimises it over log10 n_1 (and T_exc when asked), starting from
// the best point of a coarse grid over the map's range and polished by the minimiser.

#include "linemodel/modeltypes.h"
#include "linemodel/region.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

// The measured intensities of the selected lines that a likelihood takes: the lines with a
// measured fraction above 0 and a transition probability above 0 (a line with A = 0 has no
// model fraction), and with the given noise an uncertainty above 0.
class TIntensityData {
public:
    explicit TIntensityData(const TAtomicData& data);

    TNoiseModel Noise() const { return noise_; }
    std::int32_t Lines() const { return static_cast<std::int32_t>(lines_.size()); }
    std::int32_t UpperLevels() const { return upperLevels_; }
    // nu for `parameters` fitted parameters.
    std::int32_t DegreesOfFreedom(std::int32_t parameters) const {
        return Lines() - upperLevels_ - parameters;
    }
    // The index in SelectedLines of line k of the likelihood.
    std::int32_t Selected(std::int32_t k) const {
        return lines_[static_cast<std::size_t>(k)].Index;
    }
    // q_k / sigma_k, the measurement in units of its uncertainty (1 for the relative noise).
    long double Observed(std::int32_t k) const;
    // Q b_k / sigma_k for the model fractions b of every selected line (SelectedLines order),
    // Q the profiled total of line k's upper level.
    void Expected(const TCheckedVector<long double>& fractions,
                  TCheckedVector<long double>& out) const;
    // chi^2 for those fractions.
    long double ChiSquare(const TCheckedVector<long double>& fractions) const;
    // Whether level j is the lower level of a line whose upper level has a second line here:
    // only then does its density move chi^2.
    bool Absorbs(std::int32_t j) const;

private:
    struct TUsedLine {
        std::int32_t Index;      // in SelectedLines
        std::int32_t Group;      // the upper level, numbered 0 .. upperLevels_ - 1
        long double Rate, Sigma; // q = I lambda and its sigma
    };
    TNoiseModel noise_;
    std::vector<TUsedLine> lines_;
    std::int32_t upperLevels_ = 0;
    std::vector<std::int32_t> absorbing_; // lower levels, ascending
};

// The noise model as every output states it: "u(I) given beside the measurement
// (NAME.lines.tsv)", or "relative, u(I) = s I, s = 1.07 % from the fit" (without the value
// where s is not known).
std::string NoiseModelText(TNoiseModel noise, const std::optional<long double>& scale = {});

// The fractions of the Boltzmann model, ModelBF, the model the result line's fit uses.
TModelFractions BoltzmannFractions(TAtomicData& data);

// chi^2 as a function of some slots of a parameter vector, the others held.
class TChiSquare {
public:
    TChiSquare(const TIntensityData& data, TModelFractions fractions)
        : data_(data), fractions_(std::move(fractions)) {}
    const TIntensityData& Data() const { return data_; }
    // chi^2 at q; +infinity where the model cannot compute it.
    long double operator()(const TParamVector& q);
    // Q b_k / sigma_k of every line at q, into `out`; false where the model cannot compute it.
    bool Expected(const TParamVector& q, TCheckedVector<long double>& out);

private:
    const TIntensityData& data_;
    TModelFractions fractions_;
    TCheckedVector<long double> scratch_;
};

// The minimum of chi^2 over the slots `free` from `start` (the other slots held), found by the
// minimiser with central differences; the vector holds it in those slots.
struct TChiSquareMinimum {
    TParamVector Params;
    long double ChiSquare = 0;
    std::int32_t ReturnCode = -1;
};
TChiSquareMinimum MinimiseChiSquare(TChiSquare& chi2, const TParamVector& start,
                                    const std::vector<std::int32_t>& free,
                                    std::int32_t iterationLimit = 200);

// The covariance of the slots `free` at the minimum q: V = 2 H^-1 scale, H the Hessian of
// chi^2 by central differences one standard uncertainty wide (each slot's own, from its second
// difference over a small step; at most 0.3 of the slot's value or 0.3), scale = 1 for given
// uncertainties and s^2 = chi^2_min / nu for the relative noise. Row by row, element (i, k) at
// i * size + k; absent unless H is positive definite.
std::optional<std::vector<long double>> ChiSquareCovariance(TChiSquare& chi2, const TParamVector& q,
                                                            const std::vector<std::int32_t>& free,
                                                            long double scale);

// g^T V g: the variance of a quantity with the gradient g over parameters of covariance V
// (row by row, as ChiSquareCovariance gives it).
long double Propagated(const std::vector<long double>& covariance,
                       const std::vector<long double>& gradient);

// d ln n_j / dT for the Boltzmann population of level j, n_j = n_1 (g_j / g_1)
// exp(-e (E_j - E_1) / (k |T|)): e (E_j - E_1) / (k T^2), with the sign of T.
long double BoltzmannSlope(const TAtomicData& data, std::int32_t j, long double temperature);

// chi^2 at every point of the map of `range` (RSSMap's layout: `rows` temperatures, `columns`
// log10 densities, at GridValues), the other slots of p as the map's, computed on `threads`
// threads (ThreadCount) in copies of the model: the confidence region of the same likelihood
// as the fit's. A point the model cannot compute holds +infinity. `progress` is asked as
// TAtomicData::MapProgress is; false stops with EAbort "The map was cancelled.".
TCheckedVector<TCheckedVector<double>>
ChiSquareGrid(const TAtomicData& data, const TParamVector& p, const TMapRange& range,
              std::int32_t rows, std::int32_t columns, std::int32_t threads,
              const std::function<bool(std::int32_t rowsDone, std::int32_t rows)>& progress = {});

// ChiSquareGrid of the map, and its minimum: the best grid point polished by the minimiser over
// the map's parameters (never above the best grid point), so that the region's bound does not
// depend on where the grid's points happen to lie.
TChiSquareMap
ChiSquareMapOf(const TAtomicData& data, const TParamVector& p, const TMapRange& range,
               std::int32_t rows, std::int32_t columns, std::int32_t threads,
               const std::function<bool(std::int32_t rowsDone, std::int32_t rows)>& progress = {});

// Fits the selected lines of `data` for the model vector p (slots GasTemperature, PathLength,
// AtomMass, BoltzmannLevels, Temperature as the start or fixed temperature, FitCount 1 or 2):
// the coarse grid over `range` (kCoarseDensities x kCoarseTemperatures, or the densities alone
// at p's temperature), the polish from its best point, the covariance, the derived densities
// and the profile interval. The grid also finds the best point of the result line's fit's sum of
// squares (FractionWeights), which judges whether that fit ended in a local minimum. The line
// model's fractions and populations belong to the last vector evaluated.
TLikelihoodFit FitLikelihood(TAtomicData& data, const TParamVector& p, const TSearchRange& range);

} // namespace zelt
