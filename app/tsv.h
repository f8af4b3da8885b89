// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Result rows for spreadsheets and pandas: one header row, then one tab-separated row per map or
// fit with every number of the result line written to 17 significant digits, so that it reads
// back as the double it was, followed by the result's judgement and conditions.

#include "app/resultrow.h"
#include "app/series.h"
#include "app/tsvfields.h"
#include "linemodel/freelevels.h"
#include "linemodel/region.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// The abscissa of file i of a series.
TRowAbscissa RowAbscissa(const TSeriesAxis& axis, std::size_t i);

// The names of the result line's columns (densities of `levels` populated levels), then of
// the confidence region's when `withRegion` is set, then "x" (a series' abscissa) when `withX`
// is set.
std::vector<std::string> ResultColumns(std::int32_t levels, bool withRegion, bool withX);

// The header row: ResultColumns, then "x from" and "x text" when `withX` is set, then
// ConditionColumns, then QuotedColumns, then FreeLevelsColumns when `withFree` is set. Ends with
// a line end.
std::string TsvHeader(std::int32_t levels, bool withRegion, bool withX = false,
                      const std::string& lineEnd = "\n", bool withFree = false);

// One row under TsvHeader(levels, ...): the result line's numbers (empty fields for levels
// beyond the row's own), the file name and the procedure, then the region's columns when
// `region` is given (empty after the degrees of freedom where there is none), then the
// abscissa when given, then the conditions and the likelihood fit's fields (QuotedFields). With
// the run of a free fit, `row` is its Boltzmann
// fit's, and the free fit's fields follow: the numbers, "n.d." where its result line has it (a
// level the data do not determine, an uncertainty without its scale), the statistic and p
// empty without a test. Where the Boltzmann fit failed, its numbers and judgement are empty and
// the procedure says why.
std::string TsvRow(const TResultRow& row, std::int32_t levels, const TMapRegion* region = nullptr,
                   const TRowAbscissa* x = nullptr, const std::string& lineEnd = "\n",
                   const TFreeLevelsRun* free = nullptr);

// The window's "Save results...": TsvHeader for the most populated levels among `rows`, then a
// row per result, each ended by `lineEnd`.
std::string ResultsTableText(const std::vector<TResultRow>& rows,
                             const std::string& lineEnd = "\r\n");

} // namespace zelt
