// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/checked.h"

#include <cmath>

namespace zelt {

void RaiseIndexError(long long index, long long low, long long high) {
    throw ERangeError("Range check error: index " + std::to_string(index) + " outside " +
                      std::to_string(low) + " .. " + std::to_string(high));
}

namespace {
[[noreturn]] void RaiseOverflow(const char* operation, std::int32_t a, std::int32_t b) {
    throw EIntOverflow("Integer overflow: " + std::to_string(a) + " " + operation + " " +
                       std::to_string(b));
}
} // namespace

std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t result;
    if (__builtin_add_overflow(a, b, &result))
        RaiseOverflow("+", a, b);
    return result;
}

std::int32_t CheckedSub(std::int32_t a, std::int32_t b) {
    std::int32_t result;
    if (__builtin_sub_overflow(a, b, &result))
        RaiseOverflow("-", a, b);
    return result;
}

std::int32_t CheckedMul(std::int32_t a, std::int32_t b) {
    std::int32_t result;
    if (__builtin_mul_overflow(a, b, &result))
        RaiseOverflow("*", a, b);
    return result;
}

std::int32_t TruncToInt(long double value) {
    const long double t = std::trunc(value);
    if (!(t >= INT32_MIN && t <= INT32_MAX))
        throw EInvalidOp("Invalid floating point operation: cannot truncate " +
                         std::to_string(static_cast<double>(value)) + " to an integer");
    return static_cast<std::int32_t>(t);
}

} // namespace zelt
