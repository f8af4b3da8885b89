// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line table: the selected lines as a command left them, the texts the table shows and the
// files saved from it and from the residual map.

#include "linemodel/modeltypes.h"

#include <array>
#include <string>
#include <vector>

namespace zelt {

// The selected lines with their numbers as the line model holds them, in the measurement's
// order: what the window's table and chart, zeltfit-cli's table and Python's LineTable show.
struct TLineSnapshot {
    TCheckedVector<TLine> Lines;
    bool Fractions = false; // the fractions are formed: at least two lines
    bool Fitted = false;    // BFFit belongs to a map or fit of these intensities
};

constexpr int kTableColumns = 9;
using TTableRow = std::array<std::string, kTableColumns>;

// Row 0 of the line table: "Wavelength", "Intensity", "BF free", ... "Lower state".
TTableRow TableTitles();

// The upper and lower state texts of a database line: Text1 and Text2 each split at their first
// "-" into a lower and an upper part, then "upper1 - upper2_J" from Value5 and "lower1 -
// lower2_J" from Value4. Both empty unless both texts hold a "-".
void StateTexts(const TAtomRecord& record, std::string& upper, std::string& lower);

// The table row of a selected line as a file read shows it: wavelength and intensity in the
// shortest general form (an intensity with an uncertainty, as an import gives it, to the decimal
// of the uncertainty's second significant digit where that is shorter), the energies with nine
// decimals, the state texts; the three fraction columns empty.
TTableRow LineRow(const TLine& line);

// Writes the three branching fractions of a line ("%.4f") into columns 2 to 4 of its row.
void ShowFractions(const TLine& line, TTableRow& row);

// Title row and one row per selected line; columns 2 to 4 filled where the fractions are formed,
// as the window shows them.
std::vector<TTableRow> LineTable(const TLineSnapshot& lines);

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
