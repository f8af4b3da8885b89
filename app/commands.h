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

// The memory a map takes per grid point: its residual in the line model, the copy kept to undo a
// cancel, the map on screen and the plot's own grid, 8 bytes each.
inline constexpr long long kMapBytesPerPoint = 32;
// The memory assumed available where the system does not say how much is.
inline constexpr std::uint64_t kAssumedMemory = std::uint64_t{1} << 30;
// Raises "A map of D x T points is too large for the memory: it needs 763 MB, and 512 MB are
// available" for a grid that needs more than `available` bytes (AvailableMemory()), before
// anything is allocated.
void CheckMapSize(const TCommandSettings& settings, std::uint64_t available);
void CheckMapSize(const TCommandSettings& settings);

// The range arguments of CalcMap: log10 of the first and the last density, taken in extended
// precision, and the first and the last temperature, each rounded to a double.
struct TMapArguments {
    double FromLogDensity, ToLogDensity, FromTemperature, ToTemperature;
};
TMapArguments MapArguments(const TCommandSettings& settings);

// The map's range as the likelihood fit searches it.
TSearchRange SearchRange(const TCommandSettings& settings);

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

// Gives the model the escape factor of `settings` for a run (a table is read now).
void UseEscape(TAtomicData& model, const TCommandSettings& settings);
// The line of the report after a result line of a model whose escape factor is not mewe:
// "Escape factor: doppler, exact for a homogeneous Doppler source (Irons 1979)" or "Escape factor:
// the table "FILE"" (its name in UTF-8, as the result line's file name); empty for mewe.
std::string EscapeLine(const TEscapeModel& escape);

// "Create map": checks the size, takes the escape factor, sizes RSSMap and computes the map
// (CalcMap, which starts with an empty model cache as FitLines does); the report lines (with
// EscapeLine after the result line) are appended to `report`. The returned vector holds the best
// grid point and the smallest and largest residual in ResultRSS and ResultCode.
TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind);
// "Fit": checks the map's size, takes the escape factor, sizes RSSMap as the map would, makes
// the likelihood fit over the map's range (FitLikelihood) and fits the selected lines, judged
// with it; EscapeLine follows the result line. An empty `logPath` stands for FitLogPath().
TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind);

// "Fit" with free lower levels: the same checks as RunFit, then the Boltzmann fit of the
// settings, the free fit of the Boltzmax levels from it and the F-test; the free result line,
// EscapeLine and the line of the F-test are appended to `report`; an empty `logPath` is
// FitLogPath(). `boltzmannDone` as for FitFreeLevels.
TFreeLevelsRun RunFreeLevels(TAtomicData& model, const TCommandSettings& settings,
                             const std::string& fileName, const std::string& logPath,
                             TReportList& report,
                             const std::function<void(const TFitResult&)>& boltzmannDone = {});

// The line of the test of a free fit, e.g. "Boltzmann chi2 = 2.199E-004 (2 parameters), free
// chi2 = 7.113E-005 (4 parameters, nu = 15), noise relative, u(I) = s I, s from the fit: F =
// 15.68, p = 0.0002" (p below 1e-4 as 1.2E-005; LR in place of F for given uncertainties).
std::string ComparisonText(const TFreeLevelsRun& run);

// The fit log "zeltfit.txt" in the user's own temporary folder (UserTemporaryFolder), whose
// EInOutError it passes on.
std::string FitLogPath();

// Loads the species named by a configuration section: its level file and line table from the
// database folder of section _Files. A configuration without that section raises EInOutError
// with the reason (TConfigStore::SpeciesProblem).
void LoadSpecies(TAtomicData& model, const TConfigStore& store, const std::string& species);

} // namespace zelt
