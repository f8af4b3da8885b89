// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic measurements of the demo species: the model's branching fractions turned into line
// intensities with relative Gaussian noise. The model is evaluated straight (ModelBF), through
// no part of the fit, so that fits of these measurements can be checked against the truth:
// zeltfit-makedemo writes the demo files with them, and the coverage test fits hundreds.

#include "linemodel/atomicdata.h"
#include "linemodel/normal.h"

#include <string>
#include <vector>

namespace zelt {

// The conditions of the demo spectra: gas temperature 400 K, path 0.05 m, argon's mass, the
// four 1s levels populated.
inline constexpr double kDemoGasTemperature = 400; // K
inline constexpr double kDemoPathLength = 0.05;    // m
inline constexpr double kDemoMass = 39.948;        // u
inline constexpr int kDemoLevels = 4;
// The strongest line of each upper level gets this intensity before the noise.
inline constexpr double kDemoLargestIntensity = 1000;

// The model vector of the demo conditions at n_1 = `density` (m-3) and T_exc = `temperature`.
TParamVector DemoParams(double density, double temperature);

// Selects into `data` (its species loaded) every line of the line table whose lower level is
// one of the `populated` lowest, through a measurement file `scratchFile` that is removed again.
void SelectDemoLines(TAtomicData& data, const std::string& scratchFile,
                     int populated = kDemoLevels);

// The intensity of each selected line for p without noise: the photon rate BF / wavelength,
// scaled so that the strongest line of each upper level is kDemoLargestIntensity.
std::vector<double> DemoIntensities(TAtomicData& data, const TParamVector& p);

// Those intensities times (1 + noise g), g a standard normal number from `random` per line.
std::vector<double> NoisyIntensities(const std::vector<double>& exact, double noise,
                                     TUniformRandom& random);

} // namespace zelt
