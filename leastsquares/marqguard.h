// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The minimiser's guard against parameters the data do not move: when the diagonal of the
// normal matrix, A(i, i) = sum_j w(j) (df(x(j))/dp(i))^2, is at or below kMarqDiagonalGuard,
// MarqMinimize holds parameter i fixed for that iteration and puts 1 in its place, so the
// covariance it returns gives that parameter the guard's variance 1, not one from the data.

#include "leastsquares/marqdef.h"

#include <cstdint>
#include <vector>

namespace zelt {

inline constexpr long double kMarqDiagonalGuard = 1e-20L;

// For each of the parameters 1 .. np of p (entry i - 1 for parameter i): whether the guard
// holds it fixed at p, with the n points x and weights w and the derivatives as the minimiser
// takes them. A derivative callback that fails raises EInvalidOp.
std::vector<bool> MarqFrozenParameters(std::int32_t n, const TDataVector& x, const TDataVector& w,
                                       std::int32_t np, const TParamVector& p,
                                       const TMarqDerivatives& derivatives);

} // namespace zelt
