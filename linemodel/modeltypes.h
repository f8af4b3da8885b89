// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values of the line model: the levels and the measured lines, the slots of the parameter
// vector, the grid of a map, what a fit found with its judgement and the numbers of a result
// line. The application layer and the front ends name these without the model (atomicdata.h).

#include "common/checked.h"
#include "common/textfile.h"
#include "leastsquares/marqdef.h"
#include "textinput/TxtAccessNew.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// The most a measurement file may hold (ReadIntensities refuses a larger one).
inline constexpr TReadLimit kMeasurementLimit{16 * kMegabyte, "a measurement file"};
// The most lines a measurement may hold. Every measured line matches a database line of one
// species, of which a spectrum shows a few hundred; a selected line takes some 400 bytes, so the
// count bounds the memory too.
inline constexpr std::int32_t kMaxMeasuredLines = 10000;
// Raises EInOutError when a measurement of `count` lines, of the file `fileName`, holds more than
// kMaxMeasuredLines: before any is read, for lines given in memory.
void CheckMeasuredLineCount(const std::string& fileName, std::size_t count);

// One energy level of the species.
struct TLevel {
    std::string Configuration, Term; // at most 23 and 13 characters, trimmed
    double J = 0;
    double G = 0;          // statistical weight 2J + 1
    double Energy = 0;     // eV
    double SumA = 0;       // s-1, sum of Aki of the selected lines from this upper level
    double SumIL = 0;      // sum of Intensity * Wavelength of those lines
    double SumAEff = 0;    // s-1, sum of their absorption-reduced transition probabilities
    double Population = 0; // m-3, under the parameters of the last model evaluation
};

// One measured line matched to a database line and its two levels.
struct TLine {
    double Intensity = 0;
    double BFFit = 0;      // model branching fraction; -1 when it cannot be formed
    double BFMeasured = 0; // from the intensities
    double BFTheory = 0;   // Aki / SumA; -1 when it cannot be formed
    TAtomRecord Data;
    std::int32_t UpperLevel = 0, LowerLevel = 0; // indices into Levels
    // Standard uncertainty of Intensity, in its unit; 0 where the measurement gives none.
    double IntensityUncertainty = 0;
};

// The slots of the parameter vector that the model reads and the fit and map write.
enum TParamSlot : int {
    LogDensity = 1,      // log10 of the density n_1 of the first level, n_1 in m-3
    Temperature = 2,     // excitation temperature, K (its absolute value is used)
    GasTemperature = 3,  // K, sets the Doppler width
    PathLength = 4,      // m, the absorption path
    AtomMass = 5,        // kg
    BoltzmannLevels = 6, // number of lowest levels with a Boltzmann population
    FitCount = 7,        // number of fitted slots (1: slot 1, 2: slots 1 and 2)
    IterationLimit = 8,  // minimiser iterations
    ResultRSS = 11,      // fit: final sum of squares; map: smallest residual
    ResultCode = 12      // fit: the minimiser's result code; map: largest residual
};

inline long double& Slot(TParamVector& p, TParamSlot slot) {
    return p[static_cast<int>(slot)];
}
inline long double Slot(const TParamVector& p, TParamSlot slot) {
    return p[static_cast<int>(slot)];
}

// The number of levels that get a Boltzmann population out of `levels` levels: slot
// BoltzmannLevels, but never more than there are levels.
std::int32_t PopulatedLevels(const TParamVector& p, std::int32_t levels);

// The grid of the last map: log10 densities and temperatures (K) of its first and last points
// as asked for, and the steps between grid points.
struct TMapRange {
    double FromLogDensity = 0, ToLogDensity = 0, FromTemperature = 0, ToTemperature = 0,
           LogDensityStep = 0, TemperatureStep = 0;
};

// The values of a map axis as the map evaluates them: first + k step, k = 0 .. points - 1,
// built by adding the step one after another (each sum in extended precision, rounded to a
// double), so the last value of the range itself is never reached.
TCheckedVector<double> GridValues(double first, double step, std::int32_t points);

// What is wrong with a result, one bit each; 0 is a sound result.
enum TQualityFlag : std::uint32_t {
    // No line has a positive intensity, no level is populated (Boltzmax < 1), the absorption
    // path is 0, or no measured line absorbs from a populated level beside a second measured
    // line of its upper level: the fractions then depend on neither n_1 nor T_exc.
    NoInformation = 1u << 0,
    // Fewer independent fractions nu than fitted parameters (2 for a map).
    TooFewFractions = 1u << 1,
    // The minimiser's diagonal guard held log10 n_1 fixed (the data do not move it), u(n_1) is
    // not below n_1, or the likelihood's interval of n_1 is open on a side.
    DensityNotDetermined = 1u << 2,
    // T_exc below 0 K while it sets the populations.
    TemperatureNotPositive = 1u << 3,
    // T_exc fitted, but held fixed by the guard, beyond what the populations of the absorbing
    // levels resolve, or with an uncertainty not below itself.
    TemperatureNotDetermined = 1u << 4,
    // A selected line has a negative intensity (background subtraction can leave one).
    NegativeIntensity = 1u << 5,
    // The fit ran away (more than the map's width beyond its range, and as far from the
    // likelihood's minimum) or met a floating-point fault in its uncertainties.
    Diverged = 1u << 6,
    // The fit's sum of squares lies more than 1 % above that of the best point of the coarse grid
    // over the map's range.
    LocalMinimum = 1u << 7,
};

// The judgement of one map or fit.
struct TFitQuality {
    std::uint32_t Flags = 0;
    // The result line's procedure column: "fit:OK" and the other words of the result code, or
    // "map", when nothing is wrong; else "fit:" or "map:" and the first problem, e.g.
    // "fit:T_exc not determined".
    std::string Procedure;
    // One sentence per problem found, the most fundamental first.
    std::vector<std::string> Problems;
    // nu = sum over upper levels of (m_k - 1), m_k the lines of level k with a measured fraction.
    std::int32_t Fractions = 0;
    // nu minus the number of fitted parameters (2 for a map).
    std::int32_t DegreesOfFreedom = 0;
    // S, the sum of squared differences of measured and model fractions (a fit: over the lines
    // with a measured fraction; a map: at its best point, over all lines), and S / (N - 2) for
    // N selected lines when N > 2 (the map's residual).
    long double SumOfSquares = 0;
    std::optional<long double> SumPerPoint;
    // The likelihood's chi^2 / nu when every line it takes carries an intensity uncertainty.
    std::optional<long double> ChiSquarePerDegree;

    bool Flagged() const { return Flags != 0; }
};

// The numbers of one result line.
struct TResultValues {
    TCheckedVector<long double> Densities;       // m-3, the populated levels n_1, n_2, ...
    TCheckedVector<long double> Uncertainties;   // m-3, their standard uncertainties
    long double Total = 0, TotalUncertainty = 0; // m-3
    long double Temperature = 0, TemperatureUncertainty = 0; // K
    long double RSS = 0;                                     // slot ResultRSS
    std::string Procedure; // "map", or "fit:" and the word of the result code
};

// Where the standard uncertainties sigma_i of the measured photon rates q_i = I_i lambda_i
// come from in the likelihood of the intensities (likelihood.h).
enum class TNoiseModel : std::int32_t {
    // The standard uncertainties u(I_i) in the table beside the measurement file: sigma_i =
    // u(I_i) lambda_i. chi^2 is then absolute: a goodness-of-fit p-value, no scaling.
    Given,
    // Relative: sigma_i = s q_i, the same relative scatter s for every line, estimated from the
    // fit as s^2 = chi^2_1 / nu (chi^2_1 computed with s = 1).
    Relative
};

// The factor that turns 2 H^-1 (H the Hessian of chi^2) into the covariance: 1 for given
// uncertainties (nu >= 0), the estimated s^2 = chi^2 / nu for the relative noise (nu >= 1);
// absent otherwise.
inline std::optional<long double> ChiSquareScale(TNoiseModel noise, long double chi2,
                                                 std::int32_t nu) {
    if (noise == TNoiseModel::Given)
        return nu >= 0 ? std::optional<long double>(1) : std::nullopt;
    return nu >= 1 ? std::optional<long double>(chi2 / nu) : std::nullopt;
}

// The probability of the one-parameter intervals and the quoted standard uncertainties.
inline constexpr double kQuoteLevel = 0.683;

// The map's range as a likelihood fit searches it: log10 n_1 (n_1 in m-3) and T_exc in K, both
// ends included.
struct TSearchRange {
    double FromLogDensity = 0, ToLogDensity = 0, FromTemperature = 0, ToTemperature = 0;
};
// The coarse grid's points on each axis.
inline constexpr std::int32_t kCoarseDensities = 25, kCoarseTemperatures = 15;

// A point of the coarse grid and a sum of squares there.
struct TGridBest {
    long double LogDensity = 0, Temperature = 0;
    long double Sum = 0;
    bool Found = false; // no grid point could be computed otherwise
};

// The model fractions of every selected line for a parameter vector, in SelectedLines order;
// raises EMathError where the model cannot compute them.
using TModelFractions =
    std::function<void(const TParamVector& q, TCheckedVector<long double>& fractions)>;

// The likelihood fit of a measurement (FitLikelihood): what the program asks a user to quote.
struct TLikelihoodFit {
    bool Done = false;  // false with more than 100 lines or no line with a second of its level
    std::string Reason; // why it was not done
    TNoiseModel Noise = TNoiseModel::Relative;
    std::int32_t Lines = 0, UpperLevels = 0, Parameters = 0;
    std::int32_t DegreesOfFreedom = 0; // nu
    TParamVector Params;               // the model vector at the minimum
    long double ChiSquare = 0;         // at the minimum (with s = 1 for the relative noise)
    std::optional<long double> Scale;  // s, the relative noise estimated (Relative, nu >= 1)
    std::optional<long double> PValue; // P(chi^2_nu >= chi^2) (Given, nu >= 1)
    std::int32_t ReturnCode = -1;      // of the minimiser's polish
    // Covariance of log10 n_1 and, when fitted, T_exc, row by row (Parameters x Parameters).
    std::optional<std::vector<long double>> Covariance;
    // The quoted result: n_1, T_exc and the populated densities with their standard
    // uncertainties (propagated with the covariance), in TResultValues' form; RSS holds chi^2.
    TResultValues Values;
    bool Quoted = false; // Values' uncertainties exist (a covariance)
    // The profile-likelihood interval of n_1 (m-3) at kQuoteLevel; a bound is absent where
    // chi^2 does not rise that far on its side.
    std::optional<long double> DensityLow, DensityHigh;
    TGridBest GridBest;    // the coarse grid's smallest chi^2
    TGridBest LineFitBest; // the coarse grid's smallest weighted sum of squares of fractions
    // What failed in its uncertainties (a floating-point fault); empty when sound.
    std::string Divergence;
    TSearchRange Range; // where its coarse grid lay
};

// What a fit found: the fitted parameter vector (with ResultRSS and ResultCode set), the
// standard uncertainties of the fitted slots, the minimiser's covariance matrix (the inverse of
// the unscaled normal matrix, NF x NF row by row, element (i, k) at (i - 1) NF + k), the final
// sum of squares and the result code, and the numbers of its result line.
struct TFitResult {
    TParamVector Start; // the vector the fit started from
    TParamVector Params;
    TParamVector Uncertainty;
    TDataVector Covariance;
    long double SumOfSquares = 0;
    std::int32_t ReturnCode = -1;
    // The likelihood fit of the same lines and slots, where the command made one: the numbers
    // to quote, and the coarse grid that judges whether this fit ended in a local minimum.
    std::optional<TLikelihoodFit> Likelihood;
    TFitQuality Quality; // how far the result can be trusted
    // The numbers of the result line with the judgement's procedure, formed once by FitLines.
    TResultValues Values;
};

// Report kinds of FitLines: the result line, or the minimiser's iteration log.
enum TReportKind : std::int32_t { ReportFinalResults = 0, ReportFitIteration = 1 };
// Modes of WriteResults.
enum TResultMode : std::int32_t { MapMode = 0, FitMode = 1 };

using TReportList = std::vector<std::string>; // lines in Windows-1252

// The column header of the result lines of `levels` populated levels, which begins with
// kResultHeaderStart (a result line begins with a number).
inline constexpr const char* kResultHeaderStart = "n_tot/m-3 \xB1u(n_tot)";
std::string ResultHeader(std::int32_t levels);

} // namespace zelt
