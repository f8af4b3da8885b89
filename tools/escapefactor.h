// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exact escape factor of a Doppler-broadened line, the reference against which the model's
// approximation (EscapeFactor, linemodel/atomicdata.h) is measured.

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

// The optical depth at which the model's escape factor equals `escapeFactor` (0 < escapeFactor
// <= 1): a fit with the model's factor puts a line whose exact factor this is at that depth.
double ModelDepthFor(double escapeFactor);

// The comparison of the model's escape factor with the exact one for tau from 1e-3 to 1e3,
// `perDecade` logarithmically spaced points per decade: a comment line, a header row and one
// tab-separated row per tau ("tau", "model", "exact", "model/exact - 1", and the "depth ratio"
// ModelDepthFor(exact) / tau), then comment lines with the largest relative and absolute
// deviations and the range of the depth ratio. Lines end with "\n".
std::string EscapeFactorComparison(int perDecade);

} // namespace zelt
