// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/profile.h"

#include "linemodel/constants.h"

#include <cmath>

namespace zelt {

double ProfileBelow(double x, double width, double eta) {
    const double sigma = width / (2 * std::sqrt(2 * std::log(2.0)));
    const double gauss = 0.5 * (1 + std::erf(x / (sigma * std::sqrt(2.0))));
    if (eta == 0)
        return gauss;
    const double lorentz = 0.5 + std::atan(2 * x / width) / static_cast<double>(kPi);
    return (1 - eta) * gauss + eta * lorentz;
}

} // namespace zelt
