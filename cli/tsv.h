#pragma once
// Result rows for spreadsheets and pandas: one header row, then one tab-separated row per map or
// fit with every number of the result line written to 17 significant digits, so that it reads
// back as the double it was.

#include "linemodel/atomicdata.h"
#include "linemodel/region.h"

#include <cstdint>
#include <string>

namespace zelt {

// A number in scientific notation with 17 significant digits, "." as the decimal point.
std::string TsvNumber(double value);

// The column names: the result line's (densities of `levels` populated levels), then those
// of the confidence region when `withRegion` is set. Ends with a line end.
std::string TsvHeader(std::int32_t levels, bool withRegion);

// One row: the result line's numbers, the file name and the procedure, then the region's
// columns when `region` is given (empty after the degrees of freedom where there is none).
std::string TsvRow(const TResultValues& values, const std::string& fileName,
                   const TMapRegion* region);

} // namespace zelt
