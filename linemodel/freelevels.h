// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fit mode "free lower levels". The Boltzmann model ties the populated lower levels to n_1 by
//     n_k = n_1 (g_k / g_1) exp(-(E_k - E_1) e / (k T_exc)),
// which the metastable and resonant levels of a low-pressure discharge do not obey. Here the
// density of each level chosen free is a parameter of its own, log10 n_k (n_k in m-3); the
// others stay tied to n_1 and T_exc. Optical depths, escape factors and fractions follow from
// the densities exactly as in the Boltzmann model (ComputeFractions), and the fit minimises the
// likelihood chi^2 of the measured intensities (likelihood.h). Only a level that a measured
// line absorbs from (beside a second measured line of its upper level) moves chi^2: only such
// a level is a parameter. Whether the data ask for free levels is judged by the likelihood-ratio
// test of the nested Boltzmann fit against the free one.

#include "linemodel/modeltypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

// At most as many parameters as the minimiser fits.
inline constexpr std::int32_t kMaxFreeLevels = 8;

// The model of free lower levels for the lines and levels of `data`, with the absorption of
// the slots GasTemperature, PathLength and AtomMass of `setup` and its Boltzmax levels. Its
// vectors hold log10 n_1 in slot 1, T_exc in slot 2 and log10 n_k of the m-th free level above
// the first in slot 2 + m. It shares the model cache of `data`.
class TFreeLevelsModel {
public:
    // `chosen`: the numbers (from 1) of the levels chosen free; empty for every populated level.
    // Raises Exception for no populated level, a number that is not a populated level, or more
    // than kMaxFreeLevels levels chosen.
    TFreeLevelsModel(TAtomicData& data, const TParamVector& setup,
                     const std::vector<std::int32_t>& chosen = {});

    TAtomicData& Data() const { return data_; }
    std::int32_t Levels() const { return levels_; }
    const TParamVector& Setup() const { return setup_; }
    // Whether level j (from 0) was chosen free, and whether a measured line absorbs from it.
    bool Chosen(std::int32_t j) const { return chosen_[static_cast<std::size_t>(j)]; }
    bool Absorbing(std::int32_t j) const { return absorbing_[static_cast<std::size_t>(j)]; }
    // The slot of level j's log10 density: 1 for the first, 2 + m for the m-th chosen one above
    // it; 0 for a tied level.
    std::int32_t DensitySlot(std::int32_t j) const;
    // The slots the fit varies: log10 n_1 where the first level or a tied one absorbs, T_exc
    // where `temperatureFitted` and a tied level above the first absorbs, and the chosen
    // absorbing levels above the first.
    std::vector<std::int32_t> Fitted(bool temperatureFitted) const;
    // log10 n_j (n_j in m-3) of level j for q: its slot, or its Boltzmann density from n_1 and
    // T_exc (BoltzmannLogDensity).
    long double LevelLogDensity(const TParamVector& q, std::int32_t j) const;
    // log10 of n_1 (g_j / g_1) exp(-e (E_j - E_1) / (k |T|)) for log10 n_1 and T_exc of q.
    long double BoltzmannLogDensity(const TParamVector& q, std::int32_t j) const;
    // The vector of the Boltzmann model vector p (its log10 n_1 and T_exc, each chosen level at
    // its Boltzmann density).
    TParamVector FromBoltzmann(const TParamVector& p) const;
    // Sets the populations of the levels for q: chosen levels 10^q(slot), the others
    // n_1 (g_j / g_1) exp(-e (E_j - E_1) / (k |T|)).
    void Populate(const TParamVector& q);
    // The fractions of every selected line for q; a fault raises EMathError naming the densities.
    TModelFractions Fractions();

private:
    TAtomicData& data_;
    TParamVector setup_;
    std::int32_t levels_ = 0;
    std::vector<bool> chosen_, absorbing_;
};

// One level of a free fit. Uncertainties are standard ones, absent where the data do not
// determine them (see TFreeLevelsFit).
struct TFreeLevel {
    std::int32_t Level = 0;     // index into Levels
    bool Free = false;          // chosen free (else tied by Boltzmann balance)
    bool Determined = false;    // the data fix its density
    long double LogDensity = 0; // log10 n_k, n_k in m-3
    long double Density = 0;    // n_k, m-3
    std::optional<long double> Uncertainty;
    long double Ratio = 1; // n_k / n_1
    std::optional<long double> RatioUncertainty;
    // For a free level above the first, the excitation temperature (K) that gives its ratio
    // under Boltzmann balance,
    //     T = (E_k - E_1) e / (k ln((g_k / g_1) / (n_k / n_1))),
    // negative for an inversion; absent for a ratio of exactly g_k / g_1.
    std::optional<long double> Temperature, TemperatureUncertainty;
};

// What a free fit found. Uncertainties come from the covariance of the fitted slots
// (ChiSquareCovariance), given where the scale is known: given intensity uncertainties and
// nu >= 0, or the relative noise estimated with nu >= 1.
struct TFreeLevelsFit {
    TNoiseModel Noise = TNoiseModel::Relative;
    TFitResult Fit; // Params, SumOfSquares (chi^2 at the minimum), ReturnCode
    std::vector<TFreeLevel> Levels;
    std::int32_t Parameters = 0;       // the fitted slots
    std::int32_t DegreesOfFreedom = 0; // nu = lines - upper levels - parameters
    std::optional<long double> Scale;  // s of the relative noise, where estimated
};

// The test of the Boltzmann fit (p_B parameters, chi^2_B) against the free fit (p_F, chi^2_F,
// nu_F) that contains it. With given uncertainties the likelihood ratio
//     LR = chi^2_B - chi^2_F
// follows chi^2(p_F - p_B) (Wilks); with the relative noise estimated
//     F = ((chi^2_B - chi^2_F) / (p_F - p_B)) / (chi^2_F / nu_F)
// follows F(p_F - p_B, nu_F), both when the levels are in Boltzmann balance, so a small
// p-value says the data ask for free levels.
struct TModelComparison {
    TNoiseModel Noise = TNoiseModel::Relative;
    long double BoltzmannSum = 0, FreeSum = 0; // chi^2
    std::int32_t BoltzmannParameters = 0, FreeParameters = 0, FreeDegreesOfFreedom = 0;
    // false, with the reason, where the test cannot be made: p_F <= p_B, or for the estimated
    // noise nu_F < 1 or chi^2_F = 0.
    bool Applicable = false;
    std::string Reason;
    long double Statistic = 0, PValue = 1; // LR or F
};
TModelComparison CompareModels(TNoiseModel noise, long double boltzmannSum,
                               std::int32_t boltzmannParameters, long double freeSum,
                               std::int32_t freeParameters, std::int32_t freeDegreesOfFreedom);

// Fits the free levels of `model` from the Boltzmann likelihood fit `boltzmann`, T_exc varied
// where it was there, and derives the results.
TFreeLevelsFit FitFreeLevelsFrom(TFreeLevelsModel& model, const TLikelihoodFit& boltzmann);

// The free-levels command: the Boltzmann fit of the result line of p (its slots as for FitLines,
// fitCount fitted slots; its log at `logPath`), the likelihood fit of the same slots over `range`,
// then the free fit of the levels `chosen` (from 1; empty: every populated level) from it and the
// test. `boltzmannDone` is called with the result line's fit while its populations are in Levels.
struct TFreeLevelsRun {
    std::optional<TFitResult> Boltzmann; // absent when the result line's fit failed
    std::string BoltzmannError;          // its message then
    std::int32_t BoltzmannParameters = 0;
    TLikelihoodFit Likelihood; // the Boltzmann likelihood fit
    TFreeLevelsFit Free;
    std::optional<TModelComparison> Comparison; // absent without the likelihood fit
};
TFreeLevelsRun FitFreeLevels(TAtomicData& data, const TParamVector& p, std::int32_t iterationLimit,
                             std::int32_t fitCount, const TSearchRange& range,
                             const std::vector<std::int32_t>& chosen, const std::string& logPath,
                             const std::function<void(const TFitResult&)>& boltzmannDone = {});

// Appends the result line of a free fit (and first the column header) to `out`: the columns
// of WriteResults, the T_exc columns reading "free", and "n.d." for what is not determined
// (a level the data do not determine, and then the total; an uncertainty without its scale).
void WriteFreeLevelsResults(TAtomicData& data, const TFreeLevelsFit& fit, TReportList& out,
                            const std::string& fileName);

// The name of populated level k = 1 .. Boltzmax in logs and tables: "n_k".
std::string LevelName(std::int32_t k);

// One line per level of a free fit (Windows-1252), e.g.
//   "n_2 3p5(3/2)4s 2[3/2]* J=1: n = 1.641E+016 ± 2.436E+014 m-3, n/n_1 = 0.3338 ± 0.0038,
//   Boltzmann T = 1489 ± 29 K", a tied level "n_3 ...: n = ... m-3, tied (Boltzmann)", or
//   "n_4 ...: not determined".
std::vector<std::string> FreeLevelsTable(const TAtomicData& data, const TFreeLevelsFit& fit);

} // namespace zelt
