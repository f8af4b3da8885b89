// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "tools/escapefactor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <vector>

namespace zelt {
namespace {

// The escape factor's power series sum over n >= 1 of (-tau)^(n-1) / (n! sqrt(n)), exact in
// long double for small tau.
long double Series(long double tau) {
    long double sum = 0, term = 1; // term = (-tau)^(n-1) / n!
    for (int n = 1; n < 200; ++n) {
        term /= n;
        sum += term / std::sqrt(static_cast<long double>(n));
        term *= -tau;
    }
    return sum;
}

// The trapezoid rule, whose error falls exponentially with the step for this smooth integrand
// that vanishes at both ends of x in [-8, 8].
double Trapezoid(double tau) {
    const double h = 1e-3;
    double sum = 0;
    for (int i = -8000; i <= 8000; ++i)
        sum -= std::expm1(-tau * std::exp(-(i * h) * (i * h)));
    return sum * h / (tau * std::sqrt(std::numbers::pi));
}

TEST(ExactEscapeFactor, AgreesWithItsSeriesAndTheTrapezoidRule) {
    EXPECT_EQ(ExactEscapeFactor(0), 1);
    for (const double tau : {1e-3, 0.1, 1.0, 4.0})
        EXPECT_NEAR(ExactEscapeFactor(tau) / Series(tau), 1, 1e-13) << tau;
    EXPECT_NEAR(Series(1), 0.725065152, 1e-9);
    for (const double tau : {30.0, 1e3})
        EXPECT_NEAR(ExactEscapeFactor(tau) / Trapezoid(tau), 1, 1e-12) << tau;
    try {
        ExactEscapeFactor(-1);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "The escape factor needs an optical depth of 0 or more, not -1");
    }
    EXPECT_THROW(ExactEscapeFactor(NAN), Exception);
}

TEST(EscapeFactorComparison, TableOfEveryDecadeAndTheLargestDeviations) {
    std::istringstream text(EscapeFactorComparison(1));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[1], "tau\tmewe\texact\tmewe/exact - 1\tdepth ratio\tdoppler/exact - 1");
    EXPECT_TRUE(
        lines[2].starts_with("1.0000E-003\t9.990020E-001\t9.996465E-001\t-0.0006\t0.3539\t"));
    EXPECT_TRUE(
        lines[5].starts_with("1.0000E+000\t5.004998E-001\t7.250652E-001\t-0.3097\t0.3797\t"));
    EXPECT_TRUE(
        lines[8].starts_with("1.0000E+003\t1.630490E-003\t3.076454E-003\t-0.4700\t0.4397\t"));
    EXPECT_TRUE(
        lines[11].starts_with("1.0000E+006\t1.999998E-006\t4.276735E-006\t-0.5324\t0.4676\t"));
    EXPECT_EQ(lines[12],
              "# Largest relative deviation: mewe/exact - 1 = -0.5749 at tau = 1.0000E+002");
    EXPECT_EQ(lines[13],
              "# Largest absolute deviation: mewe - exact = -0.2246 at tau = 1.0000E+000");
    EXPECT_EQ(lines[14], "# Depth ratio from 0.3539 to 0.5666");
    // The program's own exact factor agrees with the quadrature to its accuracy.
    const double doppler = std::stod(lines[15].substr(lines[15].find('=') + 1));
    EXPECT_LT(std::fabs(doppler), 1e-11) << lines[15];
}

} // namespace
} // namespace zelt
