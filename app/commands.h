// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the map and fit commands read from the configuration and hand to the line model. The
// window and the command-line front end share these, so the same inputs give the same numbers.

#include "app/configstore.h"
#include "app/settings.h"
#include "linemodel/freelevels.h"
#include "linemodel/modeltypes.h"

#include <cstdint>
#include <string>

namespace zelt {

class TAtomicData;

// The largest map a command computes: 20 million grid points (160 MB of residuals).
inline constexpr long long kMaxMapPoints = 20'000'000;
// Raises "A map of D x T points is too large for the memory" for a grid beyond kMaxMapPoints,
// before anything is allocated.
void CheckMapSize(const TCommandSettings& settings);

// The range arguments of CalcMap: log10 of the first and the last density, taken in extended
// precision, and the first and the last temperature, each rounded to a double.
struct TMapArguments {
    double FromLogDensity, ToLogDensity, FromTemperature, ToTemperature;
};
TMapArguments MapArguments(const TCommandSettings& settings);

// The parameter vector of "Create map": gas temperature, path, mass in kg, populated levels.
TParamVector MapParameters(const TCommandSettings& settings);
// The parameter vector of "Fit": the map's slots plus log10 of the start density, the start
// temperature, the number of fitted slots (1, or 2 with the temperature) and the iterations.
TParamVector FitParameters(const TCommandSettings& settings);

// Branching fractions need at least two selected lines (a single line's fraction is always 1).
bool HasFractions(const TAtomicData& model);
// Raises "Not enough lines for Zelt method." unless HasFractions. "Recalculate BF", "Create map"
// and "Fit" refuse that way before they change anything, so the last map and fractions stay.
void RequireFractions(const TAtomicData& model);

// "Create map": checks the size, sizes RSSMap and computes the map (CalcMap, which starts with
// an empty model cache as FitLines does); the report lines are appended to `report`. The returned
// vector holds the best grid point and the smallest and largest residual in ResultRSS and
// ResultCode.
TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind);
// "Fit": checks the map's size, sizes RSSMap as the map would, and fits the selected lines. An
// empty `logPath` stands for FitLogPath().
TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind);

// "Fit" with free lower levels: the same checks as RunFit, then the Boltzmann fit of the
// settings, the free fit of the Boltzmax levels from it and the F-test; the free result line
// and the line of the F-test are appended to `report`; an empty `logPath` is FitLogPath().
// `boltzmannDone` as for FitFreeLevels.
TFreeLevelsRun RunFreeLevels(TAtomicData& model, const TCommandSettings& settings,
                             const std::string& fileName, const std::string& logPath,
                             TReportList& report,
                             const std::function<void(const TFitResult&)>& boltzmannDone = {});

// The line of the F-test of a free fit, e.g. "Boltzmann S = 2.199E-004 (2 parameters), free
// S = 7.113E-005 (4 levels, nu = 15): F = 15.68, p = 0.0002" (p below 1e-4 as 1.2E-005).
std::string ComparisonText(const TFreeLevelsRun& run);

// The fit log "zeltfit.txt" in the user's own temporary folder (UserTemporaryFolder), whose
// EInOutError it passes on.
std::string FitLogPath();

// Loads the species named by a configuration section: its level file and line table from the
// database folder of section _Files.
void LoadSpecies(TAtomicData& model, const TConfigStore& store, const std::string& species);

} // namespace zelt
