#include "shell/commands.h"

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

// A configured value as its edit box shows it, read back as the command reads the edit.
long double ThroughEdit(const char* pattern, double value) {
    long double shown = value;
    TryStrToExtended(Format(pattern, {value}), shown);
    return shown;
}

// log10 of an entered density in extended precision; a density of 0 or below is a fault.
long double Log10Density(long double density, const char* where) {
    FpReset();
    const long double logDensity = std::log10(density);
    FpCheck(where);
    return logDensity;
}

} // namespace

void RequireFractions(const TAtomicData& model) {
    if (model.SelectedLines.size() < 2)
        throw Exception("Not enough lines for Zelt method.");
}

long double EditReal(const std::string& text) {
    long double value = 0;
    if (!TryStrToExtended(text, value))
        throw EConvertError(Format("'%s' is not a valid floating point value", {text}));
    return value;
}

std::int32_t EditInteger(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return value;
}

TCommandSettings ReadSettings(const TConfigStore& store, const std::string& species) {
    TCommandSettings s;
    s.FromDensity = ThroughEdit("%3.1e", store.ReadFloat("_Iteration", "FromDensity", 1e15));
    s.ToDensity = ThroughEdit("%3.1e", store.ReadFloat("_Iteration", "ToDensity", 1e18));
    s.DensityPoints = store.ReadInteger("_Iteration", "DensityPoints", 50);
    s.FromTemperature = ThroughEdit("%.0f", store.ReadFloat("_Iteration", "FromTemperature", 1000));
    s.ToTemperature = ThroughEdit("%.0f", store.ReadFloat("_Iteration", "ToTemperature", 50000));
    s.TemperaturePoints = store.ReadInteger("_Iteration", "TemperaturePoints", 50);
    s.FitDensity = ThroughEdit("%3.1e", store.ReadFloat("_Fit", "FromDensity", 1e16));
    s.FitTemperature = ThroughEdit("%.0f", store.ReadFloat("_Fit", "FromTemperature", 1000));
    s.MaxIterations = store.ReadInteger("_Fit", "Count", 50);
    s.GasTemperature = ThroughEdit("%.0f", store.ReadFloat("_Parameters", "Tn", 300));
    s.Path = ThroughEdit("%.3f", store.ReadFloat("_Parameters", "Path", 1));
    s.AtomicMass = store.ReadFloat(species, "m", 0);
    s.Boltzmax = store.ReadInteger(species, "Boltzmax", 1);
    return s;
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
    const std::string database = store.ReadString("_Files", "Database", "");
    model.ChangeSpecies(JoinPath(database, store.ReadString(species, "Levels", "")),
                        JoinPath(database, ""), store.ReadString(species, "Lines", ""));
}

} // namespace zelt
