// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far the result of a map or a fit can be trusted (TFitQuality, modeltypes.h): whether the
// data hold information on the fitted parameters at all, whether the fitted temperature means
// anything, and the uncertainties a user should quote. A flagged result never calls itself "OK":
// its procedure text names the problem. The judgement reads the selected lines and the levels,
// not the model that computed them.

#include "linemodel/modeltypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

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

// "n_1 = 1.234E+016 m-3, T_exc = 1500 K": where a fit ended, for its problems (10^x beyond the
// extended range named by its logarithm, "log10 n_1 = -6000.00").
std::string PointText(long double logDensity, long double temperature);

// Judges a fit of the selected `lines` (their BFFit belonging to the fitted vector) of the
// species' `levels` (their populations too) with its result line's numbers `line`, and with the
// likelihood fit it holds where there is one (a local minimum, a run-away, the quoted
// uncertainties not below their values).
// frozen: for each fitted slot, whether the minimiser's guard held it (MarqFrozenParameters).
TFitQuality JudgeFit(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
                     const TFitResult& fit, std::int32_t fitCount, const std::vector<bool>& frozen,
                     const TResultValues& line);

// Judges a map whose best point and residuals p holds (slots LogDensity, Temperature, ResultRSS).
TFitQuality JudgeMap(const TCheckedVector<TLine>& lines, const TCheckedVector<TLevel>& levels,
                     const TParamVector& p);

} // namespace zelt
