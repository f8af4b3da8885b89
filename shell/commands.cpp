#include "shell/commands.h"

#include "common/convert.h"
#include "common/format.h"
#include "common/textfile.h"
#include "linemodel/constants.h"

#include <cmath>
#include <filesystem>

namespace zelt {

namespace {

// A value as its edit box shows it and the command parses it back.
double ThroughEdit(const char* pattern, double value) {
    double shown = value;
    TryStrToFloat(Format(pattern, {value}), shown);
    return shown;
}

} // namespace

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
    Slot(p, LogDensity) = std::log10(settings.FitDensity);
    Slot(p, Temperature) = settings.FitTemperature;
    Slot(p, FitCount) = settings.FitTemperatureOn ? 2 : 1;
    Slot(p, IterationLimit) = settings.MaxIterations;
    return p;
}

TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind) {
    model.ClearPrecalc();
    TParamVector p = MapParameters(settings);
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    model.CalcMap(settings.DensityPoints, settings.TemperaturePoints, p,
                  std::log10(settings.FromDensity), std::log10(settings.ToDensity),
                  settings.FromTemperature, settings.ToTemperature, fileName, model.MapRange,
                  &report, reportKind);
    return p;
}

TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind) {
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
