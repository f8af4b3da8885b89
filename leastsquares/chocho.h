// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Cholesky factorisation and solution for small symmetric matrices held as a packed lower
// triangle (order at most 8). Neither operation stops on a singular or indefinite matrix: a
// pivot that is not positive is zeroed and its solution component comes out as 0, so that a
// degenerate fit parameter gets a zero step or a zero variance instead of breaking the fit.

#include "leastsquares/marqdef.h"

#include <cstdint>

namespace zelt {

// Factorises the symmetric matrix A of order n in place as A = L*L^T: `a` holds A's lower
// triangle on entry and L's on return. `ok` is false when a pivot was not positive (zero,
// negative or not a number); that pivot's whole column of L is then 0 and the factorisation
// goes on. n < 1 leaves `a` unchanged with ok true; n > 8 raises ERangeError.
void CholDecompose(std::int32_t n, TPackedMatrix& a, bool& ok);

// Solves L*L^T*x = b in place (b in, x out) with the factor `l` left by CholDecompose. A zero
// diagonal element of L makes its component 0 instead of dividing. n outside 1 .. 8 raises
// ERangeError.
void CholSolve(std::int32_t n, const TPackedMatrix& l, TParamVector& b);

} // namespace zelt
