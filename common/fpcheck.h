// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Floating-point faults as exceptions. The arithmetic itself runs untrapped; the pending
// IEEE flags are tested at the end of each computation, so an invalid operation, a division
// by zero or an overflow raises EInvalidOp, EZeroDivide or EOverflow instead of leaving a
// NaN or an infinity in a result. Underflow and inexact results are not faults.

#include <cfenv>
#include <cmath>
#include <string_view>

namespace zelt {

// Forgets the flags left by earlier, unrelated code (a command calls it before it starts).
void FpReset();

// True when a fault (invalid, division by zero, overflow) is pending, without clearing it.
bool FpPending();

// The square root and the exponential with the IEEE flags of IEEE 754 on every C runtime:
// the invalid-operation flag for a negative argument (or one that is no number), the overflow flag
// for a finite argument whose exponential is too large. glibc's functions raise them; MinGW-w64's
// sqrtl and expl return NaN or infinity with errno set and no flag, which FpCheck would miss.
inline long double FpSqrt(long double x) {
    if (std::isless(x, 0) || std::isnan(x))
        std::feraiseexcept(FE_INVALID);
    return std::sqrt(x);
}
inline long double FpExp(long double x) {
    const long double y = std::exp(x);
    // Only a positive argument can overflow; the model's escape factors have negative ones.
    if (x > 0 && std::isinf(y) && std::isfinite(x))
        std::feraiseexcept(FE_OVERFLOW);
    return y;
}

// Raises the exception of the first pending fault (invalid, division by zero, overflow),
// naming `where` in the message, and clears the flags; does nothing when none is pending.
void FpCheck(std::string_view where);

} // namespace zelt
