// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of maps and fits for Python: the line table (LineTable), FitResult and MapResult,
// their numbers as NumPy arrays, their rows as pandas DataFrames with the columns of zeltfit-cli's
// --format tsv, so that every column the application layer adds to a row appears in Python too.

#include "app/application.h"
#include "python/errors.h"

#include <string>
#include <vector>

namespace zelt {

// The line table after a read, map or fit: one entry per selected line, in the measurement's
// order. The fractions are the model's doubles (-1 where one cannot be formed, as the table
// shows); the state texts are UTF-8; the levels are indices into the species' levels.
struct TLineTable {
    std::vector<double> Wavelength, Intensity, Uncertainty, Free, Measured, Fitted, UpperEnergy,
        LowerEnergy;
    std::vector<std::int32_t> UpperLevel, LowerLevel;
    std::vector<std::string> UpperState, LowerState;
};

// The columns of `lines`, the state texts converted.
TLineTable LineTableOf(const TLineSnapshot& lines);

struct TFit {
    std::string File;
    TFitOutcome Outcome;
    TLineTable Lines;
    std::vector<std::string> Report;
};

struct TMap {
    std::string File;
    TMapOutcome Outcome;
    TLineTable Lines;
    std::vector<std::string> Report;
};

// The lines of a report (Windows-1252) in UTF-8.
std::vector<std::string> Utf8Lines(const TReportList& report);

// The rows of zeltfit-cli batch fit --format tsv (the file name first) as the DataFrame that
// batch_fit returns: zeltfit._series_frame of the text.
py::object SeriesFrame(const std::string& tsv);

// Registers LineTable, FitResult and MapResult in `m`.
void AddResults(py::module_& m);

} // namespace zelt
