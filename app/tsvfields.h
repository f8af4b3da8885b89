// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fields of tab-separated rows: numbers to 17 significant digits, texts quoted where a tab or
// a line end would break the row, and where a series puts a result.

#include "linemodel/freelevels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

// A number in scientific notation with 17 significant digits, "." as the decimal point.
std::string TsvNumber(double value);

// The field as it stands, or in double quotes (with its quotes doubled) when it holds a tab or a
// line end or begins with a quote, as spreadsheets and pandas read such fields: a file name with a
// tab or a newline in it stays one field of one row.
std::string TsvField(const std::string& field);
// The fields (TsvField) joined by tabs, then `lineEnd`.
std::string TsvLine(const std::vector<std::string>& fields, const std::string& lineEnd = "\n");

// The columns of a fit with free lower levels, after those of its Boltzmann fit: "free n_k/m-3"
// and "free u(n_k)/m-3" of `levels` levels, "free RSS" (the free fit's chi^2), "F" or "LR"
// (the statistic of the test of the two: F for the relative noise, the likelihood ratio for
// given uncertainties) and "p".
std::vector<std::string> FreeLevelsColumns(std::int32_t levels);

// The fields of FreeLevelsColumns(levels) for `run`: the numbers, "n.d." where the free fit's
// result line has it (a level the data do not determine, an uncertainty without its scale), the
// statistic and p empty without a test; empty fields for levels beyond the run's own.
std::vector<std::string> FreeLevelsFields(const TFreeLevelsRun& run, std::int32_t levels);

// Where a series puts a result (see SeriesAxis): the number, and whether it is the number in the
// file names (with the text beside it there, its unit, e.g. "kW") or the file's position.
struct TRowAbscissa {
    double X = 0;
    bool FromNames = false;
    std::string Text;
};
// "file names" or "position".
const char* AbscissaOrigin(const TRowAbscissa& x);

} // namespace zelt
