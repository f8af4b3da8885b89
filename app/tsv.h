#pragma once
// Result rows for spreadsheets and pandas: one header row, then one tab-separated row per map or
// fit with every number of the result line written to 17 significant digits, so that it reads
// back as the double it was.

#include "linemodel/atomicdata.h"
#include "linemodel/region.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// A number in scientific notation with 17 significant digits, "." as the decimal point.
std::string TsvNumber(double value);

// The field as it stands, or in double quotes (with its quotes doubled) when it holds a tab, a
// line end or a quote, as spreadsheets and pandas read such fields: a file name with a tab or a
// newline in it stays one field of one row.
std::string TsvField(const std::string& field);
// The fields (TsvField) joined by tabs, then `lineEnd`.
std::string TsvLine(const std::vector<std::string>& fields, const std::string& lineEnd = "\n");

// The column names: the result line's (densities of `levels` populated levels), then those
// of the confidence region when `withRegion` is set, then "x" (a series' abscissa, see
// SeriesAxis) when `withX` is set. Ends with a line end.
std::string TsvHeader(std::int32_t levels, bool withRegion, bool withX = false);

// One row: the result line's numbers, the file name and the procedure, then the region's
// columns when `region` is given (empty after the degrees of freedom where there is none),
// then `x` when given.
std::string TsvRow(const TResultValues& values, const std::string& fileName,
                   const TMapRegion* region, std::optional<double> x = std::nullopt);

} // namespace zelt
