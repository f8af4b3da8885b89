// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resultrow.h"

#include "app/commands.h"
#include "app/tsvfields.h"
#include "common/format.h"
#include "common/version.h"
#include "linemodel/atomicdata.h"
#include "linemodel/commatext.h"
#include "linemodel/fitquality.h"
#include "linemodel/likelihood.h"

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

TResultRow FitRow(const TFitResult& fit, const std::string& fileName, TProvenance provenance) {
    TResultRow row;
    row.Values = fit.Values;
    if (fit.Likelihood && fit.Likelihood->Done) {
        row.Likelihood = fit.Likelihood;
        if (fit.Likelihood->Quoted) {
            row.Quoted = fit.Likelihood->Values;
            row.Quoted->Procedure = fit.Quality.Procedure;
        }
    }
    row.FileName = fileName;
    row.Quality = fit.Quality;
    row.Provenance = std::move(provenance);
    return row;
}

const TResultValues& ShownValues(const TResultRow& row) {
    return row.Quoted && !row.Quoted->Densities.empty() ? *row.Quoted : row.Values;
}

std::string AsymmetricInterval(const TLikelihoodFit& likelihood) {
    if (!likelihood.Quoted || !likelihood.DensityLow || !likelihood.DensityHigh)
        return {};
    const long double n = likelihood.Values.Densities[0];
    const long double below = n - *likelihood.DensityLow, above = *likelihood.DensityHigh - n;
    if (!(std::max(below, above) > 1.2L * std::min(below, above)))
        return {};
    return Format(", 68.3 %%: %.3e to %.3e", {*likelihood.DensityLow, *likelihood.DensityHigh});
}

std::string QualityText(const TResultRow& row) {
    const TFitQuality& q = row.Quality;
    if (q.Flagged()) {
        std::string text = q.Procedure + ".";
        for (const std::string& problem : q.Problems)
            text += " " + problem;
        return text;
    }
    if (!row.Provenance.Fit) {
        std::string sums = Format("S = %.3e", {q.SumOfSquares});
        if (q.SumPerPoint)
            sums += Format(", S/(N-2) = %.3e", {*q.SumPerPoint});
        return Format("%s: %s, nu = %d", {q.Procedure, sums, q.Fractions});
    }
    if (!row.Likelihood)
        return q.Procedure + ": no likelihood fit";
    const TLikelihoodFit& l = *row.Likelihood;
    std::string how = Format("likelihood of the intensities, nu = %d", {l.DegreesOfFreedom});
    if (l.PValue)
        how += Format(", chi2/nu = %.3f, p = %.3f", {l.ChiSquare / l.DegreesOfFreedom, *l.PValue});
    how += "; noise " + NoiseModelText(l.Noise, l.Scale);
    if (!row.Quoted || row.Quoted->Densities.empty())
        return Format("%s: no uncertainty to quote (%s)", {q.Procedure, how});
    const TResultValues& v = *row.Quoted;
    std::string quote =
        Format("To quote: n_1 = %.3e \u00B1 %.3e m-3", {v.Densities[0], v.Uncertainties[0]}) +
        AsymmetricInterval(l);
    if (row.Provenance.Settings.FitTemperatureOn)
        quote += Format(", T_exc = %.0f \u00B1 %.0f K", {v.Temperature, v.TemperatureUncertainty});
    return Format("%s (%s)", {quote, how}) + SpreadText(row);
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

std::vector<std::string> QuotedColumns(std::int32_t levels) {
    std::vector<std::string> names = {"Quoted n_1/m-3", "n_1 low/m-3",      "n_1 high/m-3",
                                      "Quoted T/K",     "Quoted n_tot/m-3", "Quoted u(n_tot)/m-3"};
    for (std::int32_t k = 2; k <= levels; ++k) {
        names.push_back("Quoted n_" + std::to_string(k) + "/m-3");
        names.push_back("Quoted u(n_" + std::to_string(k) + ")/m-3");
    }
    names.insert(names.end(), {"Noise", "s", "chi2", "nu (chi2)", "p (chi2)"});
    return names;
}

std::vector<std::string> QuotedFields(const TResultRow& row, std::int32_t levels) {
    std::vector<std::string> fields;
    const std::optional<TResultValues>& v = row.Quoted;
    const bool temperatureFitted = row.Provenance.Settings.FitTemperatureOn;
    fields.push_back(v ? Number(v->Densities[0]) : "");
    if (row.Likelihood) {
        fields.push_back(Optional(row.Likelihood->DensityLow));
        fields.push_back(Optional(row.Likelihood->DensityHigh));
    } else {
        fields.insert(fields.end(), 2, "");
    }
    fields.push_back(v && temperatureFitted ? Number(v->Temperature) : "");
    fields.push_back(v ? Number(v->Total) : "");
    fields.push_back(v ? Number(v->TotalUncertainty) : "");
    for (std::int32_t j = 1; j < levels; ++j) {
        const bool own = v && j < v->Densities.size();
        fields.push_back(own ? Number(v->Densities[j]) : "");
        fields.push_back(own ? Number(v->Uncertainties[j]) : "");
    }
    if (!row.Likelihood) {
        fields.insert(fields.end(), 5, "");
        return fields;
    }
    const TLikelihoodFit& l = *row.Likelihood;
    fields.push_back(NoiseModelText(l.Noise));
    fields.push_back(Optional(l.Scale));
    fields.push_back(Number(l.ChiSquare));
    fields.push_back(std::to_string(l.DegreesOfFreedom));
    fields.push_back(Optional(l.PValue));
    return fields;
}

} // namespace zelt
