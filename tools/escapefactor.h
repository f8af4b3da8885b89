// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exact escape factor of a Doppler-broadened line by a general-purpose quadrature: the
// reference against which Mewe's approximation (EscapeFactor) and the program's own exact factor
// (DopplerEscapeFactor, linemodel/escape.h, a series, a table and an expansion) are measured.

#include <string>

namespace zelt {

// The escape factor of a homogeneous source of optical depth tau at the centre of a Doppler
// (Gaussian) profile, seen along the line of sight: the emergent line intensity over the
// optically thin one,
//   Lambda(tau) = 1 / (tau sqrt(pi)) * integral over all x of (1 - exp(-tau exp(-x^2))) dx,
// x the distance from the line centre in units of the Doppler 1/e half width (Irons, JQSRT 22
// (1979) 1). Computed with Boost.Math's exp-sinh quadrature over x from 0 to infinity; 1 for
// tau = 0. Raises an Exception for a negative or non-finite tau.
double ExactEscapeFactor(double tau);

// The optical depth at which Mewe's escape factor equals `escapeFactor` (0 < escapeFactor
// <= 1): a fit with the model's factor puts a line whose exact factor this is at that depth.
double ModelDepthFor(double escapeFactor);

// The comparison of Mewe's escape factor and of DopplerEscapeFactor with the exact one for tau
// from 1e-3 to 1e6, `perDecade` logarithmically spaced points per decade: a comment line, a
// header row and one tab-separated row per tau ("tau", "mewe", "exact", "mewe/exact - 1", the
// "depth ratio" ModelDepthFor(exact) / tau, "doppler/exact - 1"), then comment lines with
// Mewe's largest relative and absolute deviations, the range of the depth ratio and the largest
// deviation of DopplerEscapeFactor. Lines end with "\n".
std::string EscapeFactorComparison(int perDecade);

} // namespace zelt
