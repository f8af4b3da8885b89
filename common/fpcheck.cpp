// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fpcheck.h"

#include "common/errors.h"

#include <cfenv>
#include <cmath>
#include <string>

namespace zelt {

namespace {
constexpr int kFaults = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
}

void FpReset() {
    std::feclearexcept(FE_ALL_EXCEPT);
}

bool FpPending() {
    return std::fetestexcept(kFaults) != 0;
}

void FpCheck(std::string_view where) {
    const int pending = std::fetestexcept(kFaults);
    if (pending == 0)
        return;
    std::feclearexcept(FE_ALL_EXCEPT);
    const std::string place = where.empty() ? std::string() : " in " + std::string(where);
    if (pending & FE_INVALID)
        throw EInvalidOp("Invalid floating point operation" + place);
    if (pending & FE_DIVBYZERO)
        throw EZeroDivide("Floating point division by zero" + place);
    throw EOverflow("Floating point overflow" + place);
}

} // namespace zelt
