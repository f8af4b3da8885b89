// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far the result of a map or a fit can be trusted: whether the data hold information on the
// fitted parameters at all, whether the fitted temperature means anything, and the
// uncertainties a user should quote. A flagged result never calls itself "OK": its procedure
// text names the problem.

#include "leastsquares/marqdef.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;
struct TFitResult;

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

// T_exc counts as resolved when the populations of the absorbing levels, spread over dE in
// energy, differ from their infinite-temperature limit g_j/g_1 by at least this share:
// dE / (k T_exc) >= 1e-3.
inline constexpr long double kResolvedExponent = 1e-3L;

// The few words of each problem among `flags`, "; " between them ("T_exc not determined;
// negative intensity"); empty for none.
std::string FlagWords(std::uint32_t flags);

// The procedure column of a sound fit: "fit:" and the word of the minimiser's result code
// ("fit:OK" for 5), or "fit: " and the code when it has no word.
std::string FitProcedure(std::int32_t code);

// Judges a fit of the selected lines of `model` (their BFFit belonging to the fitted vector).
// frozen: for each fitted slot, whether the minimiser's guard held it (MarqFrozenParameters).
TFitQuality JudgeFit(const TAtomicData& model, const TFitResult& fit, std::int32_t fitCount,
                     const std::vector<bool>& frozen);

// Judges a map whose best point and residuals p holds (slots LogDensity, Temperature, ResultRSS).
TFitQuality JudgeMap(const TAtomicData& model, const TParamVector& p);

} // namespace zelt
