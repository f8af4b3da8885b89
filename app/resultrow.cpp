// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resultrow.h"

#include "app/commands.h"
#include "app/tsvfields.h"
#include "common/format.h"
#include "common/version.h"
#include "linemodel/atomicdata.h"
#include "linemodel/commatext.h"
#include "linemodel/fitquality.h"

namespace zelt {

namespace {

std::string Number(long double value) {
    return TsvNumber(static_cast<double>(value));
}

std::string Optional(const std::optional<long double>& value) {
    return value ? Number(*value) : std::string();
}

// For an escape factor other than mewe: "; escape factor doppler, n_1 (mewe) = 7.9E+016 m-3",
// the n_1 of each built-in model the fit did not use, where there is one.
std::string SpreadText(const TResultRow& row) {
    const std::string& escape = row.Provenance.Settings.Escape;
    if (IsDefaultEscape(escape))
        return {};
    std::string text = "; escape factor " + escape;
    const auto add = [&](const char* name, const std::optional<long double>& density) {
        if (density && escape != name)
            text += Format(", n_1 (%s) = %.3e m-3", {name, *density});
    };
    add(kEscapeMewe, row.Spread.Mewe);
    add(kEscapeDoppler, row.Spread.Doppler);
    return text;
}

} // namespace

TProvenance Provenance(const TConfigView& config, const std::string& species,
                       const TCommandSettings& settings, bool fit) {
    TProvenance provenance;
    provenance.Species = species;
    provenance.Database =
        config.ReadString(kFilesDatabase.Section, kFilesDatabase.Key, kFilesDatabase.Default);
    provenance.LevelsFile = config.ReadString(species, kSpeciesLevels.Key, kSpeciesLevels.Default);
    const std::string lines = config.ReadString(species, kSpeciesLines.Key, kSpeciesLines.Default);
    const std::vector<std::string> names = SplitCommaText(lines);
    provenance.LinesFile = names.size() == 2 ? names[0] + "_" + names[1] + ".txt" : lines;
    provenance.Fit = fit;
    provenance.Settings = settings;
    provenance.Settings.Escape = EscapeName(settings.Escape);
    return provenance;
}

TResultRow MapRow(const TAtomicData& model, const std::string& fileName, TProvenance provenance) {
    TResultRow row;
    row.Values = model.MapValues;
    row.FileName = fileName;
    row.Quality = model.MapQuality;
    row.Provenance = std::move(provenance);
    return row;
}

TResultRow FitRow(const TAtomicData& model, const TFitResult& fit, const std::string& fileName,
                  TProvenance provenance) {
    TResultRow row;
    row.Values = fit.Values;
    if (fit.Quality.Quoted) {
        row.Quoted = model.ResultValues(fit.Params, *fit.Quality.Quoted,
                                        TruncToInt(Slot(fit.Params, FitCount)), FitMode);
        row.Quoted->Procedure = fit.Quality.Procedure;
    }
    row.FileName = fileName;
    row.Quality = fit.Quality;
    row.Provenance = std::move(provenance);
    return row;
}

std::string QualityText(const TResultRow& row) {
    const TFitQuality& q = row.Quality;
    if (q.Flagged()) {
        std::string text = q.Procedure + ".";
        for (const std::string& problem : q.Problems)
            text += " " + problem;
        return text;
    }
    std::string sums = Format("S = %.3e", {q.SumOfSquares});
    if (q.SumPerPoint)
        sums += Format(", S/(N-2) = %.3e", {*q.SumPerPoint});
    if (q.ChiSquarePerDegree)
        sums += Format(", chi2/nu = %.3f", {*q.ChiSquarePerDegree});
    if (!row.Provenance.Fit)
        return Format("%s: %s, nu = %d", {q.Procedure, sums, q.Fractions});
    if (!row.Quoted || row.Quoted->Densities.empty())
        return Format("%s: no uncertainty to quote (nu - NF = %d), %s",
                      {q.Procedure, q.DegreesOfFreedom, sums});
    const TResultValues& v = *row.Quoted;
    std::string quote =
        Format("To quote: n_1 = %.3e \u00B1 %.3e m-3", {v.Densities[0], v.Uncertainties[0]});
    if (row.Provenance.Settings.FitTemperatureOn)
        quote += Format(", T_exc = %.0f \u00B1 %.0f K", {v.Temperature, v.TemperatureUncertainty});
    return Format("%s (nu - NF = %d), %s", {quote, q.DegreesOfFreedom, sums}) + SpreadText(row);
}

std::vector<std::string> ConditionColumns() {
    return {"S",
            "S/(N-2)",
            "nu",
            "nu-NF",
            "Quoted u(n_1)/m-3",
            "Quoted u(T)/K",
            "chi2/nu",
            "Flags",
            "Species",
            "Database",
            "Levels file",
            "Lines file",
            "m/u",
            "Boltzmax",
            "Tn/K",
            "Path/m",
            "Start n_1/m-3",
            "Start T/K",
            "T fitted",
            "Max iterations",
            "Map n_1 from/m-3",
            "Map n_1 to/m-3",
            "Map n_1 points",
            "Map T from/K",
            "Map T to/K",
            "Map T points",
            "Version",
            "Escape factor",
            "n_1 (mewe)/m-3",
            "n_1 (doppler)/m-3"};
}

std::vector<std::string> ConditionFields(const TResultRow& row) {
    const TFitQuality& q = row.Quality;
    const TProvenance& p = row.Provenance;
    const TCommandSettings& s = p.Settings;
    std::vector<std::string> fields = {Number(q.SumOfSquares), Optional(q.SumPerPoint),
                                       std::to_string(q.Fractions),
                                       std::to_string(q.DegreesOfFreedom)};
    const bool temperatureFitted = p.Fit && s.FitTemperatureOn;
    if (row.Quoted && !row.Quoted->Uncertainties.empty())
        fields.push_back(Number(row.Quoted->Uncertainties[0]));
    else
        fields.emplace_back();
    fields.push_back(row.Quoted && temperatureFitted ? Number(row.Quoted->TemperatureUncertainty)
                                                     : std::string());
    fields.push_back(Optional(q.ChiSquarePerDegree));
    fields.push_back(FlagWords(q.Flags));
    fields.insert(fields.end(),
                  {p.Species, p.Database, p.LevelsFile, p.LinesFile, Number(s.AtomicMass),
                   std::to_string(s.Boltzmax), Number(s.GasTemperature), Number(s.Path)});
    if (p.Fit)
        fields.insert(fields.end(), {Number(s.FitDensity), Number(s.FitTemperature),
                                     temperatureFitted ? "1" : "0", std::to_string(s.MaxIterations),
                                     "", "", "", "", "", ""});
    else
        fields.insert(fields.end(), {"", "", "", "", Number(s.FromDensity), Number(s.ToDensity),
                                     std::to_string(s.DensityPoints), Number(s.FromTemperature),
                                     Number(s.ToTemperature), std::to_string(s.TemperaturePoints)});
    fields.insert(fields.end(), {kProgramVersion, s.Escape, Optional(row.Spread.Mewe),
                                 Optional(row.Spread.Doppler)});
    return fields;
}

} // namespace zelt
