// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commands.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"
#include "common/memory.h"
#include "common/tempfolder.h"
#include "common/textfile.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/likelihood.h"

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

void CheckMapSize(const TCommandSettings& settings, std::uint64_t available) {
    const long double needed = static_cast<long double>(settings.DensityPoints) *
                               settings.TemperaturePoints * kMapBytesPerPoint;
    if (needed > available)
        throw Exception(Format("A map of %d x %d points is too large for the memory: it needs "
                               "%s, and %s are available",
                               {settings.DensityPoints, settings.TemperaturePoints,
                                MemoryText(needed), MemoryText(available)}));
}

void CheckMapSize(const TCommandSettings& settings) {
    const std::uint64_t available = AvailableMemory();
    CheckMapSize(settings, available == 0 ? kAssumedMemory : available);
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

TSearchRange SearchRange(const TCommandSettings& settings) {
    const TMapArguments map = MapArguments(settings);
    return {map.FromLogDensity, map.ToLogDensity, map.FromTemperature, map.ToTemperature};
}

void UseEscape(TAtomicData& model, const TCommandSettings& settings) {
    model.Escape = EscapeModelOf(settings.Escape);
}

std::string EscapeLine(const TEscapeModel& escape) {
    switch (escape.Kind()) {
    case TEscapeKind::Doppler:
        return "Escape factor: doppler, exact for a homogeneous Doppler source (Irons 1979)";
    case TEscapeKind::Table:
        return "Escape factor: the table \"" + escape.Name() + "\"";
    case TEscapeKind::Mewe:
        break;
    }
    return {};
}

namespace {

void AppendEscapeLine(TReportList& report, const TEscapeModel& escape) {
    if (escape.Kind() != TEscapeKind::Mewe)
        report.push_back(EscapeLine(escape));
}

} // namespace

TParamVector RunMap(TAtomicData& model, const TCommandSettings& settings,
                    const std::string& fileName, TReportList& report, std::int32_t reportKind) {
    CheckMapSize(settings);
    RequireFractions(model);
    UseEscape(model, settings);
    TParamVector p = MapParameters(settings);
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    const TMapArguments range = MapArguments(settings);
    model.CalcMap(settings.DensityPoints, settings.TemperaturePoints, p, range.FromLogDensity,
                  range.ToLogDensity, range.FromTemperature, range.ToTemperature, fileName,
                  model.MapRange, &report, reportKind);
    AppendEscapeLine(report, model.Escape);
    return p;
}

TFitResult RunFit(TAtomicData& model, const TCommandSettings& settings, const std::string& fileName,
                  const std::string& logPath, TReportList& report, std::int32_t reportKind) {
    CheckMapSize(settings);
    RequireFractions(model);
    UseEscape(model, settings);
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    const TParamVector p = FitParameters(settings);
    const TLikelihoodFit likelihood = FitLikelihood(model, p, SearchRange(settings));
    TFitResult fit = model.FitLines(
        p, TruncToInt(Slot(p, IterationLimit)), TruncToInt(Slot(p, FitCount)), 0, fileName,
        logPath.empty() ? FitLogPath() : logPath, &report, reportKind, &likelihood);
    if (reportKind == ReportFinalResults)
        AppendEscapeLine(report, model.Escape);
    return fit;
}

TFreeLevelsRun RunFreeLevels(TAtomicData& model, const TCommandSettings& settings,
                             const std::string& fileName, const std::string& logPath,
                             TReportList& report,
                             const std::function<void(const TFitResult&)>& boltzmannDone) {
    CheckMapSize(settings);
    RequireFractions(model);
    UseEscape(model, settings);
    model.InitMap(settings.TemperaturePoints, settings.DensityPoints);
    const TParamVector p = FitParameters(settings);
    TFreeLevelsRun run =
        FitFreeLevels(model, p, TruncToInt(Slot(p, IterationLimit)), TruncToInt(Slot(p, FitCount)),
                      SearchRange(settings), settings.FreeLevels,
                      logPath.empty() ? FitLogPath() : logPath, boltzmannDone);
    WriteFreeLevelsResults(model, run.Free, report, fileName);
    AppendEscapeLine(report, model.Escape);
    report.push_back(ComparisonText(run));
    return run;
}

std::string ComparisonText(const TFreeLevelsRun& run) {
    if (!run.Comparison)
        return "No test: the Boltzmann fit failed (" + run.BoltzmannError + ")";
    const TModelComparison& c = *run.Comparison;
    std::string text = Format("Boltzmann chi2 = %.3e (%d parameters), free chi2 = %.3e (%d "
                              "parameters, nu = %d), noise ",
                              {c.BoltzmannSum, c.BoltzmannParameters, c.FreeSum, c.FreeParameters,
                               c.FreeDegreesOfFreedom}) +
                       NoiseModelText(c.Noise, run.Free.Scale);
    if (!c.Applicable)
        return text + ": no test, " + c.Reason;
    const char* statistic = c.Noise == TNoiseModel::Given ? "LR" : "F";
    return text + Format(c.PValue >= 1e-4L ? ": %s = %.2f, p = %.4f" : ": %s = %.2f, p = %.1e",
                         {statistic, c.Statistic, c.PValue});
}

std::string FitLogPath() {
    return JoinPath(UserTemporaryFolder(), "zeltfit.txt");
}

void LoadSpecies(TAtomicData& model, const TConfigStore& store, const std::string& species) {
    // Without its section the species would look for its files in the database folder's root:
    // the cause is the configuration, and it is named.
    if (const std::string problem = store.SpeciesProblem(species); !problem.empty())
        throw EInOutError(problem);
    const TConfigView config = store.View();
    const std::string database =
        config.ReadString(kFilesDatabase.Section, kFilesDatabase.Key, kFilesDatabase.Default);
    model.ChangeSpecies(
        JoinPath(database, config.ReadString(species, kSpeciesLevels.Key, kSpeciesLevels.Default)),
        JoinPath(database, ""),
        config.ReadString(species, kSpeciesLines.Key, kSpeciesLines.Default));
}

} // namespace zelt
