// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One result of a map or fit as a row of a table: the result line's numbers, how far they can
// be trusted, the uncertainties to quote, and the conditions that made them (species, files,
// settings, program version), so that a saved row can be judged and made again.

#include "app/configstore.h"
#include "app/settings.h"
#include "linemodel/modeltypes.h"

#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

// The conditions of a map or fit.
struct TProvenance {
    std::string Species;
    std::string Database;   // the database folder
    std::string LevelsFile; // the species' Levels value
    std::string LinesFile;  // the line table's file, "Ar_I.txt" for Lines=Ar,I
    bool Fit = false;       // a fit; otherwise a map
    // As the command ran, the species keys m and Boltzmax included, the escape factor by its
    // name (EscapeName).
    TCommandSettings Settings;
};

// The provenance of a command run with `settings` on `species` of the configuration.
TProvenance Provenance(const TConfigView& config, const std::string& species,
                       const TCommandSettings& settings, bool fit);

// n_1 (m-3) of a fit under each built-in escape factor: the fit's own n_1 under the model it
// used, and the same fit made again with the other (EscapeSpread); absent where there is none
// (a map, a fit that failed or was flagged). The spread is the systematic of the choice.
struct TEscapeSpread {
    std::optional<long double> Mewe, Doppler;
};

struct TResultRow {
    TResultValues Values; // the result line's numbers and procedure
    std::string FileName; // the measurement file without its folder
    TFitQuality Quality;
    // The likelihood fit of a fit (TFitResult::Likelihood), where there is one, and its numbers
    // to quote, where they have uncertainties: n_1, T_exc and every density with its standard
    // uncertainty propagated with the covariance, the procedure the result line's.
    std::optional<TLikelihoodFit> Likelihood;
    std::optional<TResultValues> Quoted;
    TProvenance Provenance;
    TEscapeSpread Spread;
};

// The row of the model's last map: the numbers of its result line and its judgement
// (MapValues, MapQuality).
TResultRow MapRow(const TAtomicData& model, const std::string& fileName, TProvenance provenance);
// The row of a fit: its result line's numbers, its judgement and its likelihood fit.
TResultRow FitRow(const TFitResult& fit, const std::string& fileName, TProvenance provenance);

// The numbers a plot of results shows, as a user quotes them: the likelihood fit's where it
// has uncertainties (Quoted), else the result line's.
const TResultValues& ShownValues(const TResultRow& row);

// One line on a result beside its result line: why a flagged one cannot be trusted ("fit:T_exc
// not determined. T_exc: the data do not move it ..."), or what to quote of a sound fit, from
// its likelihood fit ("To quote: n_1 = 4.970E+016 ± 7.075E+014 m-3, T_exc = 1470 ± 33 K
// (likelihood of the intensities, nu = 17; noise relative, u(I) = s I, s = 1.07 % from the
// fit)", the 68.3 % interval of n_1 after its ± where that is asymmetric), which for an escape
// factor other than mewe goes on with "; escape factor doppler, n_1 (mewe) = 7.9E+016 m-3", the
// result line's n_1 under the other built-in models; or a sound map's S/(N-2) and nu. UTF-8.
std::string QualityText(const TResultRow& row);

// The 68.3 % profile interval of n_1 where its halves differ by more than a fifth (the longer
// against the shorter): ", 68.3 %: 4.361E+014 to 1.973E+015"; empty otherwise.
std::string AsymmetricInterval(const TLikelihoodFit& likelihood);

// The columns of the judgement and of the provenance, and a row's fields for them: numbers to
// 17 significant digits, empty where the result has none (the start values of a map, the
// grid of a fit, a quoted uncertainty that does not exist).
//   S, S/(N-2), nu, nu-NF, Quoted u(n_1)/m-3, Quoted u(T)/K, chi2/nu, Flags,
//   Species, Database, Levels file, Lines file, m/u, Boltzmax, Tn/K, Path/m,
//   Start n_1/m-3, Start T/K, T fitted, Max iterations,
//   Map n_1 from/m-3, Map n_1 to/m-3, Map n_1 points, Map T from/K, Map T to/K, Map T points,
//   Version, Escape factor, n_1 (mewe)/m-3, n_1 (doppler)/m-3
// (the escape factor's name, and the spread of n_1 under the built-in models, TEscapeSpread).
std::vector<std::string> ConditionColumns();
std::vector<std::string> ConditionFields(const TResultRow& row);

// The columns of the likelihood fit, which rows put last: the quoted n_1, the 68.3 % profile
// interval of n_1, the quoted T_exc, n_tot with its u and each further level's n_k with its u
// (k = 2 .. `levels`; the quoted u(n_1) and u(T) are among ConditionColumns), the noise model,
// s where estimated, chi^2, its nu and its p-value where the u were given:
//   Quoted n_1/m-3, n_1 low/m-3, n_1 high/m-3, Quoted T/K, Quoted n_tot/m-3,
//   Quoted u(n_tot)/m-3, Quoted n_k/m-3, Quoted u(n_k)/m-3 ..., Noise, s, chi2, nu (chi2),
//   p (chi2)
// Empty fields for a map, a fit without its likelihood, and what a fit has not.
std::vector<std::string> QuotedColumns(std::int32_t levels);
std::vector<std::string> QuotedFields(const TResultRow& row, std::int32_t levels);

} // namespace zelt
