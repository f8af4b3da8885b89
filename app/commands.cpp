#include "app/commands.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/textfile.h"
#include "linemodel/constants.h"

#include <cmath>
#include <filesystem>

namespace zelt {

namespace {

// log10 of an entered density in extended precision; a density of 0 or below is a fault.
long double Log10Density(long double density, const char* where) {
    FpReset();
    const long double logDensity = std::log10(density);
    FpCheck(where);
    return logDensity;
}

} // namespace

bool HasFractions(const TAtomicData& model) {
    return model.SelectedLines.size() >= 2;
}

void RequireFractions(const TAtomicData& model) {
    if (!HasFractions(model))
        throw Exception("Not enough lines for Zelt method.");
}

void CheckMapSize(const TCommandSettings& settings) {
    if (static_cast<long long>(settings.DensityPoints) * settings.TemperaturePoints > MaxMapPoints)
        throw Exception(Format("A map of %d x %d points is too large for the memory",
                               {settings.DensityPoints, settings.TemperaturePoints}));
}

TMapArguments MapArguments(const TCommandSettings& settings) {
    const char* where = "log10 of the density range of the map";
    return {static_cast<double>(Log10Density(settings.FromDensity, where)),
            static_cast<double>(Log10Density(settings.ToDensity, where)),
            static_cast<double>(settings.FromTemperature),
            static_cast<double>(settings.ToTemperature)};
}

TParamVector MapParameters(const TCommandSettings& settings) {
    TParamVector p;
    Slot(p, GasTemperature) = settings.GasTemperature;
    Slot(p, PathLength) = settings.Path;
    Slot(p, AtomMass) = settings.AtomicMass * kAtomicMassUnit;
    Slot(p, BoltzmannLevels) = settings.Boltzmax;
    return p;
}

TParamVector FitParameters(const TCommandSettings& settings) {
    TParamVector p = MapParameters(settings);
    Slot(p, LogDensity) = Log10Density(settings.FitDensity, "log10 of the start density");
    Slot(p, Temperature) = settings.FitTemperature;
    Slot(p, FitCount) = settings.FitTemperatureOn ? 2 : 1;
    Slot(p, IterationLimit) = settings.MaxIterations;
    return p;
}

TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind) {
    CheckMapSize(settings);
    RequireFractions(model);
    model.ClearPrecalc();
    TParamVector p = MapParameters(settings);
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    const TMapArguments range = MapArguments(settings);
    model.CalcMap(settings.DensityPoints, settings.TemperaturePoints, p, range.FromLogDensity,
                  range.ToLogDensity, range.FromTemperature, range.ToTemperature, fileName,
                  model.MapRange, &report, reportKind);
    return p;
}

TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind) {
    CheckMapSize(settings);
    RequireFractions(model);
    model.ClearPrecalc();
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    const TParamVector p = FitParameters(settings);
    return model.FitLines(p, TruncToInt(Slot(p, IterationLimit)), TruncToInt(Slot(p, FitCount)), 0,
                          fileName, logPath, &report, reportKind);
}

std::string FitLogPath() {
    std::error_code error;
    const std::string folder = Utf8FromPath(std::filesystem::temp_directory_path(error));
    return JoinPath(error ? std::string() : folder, "zeltfit.txt");
}

void LoadSpecies(TAtomicData& model, const TConfigStore& store, const std::string& species) {
    const TConfigView config = store.View();
    const std::string database =
        config.ReadString(FilesDatabase.Section, FilesDatabase.Key, FilesDatabase.Default);
    model.ChangeSpecies(
        JoinPath(database, config.ReadString(species, SpeciesLevels.Key, SpeciesLevels.Default)),
        JoinPath(database, ""), config.ReadString(species, SpeciesLines.Key, SpeciesLines.Default));
}

} // namespace zelt
