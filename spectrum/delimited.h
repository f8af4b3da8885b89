// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tables of numbers as spectrometer programs and spreadsheets write them: one row per line,
// the columns separated by tabs, semicolons, commas or blanks, "." or "," as the decimal
// separator, both detected from the data. Lines before the data (a header of "key: value"
// lines, column titles, a line of units) and after it (a footer) are kept as text; lines
// starting with "#", "%" or "//" are comments. Between ">>>>>Begin ... Data<<<<<" and
// ">>>>>End ... Data<<<<<" markers only the marked lines are data.

#include "common/textfile.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zelt {

struct TDelimitedTable {
    std::string FileName;
    std::vector<std::string> Names;           // column titles; empty when the file has none
    std::vector<std::string> Units;           // a line of units below the titles, or empty
    std::vector<std::vector<double>> Columns; // the values, column by column
    std::vector<int> Lines;                   // the file's line number of each row, from 1
    std::vector<std::string> Text;            // the header and footer lines, trimmed
    char Separator = '\t';                    // '\t', ';', ',' or ' ' (blanks)
    char Decimal = '.';

    std::size_t Rows() const { return Lines.size(); }
    // "tab-separated, decimal point" and the like.
    std::string Layout() const;
    // "column 2 (Sample)": the column counted from 1, with its title when it has one.
    std::string ColumnName(std::size_t column) const;
};

// The most a table of numbers may hold (ReadDelimited, the table beside a measurement file).
inline constexpr TReadLimit kTableLimit{64 * kMegabyte, "a table of numbers"};

// Parses the bytes of a file. A file without numbers, rows with fewer values than the first
// row, values that are not numbers inside the data, and data resuming after a footer raise
// EInOutError naming the file and the line.
TDelimitedTable ParseDelimited(std::string_view bytes, const std::string& fileName);
// Reads (ReadFileBytes, within kTableLimit) and parses a file.
TDelimitedTable ReadDelimited(const std::string& fileName);

// The column chosen by `choice`: a number counted from 1, or a title (compared without regard to
// case, a title that starts with it counts). An empty choice takes the first column whose title
// starts with one of `titles`, else column `fallback` (from 0). A choice that names no column
// raises EInOutError listing the columns; `what` ("wavelength", ...) names the column asked for.
std::size_t ChooseColumn(const TDelimitedTable& table, const std::string& choice,
                         std::initializer_list<const char*> titles, std::size_t fallback,
                         const char* what);
// The first column whose title starts with one of `titles`; Columns.size() when none does.
std::size_t FindTitledColumn(const TDelimitedTable& table,
                             std::initializer_list<const char*> titles);

// The text in lower case (ASCII letters only).
std::string LowerCase(std::string_view text);

} // namespace zelt
