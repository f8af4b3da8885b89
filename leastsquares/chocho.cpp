// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/chocho.h"

#include "common/errors.h"

#include <cmath>
#include <string>

namespace zelt {

namespace {

// The largest order whose packed triangle fits a TPackedMatrix.
constexpr std::int32_t kMaxOrder = 8;

void CheckOrder(std::int32_t n, std::int32_t low, const char* where) {
    if (n < low || n > kMaxOrder)
        throw ERangeError(std::string(where) + ": matrix order " + std::to_string(n) +
                          " is outside " + std::to_string(low) + " .. " +
                          std::to_string(kMaxOrder));
}

// Packed index of element (r, c), c <= r.
std::int32_t At(std::int32_t r, std::int32_t c) {
    return r * (r - 1) / 2 + c;
}

// The quotient, or 0 when the divisor is exactly 0 (a failed pivot), without raising a flag.
long double DivideOrZero(long double value, long double diagonal) {
    return diagonal == 0 ? 0.0L : value / diagonal;
}

} // namespace

void CholDecompose(std::int32_t n, TPackedMatrix& a, bool& ok) {
    ok = true;
    if (n < 1)
        return;
    CheckOrder(n, 1, "CholDecompose");
    for (std::int32_t i = 1; i <= n; ++i) {
        if (i > 1) {
            for (std::int32_t k = i; k <= n; ++k) {
                long double value = a[At(k, i)];
                for (std::int32_t m = i - 1; m >= 1; --m)
                    value -= a[At(k, m)] * a[At(i, m)];
                a[At(k, i)] = value;
            }
        }
        // Zero, negative or not a number; the quiet comparison raises no flag for a NaN.
        if (!std::isgreater(a[At(i, i)], 0.0L)) {
            a[At(i, i)] = 0;
            ok = false;
        }
        const long double s = std::sqrt(a[At(i, i)]);
        for (std::int32_t k = i; k <= n; ++k)
            a[At(k, i)] = DivideOrZero(a[At(k, i)], s);
    }
}

void CholSolve(std::int32_t n, const TPackedMatrix& l, TParamVector& b) {
    CheckOrder(n, 1, "CholSolve");
    b[1] = DivideOrZero(b[1], l[1]);
    std::int32_t index = 1;
    for (std::int32_t i = 2; i <= n; ++i) {
        for (std::int32_t j = 1; j < i; ++j)
            b[i] -= l[++index] * b[j];
        b[i] = DivideOrZero(b[i], l[++index]);
    }
    b[n] = DivideOrZero(b[n], l[At(n, n)]);
    for (std::int32_t i = n; i >= 2; --i) {
        const std::int32_t rowStart = (i - 1) * i / 2;
        for (std::int32_t j = 1; j < i; ++j)
            b[j] -= b[i] * l[rowStart + j];
        b[i - 1] = DivideOrZero(b[i - 1], l[rowStart]);
    }
}

} // namespace zelt
