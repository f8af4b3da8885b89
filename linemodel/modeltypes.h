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
    // The minimiser's diagonal guard held log10 n_1 fixed: the data do not move it.
    DensityNotDetermined = 1u << 2,
    // T_exc below 0 K while it sets the populations.
    TemperatureNotPositive = 1u << 3,
    // T_exc fitted, but held fixed by the guard, beyond what the populations of the absorbing
    // levels resolve, or with an uncertainty not below itself.
    TemperatureNotDetermined = 1u << 4,
    // A selected line has a negative intensity (background subtraction can leave one).
    NegativeIntensity = 1u << 5,
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
    // A fit's standard uncertainties to quote, slot k = sqrt(S / (nu - NF) C_kk) for the fitted
    // slots (C the minimiser's covariance): absent with nu - NF < 1 or a parameter the guard
    // held. The result line's u divides by N - NF instead, N counting every selected line.
    std::optional<TParamVector> Quoted;
    // chi^2 / (nu - NF) when every line with a measured fraction carries an intensity
    // uncertainty (see ChiSquare in fitquality.cpp).
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

// What a fit found: the fitted parameter vector (with ResultRSS and ResultCode set), the
// standard uncertainties of the fitted slots, the minimiser's covariance matrix (the inverse of
// the unscaled normal matrix, NF x NF row by row, element (i, k) at (i - 1) NF + k), the final
// sum of squares and the result code, and the numbers of its result line.
struct TFitResult {
    TParamVector Params;
    TParamVector Uncertainty;
    TDataVector Covariance;
    long double SumOfSquares = 0;
    std::int32_t ReturnCode = -1;
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
