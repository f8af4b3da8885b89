// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tables of numbers as spectrometer programs and spreadsheets write them: one row per line,
// the columns separated by tabs, semicolons, commas or blanks, "." or "," as the decimal
// separator. The data are the longest run of lines that read as rows of one number of values;
// the separator and the decimal sign are decided on lines from its middle, so that lines before
// it (free-text titles, even those that start with a number, "key: value" lines, column titles
// padded with blanks, a line of units) and after it (a footer) are kept as text. Lines starting
// with "#", "%" or "//" are comments. Between ">>>>>Begin ... Data<<<<<" and
// ">>>>>End ... Data<<<<<" markers only the marked lines are data. A file with no such table
// may be a list of labelled values, "I_696 = 31.79" or "I_696 31.79", one per line: the label's
// number of three digits or more is the wavelength.

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
    char Separator = '\t'; // '\t', ';', ',', ' ' (blanks) or '=' (labelled values)
    char Decimal = '.';

    std::size_t Rows() const { return Lines.size(); }
    // "tab-separated, decimal point" and the like.
    std::string Layout() const;
    // "column 2 (Sample)": the column counted from 1, with its title when it has one.
    std::string ColumnName(std::size_t column) const;
};

// The most a table of numbers may hold (ReadDelimited, the table beside a measurement file).
inline constexpr TReadLimit kTableLimit{64 * kMegabyte, "a table of numbers"};

// Parses the bytes of a file. A file without a table, a line that breaks off the data (a row
// with another number of values, a value that is not a number) and data resuming after a footer
// raise EInOutError naming the file, the line and the layout of the data.
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
