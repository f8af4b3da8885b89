// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of maps and fits for Python: the line table (LineTable), FitResult and MapResult,
// their numbers as NumPy arrays, the line table also as a pandas DataFrame.

#include "app/application.h"
#include "python/errors.h"

#include <string>
#include <vector>

namespace zelt {

// The line table after a map or fit: one entry per selected line, in the measurement's order.
// The fractions are the model's doubles (-1 where one cannot be formed, as the table shows);
// the state texts are UTF-8.
struct TLineTable {
    std::vector<double> Wavelength, Intensity, Uncertainty, Free, Measured, Fitted, UpperEnergy,
        LowerEnergy;
    std::vector<std::string> UpperState, LowerState;
};

// The columns of `lines`, the state texts converted.
TLineTable LineTableOf(const TLineSnapshot& lines);

struct TFit {
    std::string File;
    TFitResult Result;
    TResultValues Values;
    TLineTable Lines;
    std::vector<std::string> Report, Messages;
};

struct TMap {
    std::string File;
    TMapOutcome Outcome;
    TLineTable Lines;
    std::vector<std::string> Report;
};

// The lines of a report (Windows-1252) in UTF-8.
std::vector<std::string> Utf8Lines(const TReportList& report);

// Registers LineTable, FitResult and MapResult in `m`.
void AddResults(py::module_& m);

} // namespace zelt
