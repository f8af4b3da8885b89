#pragma once
// Arithmetic on values stored as doubles, done as the 80-bit x87 unit does it: the operation in
// extended precision, rounded to double once when the result is stored. A double operation
// rounds straight to 53 bits and can differ from this in the last bit.

namespace zelt {

inline double ExtendedSum(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) + b);
}

inline double ExtendedQuotient(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) / b);
}

} // namespace zelt
