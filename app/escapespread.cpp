// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/escapespread.h"

#include "app/commands.h"
#include "common/errors.h"
#include "common/fpcheck.h"
#include "leastsquares/marq3w.h"

#include <utility>

namespace zelt {

TFitResult QuietFit(TAtomicData& model, const TCommandSettings& settings) {
    RequireFractions(model);
    UseEscape(model, settings);
    const TParamVector p = FitParameters(settings);
    // The minimiser's log of this fit is kept in memory and dropped: neither the log file nor
    // the log a series keeps may become this fit's instead of the one the user asked for.
    struct TDroppedLog {
        std::string Text;
        std::string* Before = MarqLogToText(&Text);
        ~TDroppedLog() { MarqLogToText(Before); }
    } log;
    return model.FitLines(p, TruncToInt(Slot(p, IterationLimit)), TruncToInt(Slot(p, FitCount)), 0,
                          {}, FitLogPath(), nullptr, ReportFinalResults);
}

namespace {

// n_1 (m-3) of `fit` made in `model` with the escape factor `escape`, the model put back.
std::optional<long double> DensityWith(TAtomicData& model, TCommandSettings settings,
                                       const char* escape, const TFitRun& fit) {
    const TCheckedVector<TLevel> levels = model.Levels;
    const TCheckedVector<TLine> lines = model.SelectedLines;
    const TEscapeModel own = model.Escape;
    settings.Escape = escape;
    std::optional<long double> density;
    try {
        const TFitResult result = fit(model, settings);
        if (!result.Quality.Flagged() && !model.Levels.empty())
            density = model.Levels[0].Population;
    } catch (const std::exception&) {
        // No n_1 under that model: its field stays empty.
    }
    FpReset();
    model.Levels = levels;
    model.SelectedLines = lines;
    model.Escape = own;
    return density;
}

} // namespace

TEscapeSpread EscapeSpread(TAtomicData& model, const TCommandSettings& settings,
                           const TResultRow& row, const TFitRun& fit) {
    TEscapeSpread spread;
    if (row.Values.Densities.empty())
        return spread;
    const std::string own = EscapeName(settings.Escape);
    const std::pair<const char*, std::optional<long double>*> models[] = {
        {kEscapeMewe, &spread.Mewe}, {kEscapeDoppler, &spread.Doppler}};
    for (const auto& [escape, density] : models)
        *density = own == escape ? std::optional<long double>(row.Values.Densities[0])
                                 : DensityWith(model, settings, escape, fit);
    return spread;
}

} // namespace zelt
