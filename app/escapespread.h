// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The systematic of the escape factor: the n_1 that a fit gives under each built-in model. The
// models differ by a factor of up to 2.8 in n_1 (docs/MODEL.md), well beyond the statistical
// uncertainty, so every fit's row carries both, for the user to quote the spread.

#include "app/resultrow.h"
#include "app/settings.h"
#include "linemodel/atomicdata.h"

#include <functional>

namespace zelt {

// A fit of the model's selected lines with `settings` (its escape factor included), as a
// command makes it, without a report.
using TFitRun = std::function<TFitResult(TAtomicData& model, const TCommandSettings& settings)>;

// "Fit" of RunFit without its report, the map's size and its log: the minimiser's log goes to
// a scratch file that is removed.
TFitResult QuietFit(TAtomicData& model, const TCommandSettings& settings);

// The spread of the fit of `row`, made with `settings` in `model`: the row's own n_1 under the
// built-in model it used, and the n_1 of `fit` made again with each other built-in model. The
// model's levels, lines and escape factor are put back afterwards. A fit that fails or is
// flagged gives no n_1; a row without densities (a fit not done) none at all.
TEscapeSpread EscapeSpread(TAtomicData& model, const TCommandSettings& settings,
                           const TResultRow& row, const TFitRun& fit = QuietFit);

} // namespace zelt
