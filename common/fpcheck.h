#pragma once
// Floating-point faults as exceptions. The arithmetic itself runs untrapped; the pending
// IEEE flags are tested at the end of each computation, so an invalid operation, a division
// by zero or an overflow raises EInvalidOp, EZeroDivide or EOverflow instead of leaving a
// NaN or an infinity in a result. Underflow and inexact results are not faults.

#include <string_view>

namespace zelt {

// Forgets the flags left by earlier, unrelated code (a command calls it before it starts).
void FpReset();

// The square root and the exponential with the IEEE flags of IEEE 754 on every C runtime:
// the invalid-operation flag for a negative argument, the overflow flag for a finite argument
// whose exponential is too large. glibc's functions raise them; MinGW-w64's sqrtl and expl
// return NaN or infinity with errno set and no flag, which FpCheck would miss.
long double FpSqrt(long double x);
long double FpExp(long double x);

// Raises the exception of the first pending fault (invalid, division by zero, overflow),
// naming `where` in the message, and clears the flags; does nothing when none is pending.
void FpCheck(std::string_view where);

} // namespace zelt
