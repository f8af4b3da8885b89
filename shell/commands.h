#pragma once
// What the map and fit commands read from the configuration and hand to the line model. The
// window and the command-line front end share these, so the same inputs give the same numbers.

#include "linemodel/atomicdata.h"
#include "shell/configstore.h"

#include <cstdint>
#include <string>

namespace zelt {

// The values of the "Map", "Fit" and "Absorption" groups and of the species section. The reals
// of the edit boxes are held as their texts convert to extended precision.
struct TCommandSettings {
    long double FromDensity = 1e15L; // m-3
    long double ToDensity = 1e18L;   // m-3
    std::int32_t DensityPoints = 50;
    long double FromTemperature = 1000; // K
    long double ToTemperature = 50000;  // K
    std::int32_t TemperaturePoints = 50;
    long double FitDensity = 1e16L;    // m-3, start value of the fit
    long double FitTemperature = 1000; // K, start value of the fit
    bool FitTemperatureOn = false;
    std::int32_t MaxIterations = 50;
    long double GasTemperature = 300; // K
    long double Path = 1;             // m
    double AtomicMass = 0;            // atomic mass units
    std::int32_t Boltzmax = 1;
};

// The value of a real edit's text, straight in extended precision; a text that is no number
// raises EConvertError "'text' is not a valid floating point value".
long double EditReal(const std::string& text);
// The value of an integer edit's text; raises EConvertError "'text' is not a valid integer
// value".
std::int32_t EditInteger(const std::string& text);

// The settings as the window shows them after start-up: each configured value passes through
// its edit box's text form, so 2.54e16 becomes 2.5e16 ("%3.1e") and 12345.6 K becomes 12346 K
// ("%.0f"). The species keys come from the section `species`.
TCommandSettings ReadSettings(const TConfigStore& store, const std::string& species);

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

// Branching fractions need at least two selected lines (a single line's fraction is always 1):
// raises "Not enough lines for Zelt method." otherwise. "Recalculate BF", "Create map" and
// "Fit" refuse that way before they change anything, so the last map and fractions stay.
void RequireFractions(const TAtomicData& model);

// "Create map": empties the model cache, sizes RSSMap and computes the map; the report lines
// are appended to `report`. The returned vector holds the best grid point and the smallest and
// largest residual in ResultRSS and ResultCode.
TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind);
// "Fit": empties the cache, sizes RSSMap as the map would, and fits the selected lines.
TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind);

// The fit log "zeltfit.txt" in the system's temporary-files folder.
std::string FitLogPath();

// Loads the species named by a configuration section: its level file and line table from the
// database folder of section _Files.
void LoadSpecies(TAtomicData& model, const TConfigStore& store, const std::string& species);

} // namespace zelt
