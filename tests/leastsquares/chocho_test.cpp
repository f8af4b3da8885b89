// SPDX-License-Identifier: GPL-3.0-or-later
#include "leastsquares/chocho.h"

#include "common/errors.h"
#include "tests/leastsquares/filled.h"

#include <cfenv>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace zelt {
namespace {

constexpr auto Packed = &test::Filled<TPackedMatrix>;
constexpr auto Vector = &test::Filled<TParamVector>;

TEST(CholeskyTest, PositiveDefiniteMatrixFactorsAndSolves) {
    TPackedMatrix a = Packed({4, 2, 3});
    bool ok = false;
    CholDecompose(2, a, ok);
    EXPECT_TRUE(ok);
    // The diagonal is the pivot divided by its own square root, 2 / sqrt(2).
    EXPECT_EQ(a, Packed({2, 1, 2 / std::sqrt(2.0L)}));
    TParamVector b = Vector({2, 1});
    CholSolve(2, a, b);
    EXPECT_EQ(b[1], 0.5L);
    EXPECT_NEAR(static_cast<double>(b[2]), 0.0, 1e-18);

    // Order 1: b divided twice by L(1,1), i.e. by A(1,1).
    TPackedMatrix one = Packed({9});
    CholDecompose(1, one, ok);
    TParamVector c = Vector({18});
    CholSolve(1, one, c);
    EXPECT_EQ(c[1], 2.0L);
}

TEST(CholeskyTest, FailedPivotsAreZeroedAndGiveZeroComponents) {
    TPackedMatrix zeroPivot = Packed({1, 1, 1});
    bool ok = true;
    CholDecompose(2, zeroPivot, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(zeroPivot, Packed({1, 1, 0}));
    TParamVector b = Vector({1, 1});
    CholSolve(2, zeroPivot, b);
    EXPECT_EQ(b, Vector({1, 0}));

    TPackedMatrix negative = Packed({-1, 0, 2});
    CholDecompose(2, negative, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(negative, Packed({0, 0, 2 / std::sqrt(2.0L)}));
    TParamVector c = Vector({3, 5});
    CholSolve(2, negative, c);
    EXPECT_EQ(c[1], 0.0L);
    EXPECT_NEAR(static_cast<double>(c[2]), 2.5, 1e-18);

    // A pivot that is not a number fails quietly: no invalid-operation flag is left behind.
    TPackedMatrix notANumber = Packed({std::numeric_limits<long double>::quiet_NaN(), 0, 4});
    std::feclearexcept(FE_ALL_EXCEPT);
    CholDecompose(2, notANumber, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(notANumber, Packed({0, 0, 2}));
    EXPECT_FALSE(std::fetestexcept(FE_INVALID));
}

TEST(CholeskyTest, OrderEightSolvesAndLargerOrdersAreRangeErrors) {
    // A = I + 1 1^T of order 8: A x = 1 gives x(i) = 1/9.
    TPackedMatrix a;
    for (int r = 1; r <= 8; ++r)
        for (int c = 1; c <= r; ++c)
            a[r * (r - 1) / 2 + c] = r == c ? 2 : 1;
    a[37] = 123;
    bool ok = false;
    CholDecompose(8, a, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(a[37], 123.0L);
    TParamVector b = Vector({1, 1, 1, 1, 1, 1, 1, 1});
    b[9] = 7;
    CholSolve(8, a, b);
    for (int i = 1; i <= 8; ++i)
        EXPECT_NEAR(static_cast<double>(b[i]), 1.0 / 9, 1e-17) << i;
    EXPECT_EQ(b[9], 7.0L);

    TPackedMatrix untouched = Packed({5, 1, 5});
    CholDecompose(0, untouched, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(untouched, Packed({5, 1, 5}));

    TPackedMatrix big = a;
    EXPECT_THROW(CholDecompose(9, big, ok), ERangeError);
    EXPECT_EQ(big, a);
    EXPECT_THROW(CholSolve(9, a, b), ERangeError);
    EXPECT_THROW(CholSolve(0, a, b), ERangeError);
}

} // namespace
} // namespace zelt
