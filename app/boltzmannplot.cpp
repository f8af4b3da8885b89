// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/boltzmannplot.h"

#include "linemodel/constants.h"

#include <algorithm>
#include <cmath>

namespace zelt {

TBoltzmannPlot BoltzmannPlotOf(const TFreeLevelsOutcome& fit) {
    TBoltzmannPlot plot;
    const std::vector<TFreeLevel>& levels = fit.Run.Free.Levels;
    if (!fit.Done || levels.empty() || fit.Levels.size() == 0)
        return plot;
    for (const TFreeLevel& level : levels) {
        const TLevel& own = fit.Levels[level.Level];
        if (!level.Determined || !(level.Density > 0) || !(own.G > 0))
            continue;
        // u(ln n) = u(n) / n
        const long double u = level.Uncertainty.value_or(0) / level.Density;
        plot.Points.push_back({level.Level, own.Energy,
                               static_cast<double>(std::log(level.Density / own.G)),
                               static_cast<double>(u)});
    }
    if (!fit.Run.Boltzmann)
        return plot;
    const TParamVector& p = fit.Run.Boltzmann->Params;
    const long double temperature = Slot(p, Temperature);
    const TLevel& first = fit.Levels[0];
    if (!(temperature > 0) || !(first.G > 0))
        return plot;
    const auto [lowest, highest] = std::minmax_element(
        levels.begin(), levels.end(), [&fit](const TFreeLevel& a, const TFreeLevel& b) {
            return fit.Levels[a.Level].Energy < fit.Levels[b.Level].Energy;
        });
    // ln(n_1 / g_1) - (E - E_1) e / (k T), E in eV
    const auto line = [&](double energy) {
        return static_cast<double>(Slot(p, LogDensity) * std::log(10.0L) - std::log(first.G) -
                                   (energy - first.Energy) * kElementaryCharge /
                                       (kBoltzmann * temperature));
    };
    plot.WithLine = true;
    plot.FromEnergy = fit.Levels[lowest->Level].Energy;
    plot.ToEnergy = fit.Levels[highest->Level].Energy;
    plot.FromValue = line(plot.FromEnergy);
    plot.ToValue = line(plot.ToEnergy);
    plot.Temperature = static_cast<double>(temperature);
    return plot;
}

} // namespace zelt
