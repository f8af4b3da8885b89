// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Boltzmann plot of a fit with free lower levels: ln(n_k / g_k) over the level energy E_k
// for every level the free fit determined, and the line of the Boltzmann fit through them,
//     ln(n_k / g_k) = ln(n_1 / g_1) - (E_k - E_1) e / (k T_exc),
// whose slope, -e / (k T_exc) per eV, gives the excitation temperature. Levels in Boltzmann
// balance lie on the line within their error bars.

#include "app/application.h"

#include <cstdint>
#include <vector>

namespace zelt {

struct TBoltzmannPoint {
    std::int32_t Level = 0; // index into the species' levels: 0 for n_1
    double Energy = 0;      // E_k, eV
    double Value = 0;       // ln(n_k / g_k), n_k in m-3
    double Uncertainty = 0; // standard uncertainty of the value, u(n_k) / n_k; 0 where unknown
};

struct TBoltzmannPlot {
    std::vector<TBoltzmannPoint> Points; // in the order of the levels
    // The Boltzmann fit's line from the lowest to the highest energy of the free levels; absent
    // (false) where that fit failed.
    bool WithLine = false;
    double FromEnergy = 0, ToEnergy = 0; // eV
    double FromValue = 0, ToValue = 0;   // ln(n / g) at those energies
    double Temperature = 0;              // T_exc of the line, K
};

// The plot of a free fit that was done; empty for one that was not.
TBoltzmannPlot BoltzmannPlotOf(const TFreeLevelsOutcome& fit);

} // namespace zelt
