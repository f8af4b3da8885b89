#pragma once
// Floating-point faults as exceptions. The arithmetic itself runs untrapped; the pending
// IEEE flags are tested at the end of each computation, so an invalid operation, a division
// by zero or an overflow raises EInvalidOp, EZeroDivide or EOverflow instead of leaving a
// NaN or an infinity in a result. Underflow and inexact results are not faults.

#include <string_view>

namespace zelt {

// Forgets the flags left by earlier, unrelated code (a command calls it before it starts).
void FpReset();

// True when a fault (invalid, division by zero, overflow) is pending, without clearing it.
bool FpPending();

// Raises the exception of the first pending fault (invalid, division by zero, overflow),
// naming `where` in the message, and clears the flags; does nothing when none is pending.
void FpCheck(std::string_view where);

} // namespace zelt
