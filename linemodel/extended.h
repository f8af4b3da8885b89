// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for extended reals: arithmetic on values stored as doubles, done as the 80-bit x87
// unit does it (the operation in extended precision, rounded to double once when the result is
// stored; a double operation rounds straight to 53 bits and can differ in the last bit), 10^x,
// and the bits of an extended real.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zelt {

inline double ExtendedSum(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) + b);
}

inline double ExtendedQuotient(double a, double b) {
    return static_cast<double>(static_cast<long double>(a) / b);
}

// 10^x in extended precision. The model's powers (10^x here, lambda^5 in LineStrength) are
// taken by powl, the most accurate of the candidates: glibc's exp10l is mis-rounded about twice
// as often, MinGW-w64 has no exp10l, and a chain of products such as (l^2)^2 l rounds three times.
// powl also is the one function of both C runtimes, so Linux and Windows compute the same bits.
// The model's other exponentials are exp of a single argument (the Boltzmann and escape factors),
// and the T^4 of the result lines is a powl already.
inline long double PowerOfTen(long double x) {
    return std::pow(10.0L, x);
}

// The 80 bits of an x87 extended real: the 64-bit significand (its leading bit explicit) and 16
// bits of sign and biased exponent; the padding beyond them is no part of the value. Reading
// them spares loading the value into the x87 unit.
struct TRealBits {
    static constexpr std::uint16_t ExponentMask = 0x7FFF, Bias = 0x3FFF;
    std::uint64_t Significand = 0;
    std::uint16_t SignAndExponent = 0;

    bool IsZero() const { return Significand == 0 && (SignAndExponent & ExponentMask) == 0; }
    bool IsNaN() const {
        return (SignAndExponent & ExponentMask) == ExponentMask && (Significand << 1) != 0;
    }
};

inline TRealBits BitsOf(const long double& value) {
    static_assert(std::numeric_limits<long double>::digits == 64, "x87 extended reals");
    TRealBits bits;
    std::memcpy(&bits.Significand, &value, sizeof bits.Significand);
    std::memcpy(&bits.SignAndExponent, reinterpret_cast<const char*>(&value) + 8,
                sizeof bits.SignAndExponent);
    return bits;
}

} // namespace zelt
