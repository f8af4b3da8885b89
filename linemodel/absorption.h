// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of the self-absorption model, shared by the model of one parameter vector
// (ComputeModel) and the model of the residual map, which computes the steps that do not change
// over the grid only once. Each step keeps the order of its operations and rounds to double
// where the model stores a double, so both give the same bits.

#include "common/fpcheck.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"

#include <cmath>

namespace zelt {

// The Boltzmann factor exp(-(E_j - E_1) e / kT): energyTerm = -e (E_j - E_1) in J, kT in J.
inline long double BoltzmannFactor(long double energyTerm, long double kT) {
    return FpExp(energyTerm / kT);
}

// n_j = n_1 (g_j / g_1) exp(-(E_j - E_1) / kT) in m-3, stored as a double.
inline double Population(long double density, long double weightRatio, long double boltzmann) {
    return static_cast<double>(density * weightRatio * boltzmann);
}

// S = lambda^5 gk A / (8 pi h c gi), so that K = n S h / lambda = n lambda^4 gk A / (8 pi c gi) is
// the absorption coefficient integrated over wavelength (m-1 times m); lambda in m. lambda^5 is a
// powl, as 10^x is (see PowerOfTen).
inline double LineStrength(long double lambda, const TAtomRecord& data) {
    return static_cast<double>(std::pow(lambda, 5.0L) *
                               (static_cast<long double>(data.Gk) / data.Gi) / kEightPiHC *
                               static_cast<long double>(data.Aki));
}

// sqrt(pi) v lambda: with a Doppler profile of 1/e half width lambda v / c the centre of the
// absorption coefficient is k0 = c K / (sqrt(pi) v lambda); v in m/s, lambda in m.
inline long double DopplerDenominator(double velocity, long double lambda) {
    return std::sqrt(kPi) * velocity * lambda;
}

// The constants of a line for atoms of most probable speed `velocity` (m/s).
inline TLineConstants LineConstants(const TAtomRecord& data, double velocity) {
    const long double lambda = data.Wavelength * kNanometre;
    return {lambda, LineStrength(lambda, data), DopplerDenominator(velocity, lambda)};
}

// The optical depth tau = k0 path at the centre of a line, for the density n (m-3) of its lower
// level and the path (m).
inline double OpticalDepth(const TLineConstants& line, long double n, long double path) {
    const double k = static_cast<double>(n * line.Strength * kPlanck / line.Lambda);
    const double k0 = static_cast<double>(kSpeedOfLight * k / line.Doppler);
    return static_cast<double>(k0 * path);
}

// The absorption-reduced transition probability A EscapeFactor(tau) in s-1.
inline double ReducedTransitionProbability(long double a, double escapeFactor) {
    return static_cast<double>(static_cast<long double>(escapeFactor) * a);
}

} // namespace zelt
