// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fit mode "free lower levels". The Boltzmann model ties the populated lower levels to n_1 by
//     n_k = n_1 (g_k / g_1) exp(-(E_k - E_1) e / (k T_exc)),
// which the metastable and resonant levels of a low-pressure discharge do not obey. Here the
// density of every populated level k = 1 .. Boltzmax is a parameter of its own, log10 n_k
// (n_k in m-3), in slot k of the fit's vector; optical depths, escape factors and fractions
// follow from the densities exactly as in the Boltzmann model (ComputeFractions), with the
// same minimiser, log and covariance. Whether the data ask for free levels is judged by the
// F-test of the nested Boltzmann model against the free one.

#include "linemodel/modeltypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

// At most as many free levels as the minimiser fits parameters.
inline constexpr std::int32_t kMaxFreeLevels = 8;

// The model of the free lower levels for the lines and levels of `data`, with the absorption of
// the slots GasTemperature, PathLength and AtomMass of `setup` and its Boltzmax levels. It
// shares the model cache of `data`, which its fits empty before and after as ModelBF's do.
class TFreeLevelsModel {
public:
    // Raises Exception for no populated level or more than kMaxFreeLevels of them.
    TFreeLevelsModel(TAtomicData& data, const TParamVector& setup);

    TAtomicData& Data() const { return data_; }
    std::int32_t Levels() const { return levels_; }
    const TParamVector& Setup() const { return setup_; }
    // The model fraction of the selected line number x for the log10 densities in slots
    // 1 .. Levels() of q; sets the populations of those levels on a cache miss.
    long double Fraction(const TParamVector& q, long double x);
    // The same for the minimiser's trial vectors: densities beyond what the model can compute
    // (a floating-point fault) make it report failure, so that the minimiser rejects the step.
    long double Trial(const TParamVector& q, bool& ok, long double x);
    // Central differences of Fraction in slots 1 .. Levels() for the minimiser, with a step of
    // 1e-3 in log10 n (0.2 % of the density): the Boltzmann model's relative step would move a
    // density of 1e16 m-3 by 20 %.
    void Derivatives(std::int32_t j, const TDataVector& x, const TParamVector& q, TParamVector& dy);

private:
    TAtomicData& data_;
    TParamVector setup_;
    std::int32_t levels_ = 0;
};

// One level of a free fit. Uncertainties are standard ones, scaled with the degrees of freedom
// of the branching fractions (see TFreeLevelsFit); they are absent where the data do not
// determine them.
struct TFreeLevel {
    std::int32_t Level = 0;     // index into Levels
    bool Determined = false;    // the data move its density
    long double LogDensity = 0; // log10 n_k, n_k in m-3
    long double Density = 0;    // n_k, m-3
    std::optional<long double> LogUncertainty, Uncertainty;
    long double Ratio = 1; // n_k / n_1
    std::optional<long double> RatioUncertainty;
    // The excitation temperature (K) that gives this ratio under Boltzmann balance,
    //     T = (E_k - E_1) e / (k ln((g_k / g_1) / (n_k / n_1))),
    // negative for an inversion; absent for the first level and a ratio of exactly g_k / g_1.
    std::optional<long double> Temperature, TemperatureUncertainty;
};

// What a free fit found. The standard uncertainty of log10 n_k is sqrt(S / nu C_kk), nu being
// the independent fractions, sum over upper levels of (m - 1), less the K fitted levels.
struct TFreeLevelsFit {
    TFitResult Fit; // slots 1 .. K: log10 n_k; Uncertainty left 0 (see Levels)
    std::vector<TFreeLevel> Levels;
    // Correlation coefficients C_ik / sqrt(C_ii C_kk), K x K; 0 where a level is not determined.
    std::vector<std::vector<long double>> Correlation;
    std::int32_t Parameters = 0;       // K
    std::int32_t DegreesOfFreedom = 0; // nu
};

// The F-test of the Boltzmann fit (p_B parameters, sum of squares S_B) against the free fit
// (p_F, S_F, nu_F) that contains it:
//     F = ((S_B - S_F) / (p_F - p_B)) / (S_F / nu_F),
// F(p_F - p_B, nu_F)-distributed when the levels are in Boltzmann balance, so a small p-value
// says the data ask for free levels.
struct TModelComparison {
    long double BoltzmannSum = 0, FreeSum = 0;
    std::int32_t BoltzmannParameters = 0, FreeParameters = 0, FreeDegreesOfFreedom = 0;
    // false, with the reason, where the test cannot be made: p_F <= p_B, nu_F < 1 or S_F = 0.
    bool Applicable = false;
    std::string Reason;
    long double F = 0, PValue = 1;
};
TModelComparison CompareModels(long double boltzmannSum, std::int32_t boltzmannParameters,
                               long double freeSum, std::int32_t freeParameters,
                               std::int32_t freeDegreesOfFreedom);

// Fits the free levels of `model` from the log10 densities `start` (slots 1 .. K) and derives
// the results; the log is written to `logPath` with the parameters named "log10(n_k)".
TFreeLevelsFit FitFreeLevelsFrom(TFreeLevelsModel& model, const TParamVector& start,
                                 std::int32_t iterationLimit, const std::string& logPath);

// The free-levels command: a Boltzmann fit of p (its slots as for FitLines, fitCount fitted
// slots), then the free fit, from the K log10 densities `start` when given, else from the
// populations of the Boltzmann fit, or of p itself when that fit fails; then the F-test.
// `boltzmannDone` is called with the Boltzmann fit while its populations are in Levels.
struct TFreeLevelsRun {
    std::optional<TFitResult> Boltzmann; // absent when the Boltzmann fit failed
    std::string BoltzmannError;          // its message then
    std::int32_t BoltzmannParameters = 0;
    TFreeLevelsFit Free;
    std::optional<TModelComparison> Comparison; // absent without the Boltzmann fit
};
TFreeLevelsRun FitFreeLevels(TAtomicData& data, const TParamVector& p, std::int32_t iterationLimit,
                             std::int32_t fitCount, const std::vector<long double>& start,
                             const std::string& logPath,
                             const std::function<void(const TFitResult&)>& boltzmannDone = {});

// Appends the result line of a free fit (and first the column header) to `out`: the columns
// of WriteResults, the T_exc columns reading "free", and "n.d." for what is not determined
// (a level the data do not determine, and then the total; an uncertainty without nu >= 1).
void WriteFreeLevelsResults(TAtomicData& data, const TFreeLevelsFit& fit, TReportList& out,
                            const std::string& fileName);

// The name of populated level k = 1 .. Boltzmax in logs and tables: "n_k".
std::string LevelName(std::int32_t k);

// One line per level of a free fit (Windows-1252), e.g.
//   "n_2 3p5(3/2)4s 2[3/2]* J=1: n = 1.641E+016 ± 2.436E+014 m-3, n/n_1 = 0.3338 ± 0.0038,
//   Boltzmann T = 1489 ± 29 K", or "n_4 ...: not determined".
std::vector<std::string> FreeLevelsTable(const TAtomicData& data, const TFreeLevelsFit& fit);

} // namespace zelt
