// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of the line table and the files saved from it and from the residual map.

#include "linemodel/atomicdata.h"

#include <array>
#include <string>
#include <vector>

namespace zelt {

constexpr int kTableColumns = 9;
using TTableRow = std::array<std::string, kTableColumns>;

// Row 0 of the line table: "Wavelength", "Intensity", "BF free", ... "Lower state".
TTableRow TableTitles();

// The upper and lower state texts of a database line: Text1 and Text2 each split at their first
// "-" into a lower and an upper part, then "upper1 - upper2_J" from Value5 and "lower1 -
// lower2_J" from Value4. Both empty unless both texts hold a "-".
void StateTexts(const TAtomRecord& record, std::string& upper, std::string& lower);

// The table row of a selected line as a file read shows it: wavelength and intensity in the
// shortest general form, the energies with nine decimals, the state texts; the three fraction
// columns empty.
TTableRow LineRow(const TLine& line);

// Writes the three branching fractions of a line ("%.4f") into columns 2 to 4 of its row.
void ShowFractions(const TLine& line, TTableRow& row);

// Title row and one row per selected line; with `fractions` columns 2 to 4 filled, as the
// window shows them when there are at least two lines.
std::vector<TTableRow> LineTable(const TAtomicData& model, bool fractions);

// The saved table: every cell preceded by a tab, each row ended by `lineEnd`.
std::string TableText(const std::vector<TTableRow>& rows, const std::string& lineEnd = "\r\n");

// The line table for spreadsheets and pandas: the same cells tab-separated without the saved
// table's leading tab, the titles with their units ("Wavelength/nm", "Upper energy/eV", ...),
// each row ended by `lineEnd`.
std::string TableTsvText(const std::vector<TTableRow>& rows, const std::string& lineEnd = "\r\n");

// The residual map as a tab-separated table: the log10 densities of the grid columns as the
// column heads, the temperatures of the grid rows as the row heads, each row ended by
// `lineEnd`.
std::string MapText(const TCheckedVector<TCheckedVector<double>>& map, const TMapRange& range,
                    const std::string& lineEnd = "\r\n");

} // namespace zelt
