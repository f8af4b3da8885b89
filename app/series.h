// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A measurement series: the files of a folder fitted one after another, each result placed over
// the number its file name carries (ar_0.5kW.txt, ar_0.75kW.txt, ... over 0.5, 0.75, ... kW).
// The window's "Fit all files" and zeltfit-cli's batch share the rule for that number.

#include "app/resultrow.h"
#include "linemodel/freelevels.h"

#include <optional>
#include <string>
#include <vector>

namespace zelt {

// What the abscissa of some files of a series is: the number in their names, captioned with the
// text beside it ("kW"), or their positions.
struct TSeriesQuantity {
    bool FromNames = false;     // the numbers in the names; otherwise the positions 1, 2, 3, ...
    std::string Caption;        // the names' text beside the number, e.g. "kW"; empty for positions
    bool CaptionIsUnit = false; // the caption follows the number in the names, as its unit
};

// The abscissa of every file of a series, in the order of the names given: one quantity, or one
// per unit where the names mix them (ar_2kW, ar_0.5mbar: a series over kW and one over mbar).
struct TSeriesAxis {
    std::vector<double> X;
    std::vector<std::size_t> Quantity;       // of each file, an index into Quantities
    std::vector<TSeriesQuantity> Quantities; // in the order of their first files
    const TSeriesQuantity& Of(std::size_t file) const { return Quantities.at(Quantity.at(file)); }
};

// The rule for the number in the names (the extension ".txt" is no part of a name):
// - A name is read as numbers and the texts between them. A number is digits with an optional
//   fraction and an optional exponent, so that a density written into a name is one number
//   (argon_5e16: 5e16; ar_0.5kW: 0.5; 2.5E-3 too); a "-" or "+" before the digits is a
//   separator, not a sign (ar-2kW: 2).
// - Names with the same texts between their numbers (compared without regard to case) share
//   one pattern. Within a pattern x is the number that changes from file to file: of several
//   that change, the last (the quantity of a series normally stands last, beside its unit,
//   after a run number or date); where none changes, the last number. Numbers that stay the
//   same, such as a date, are left alone.
// - The caption of a pattern is the text after that number up to the next one, without blanks
//   and the separators "_-.,;=" at its ends ("kW"); where that is empty, the text before it
//   ("argon").
// - All names of one pattern make one quantity. Names of several patterns make one quantity
//   each where every pattern's caption is a unit of its own (I_2kW, p_0.5mbar); otherwise (a
//   name without a number, two patterns of one unit, a pattern without a unit) the x of all
//   names are their positions, one quantity without a caption.
TSeriesAxis SeriesAxis(const std::vector<std::string>& fileNames);

// A name read as texts and numbers by the rule above (its extension ".txt" left out):
// Texts[0] Numbers[0] Texts[1] ... Numbers[n-1] Texts[n].
struct TNamePattern {
    std::vector<std::string> Texts{std::string()};
    std::vector<double> Numbers;
};
TNamePattern NamePattern(const std::string& fileName);

// The order of the files of a series: names compared as the texts and numbers of the rule
// above, numbers by value and texts without regard to case, so that ar_2kW comes before
// ar_2.75kW and ar_9 before ar_10; names that compare equal so keep their order.
bool NaturalLess(const std::string& a, const std::string& b);
// The same for names read already, for a sort that reads each name once.
bool NaturalLess(const TNamePattern& a, const TNamePattern& b);

// One file of a series: its result when it was fitted, otherwise why not.
struct TSeriesEntry {
    std::string File; // the name without its folder
    double X = 0;
    bool XFromNames = false;  // X is the number in the names (else the file's position)
    std::string XText;        // the names' text beside that number (TSeriesQuantity::Caption)
    std::size_t Quantity = 0; // its quantity in the series' axis
    bool Fitted = false;
    TResultRow Row;                 // the result, when fitted
    bool TemperatureFitted = false; // T_exc was a fitted parameter
    std::string Problem;            // why it was not fitted
    std::vector<std::string> Notes; // messages of orderly stops while it was read
    // The fit with free lower levels, when the series made one; Row is then its Boltzmann fit's.
    std::optional<TFreeLevelsRun> Free;
    bool Excluded = false; // left out of the series by the user
};

// A line for each file that was not fitted ("bad.txt, not fitted: why"), for each problem of
// a flagged result ("thin.txt, flagged: why"), for each level a free fit did not determine
// ("thin.txt, free fit: n_3 not determined"), for each file the user excluded ("odd.txt,
// excluded") and for each message of an orderly stop while a file was read ("part.txt:
// message"), in the order of the files.
std::vector<std::string> SeriesProblems(const std::vector<TSeriesEntry>& entries);

// The saved series: a header row "File, x, n_1/m-3, u(n_1)/m-3, T/K, u(T)/K, RSS, Procedure,
// x from, x text" and the columns of the conditions (ConditionColumns), tab-separated, and a
// row per entry, the numbers to 17 significant digits as in --format tsv; an entry that was
// not fitted has empty fields after x and "not fitted: " and its problem as the procedure; an
// excluded entry has "excluded: " before its procedure. Where entries were fitted with free
// levels, the columns of the free fits follow the conditions (FreeLevelsColumns of the most
// levels among them). Every row ends with `lineEnd`.
std::string SeriesTableText(const std::vector<TSeriesEntry>& entries,
                            const std::string& lineEnd = "\r\n");

} // namespace zelt
