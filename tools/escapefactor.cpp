// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/escapefactor.h"

#include "common/errors.h"
#include "common/format.h"
#include "linemodel/escape.h"

#include <boost/math/quadrature/exp_sinh.hpp>
#include <boost/math/tools/toms748_solve.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace zelt {

double ExactEscapeFactor(double tau) {
    if (!(tau >= 0) || !std::isfinite(tau))
        throw Exception(Format("The escape factor needs an optical depth of 0 or more, not %s",
                               {FloatToStr(tau)}));
    if (tau == 0)
        return 1;
    // 1 - exp(-t) as -expm1(-t): for small tau the integrand is tau exp(-x^2) to full precision.
    const auto absorbed = [tau](double x) { return -std::expm1(-tau * std::exp(-x * x)); };
    boost::math::quadrature::exp_sinh<double> integrator;
    // Over x from 0 to infinity, to a relative error near the double's resolution.
    const double half = integrator.integrate(absorbed, 1e-15);
    return 2 * half / (tau * std::sqrt(std::numbers::pi));
}

double ModelDepthFor(double escapeFactor) {
    // The model's factor falls strictly from 1 at tau = 0 to 2 / (1 + tau) for large tau, so the
    // root lies below 2 / escapeFactor.
    const auto difference = [escapeFactor](double tau) { return EscapeFactor(tau) - escapeFactor; };
    std::uintmax_t iterations = 200;
    const auto root = boost::math::tools::toms748_solve(
        difference, 0.0, 2 / escapeFactor, boost::math::tools::eps_tolerance<double>(50),
        iterations);
    return (root.first + root.second) / 2;
}

std::string EscapeFactorComparison(int perDecade) {
    if (perDecade < 1)
        throw Exception(Format("At least one point per decade, not %d", {perDecade}));
    std::string text = "# Mewe's escape factor (2 - exp(-0.001 tau)) / (1 + tau) and the program's "
                       "doppler factor against the exact one of a Doppler line\n"
                       "tau\tmewe\texact\tmewe/exact - 1\tdepth ratio\tdoppler/exact - 1\n";
    double largestRelative = 0, relativeTau = 0, largestAbsolute = 0, absoluteTau = 0;
    double smallestRatio = 1, largestRatio = 0, largestDoppler = 0, dopplerTau = 0;
    const int points = 9 * perDecade;
    for (int i = 0; i <= points; ++i) {
        const double tau = std::pow(10.0, -3.0 + 9.0 * i / points);
        const double model = EscapeFactor(tau);
        const double exact = ExactEscapeFactor(tau);
        const double relative = model / exact - 1;
        const double ratio = ModelDepthFor(exact) / tau;
        const double doppler = DopplerEscapeFactor(tau) / exact - 1;
        text += Format("%.4e\t%.6e\t%.6e\t%.4f\t%.4f\t%.1e\n",
                       {tau, model, exact, relative, ratio, doppler});
        if (std::fabs(relative) > std::fabs(largestRelative)) {
            largestRelative = relative;
            relativeTau = tau;
        }
        if (std::fabs(model - exact) > std::fabs(largestAbsolute)) {
            largestAbsolute = model - exact;
            absoluteTau = tau;
        }
        if (std::fabs(doppler) > std::fabs(largestDoppler)) {
            largestDoppler = doppler;
            dopplerTau = tau;
        }
        smallestRatio = std::min(smallestRatio, ratio);
        largestRatio = std::max(largestRatio, ratio);
    }
    text += Format("# Largest relative deviation: mewe/exact - 1 = %.4f at tau = %.4e\n",
                   {largestRelative, relativeTau});
    text += Format("# Largest absolute deviation: mewe - exact = %.4f at tau = %.4e\n",
                   {largestAbsolute, absoluteTau});
    text += Format("# Depth ratio from %.4f to %.4f\n", {smallestRatio, largestRatio});
    text += Format("# Largest deviation of doppler: doppler/exact - 1 = %.1e at tau = %.4e\n",
                   {largestDoppler, dopplerTau});
    return text;
}

} // namespace zelt
