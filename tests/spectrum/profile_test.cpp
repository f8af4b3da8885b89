// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/profile.h"
#include "spectrum/synthetic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

// w(iy) = exp(y^2) erfc(y) and Re w(x) = exp(-x^2) on the axes; the profile's share of a pixel
// agrees with the generator's quadrature, made without it, to 1e-6 of the line.
TEST(Profile, TheVoigtProfileIsExactToTheLastDigitsThatCount) {
    for (const double y : {0.0, 0.3, 2.0, 10.0})
        EXPECT_NEAR(Faddeeva({0, y}).real(), std::exp(y * y) * std::erfc(y), 1e-13) << y;
    for (const double x : {0.5, 1.5, 4.0})
        EXPECT_NEAR(Faddeeva({x, 0}).real(), std::exp(-x * x), 1e-13) << x;
    for (const auto& [gauss, lorentz] : {std::pair{0.30, 0.08}, {0.4, 0.0}, {0.05, 0.3}}) {
        const TLineShape shape(gauss, lorentz);
        EXPECT_NEAR(shape.Below(0), 0.5, 1e-12);
        EXPECT_NEAR(shape.Fwhm(), lorentz == 0 ? gauss : VoigtFwhm(gauss, lorentz), 1e-12);
        EXPECT_NEAR(shape.At(shape.Fwhm() / 2) / shape.At(0), 0.5, 2e-4);
        for (const double x : {0.0, 0.1, 0.37, 1.2, 5.0, 40.0})
            EXPECT_NEAR(shape.Between(x - 0.0685, x + 0.0685),
                        VoigtShare(x - 0.0685, x + 0.0685, gauss, lorentz), 1e-6)
                << gauss << " " << lorentz << " at " << x;
        // The area beyond 1 nm: the Lorentzian wings the windows leave out.
        EXPECT_NEAR(shape.Between(-1, 1), VoigtShare(-1, 1, gauss, lorentz), 1e-6);
    }
}

} // namespace
} // namespace zelt
