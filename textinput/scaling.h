// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Unit scaling of values read from table files, done without leaving a floating-point flag
// behind: the product is formed in extended precision and tested before it becomes a double.

#include "common/errors.h"

#include <cfloat>
#include <cmath>
#include <string>
#include <string_view>

namespace zelt {

// value * factor as a double; EOverflow naming `what` when it lies beyond the range of a double.
inline double ScaledValue(double value, long double factor, std::string_view what) {
    const long double product = static_cast<long double>(value) * factor;
    if (std::fabs(product) > static_cast<long double>(DBL_MAX))
        throw EOverflow("Floating point overflow in " + std::string(what));
    return static_cast<double>(product);
}

} // namespace zelt
