// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instrument's line profile as a pseudo-Voigt: (1 - eta) times a Gaussian plus eta times a
// Lorentzian, both of full width at half maximum w (nm), of unit area.

namespace zelt {

// The share of the profile centred at 0 that lies below x (nm): the Gaussian's
// 0.5 (1 + erf(x / (sigma sqrt 2))) with sigma = w / (2 sqrt(2 ln 2)), and the Lorentzian's
// 0.5 + atan(2 x / w) / pi.
double ProfileBelow(double x, double width, double eta);

// The share that falls into a pixel of width `spacing` whose centre lies x from the line's.
inline double PixelShare(double x, double width, double eta, double spacing) {
    return ProfileBelow(x + spacing / 2, width, eta) - ProfileBelow(x - spacing / 2, width, eta);
}

} // namespace zelt
