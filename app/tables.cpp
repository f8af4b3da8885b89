// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tables.h"

#include "app/tsvfields.h"
#include "common/format.h"

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

// The parts of "lower-upper" before and after its first "-"; false when there is none.
bool SplitState(const std::string& text, std::string& lower, std::string& upper) {
    const auto dash = text.find('-');
    if (dash == std::string::npos)
        return false;
    lower = text.substr(0, dash);
    upper = text.substr(dash + 1);
    return true;
}

// The intensity as the table shows it: in the shortest general form, or, for a line with an
// uncertainty (an imported measurement), to the decimal of the uncertainty's second significant
// digit where that is shorter: 38211.3728371923 +- 190 shows as 38211.
std::string IntensityText(const TLine& line) {
    std::string text = FloatToStr(line.Intensity);
    const double u = line.IntensityUncertainty;
    if (u > 0 && std::isfinite(u)) {
        const int decimals = std::max(0, 1 - static_cast<int>(std::floor(std::log10(u))));
        const std::string rounded = Format("%." + std::to_string(decimals) + "f", {line.Intensity});
        if (rounded.size() < text.size())
            text = rounded;
    }
    return text;
}

} // namespace

TTableRow TableTitles() {
    return {"Wavelength",   "Intensity",   "BF free",      "BF meas",    "BF fit",
            "Upper energy", "Upper state", "Lower energy", "Lower state"};
}

void StateTexts(const TAtomRecord& record, std::string& upper, std::string& lower) {
    std::string lower1, upper1, lower2, upper2;
    upper.clear();
    lower.clear();
    if (!SplitState(record.Text1, lower1, upper1) || !SplitState(record.Text2, lower2, upper2))
        return;
    upper = Format("%s - %s_%.0f", {upper1, upper2, record.Value5});
    lower = Format("%s - %s_%.0f", {lower1, lower2, record.Value4});
}

TTableRow LineRow(const TLine& line) {
    TTableRow row;
    row[0] = FloatToStr(line.Data.Wavelength);
    row[1] = IntensityText(line);
    row[5] = Format("%.9f", {line.Data.EUpper});
    row[7] = Format("%.9f", {line.Data.ELower});
    StateTexts(line.Data, row[6], row[8]);
    return row;
}

void ShowFractions(const TLine& line, TTableRow& row) {
    row[2] = Format("%.4f", {line.BFTheory});
    row[3] = Format("%.4f", {line.BFMeasured});
    row[4] = Format("%.4f", {line.BFFit});
}

std::vector<TTableRow> LineTable(const TLineSnapshot& lines) {
    std::vector<TTableRow> rows{TableTitles()};
    for (const TLine& line : lines.Lines) {
        rows.push_back(LineRow(line));
        if (lines.Fractions)
            ShowFractions(line, rows.back());
    }
    return rows;
}

std::string TableText(const std::vector<TTableRow>& rows, const std::string& lineEnd) {
    std::string text;
    for (const TTableRow& row : rows) {
        for (const std::string& cell : row)
            text.append("\t").append(cell);
        text += lineEnd;
    }
    return text;
}

std::string TableTsvText(const std::vector<TTableRow>& rows, const std::string& lineEnd) {
    std::string text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TTableRow& row =
            r == 0 ? TTableRow{"Wavelength/nm", "Intensity",       "BF free",
                               "BF meas",       "BF fit",          "Upper energy/eV",
                               "Upper state",   "Lower energy/eV", "Lower state"}
                   : rows[r];
        text += TsvLine(std::vector<std::string>(row.begin(), row.end()), lineEnd);
    }
    return text;
}

std::string MapText(const TCheckedVector<TCheckedVector<double>>& map, const TMapRange& range,
                    const std::string& lineEnd) {
    std::string text = "T/K \\ log10 n_1";
    const int columns = map.empty() ? 0 : map[0].size();
    for (const double logDensity : GridValues(range.FromLogDensity, range.LogDensityStep, columns))
        text.append("\t").append(FloatToStr(logDensity));
    text += lineEnd;
    const TCheckedVector<double> temperatures =
        GridValues(range.FromTemperature, range.TemperatureStep, map.size());
    for (int r = 0; r < map.size(); ++r) {
        text += FloatToStr(temperatures[r]);
        for (const double rss : map[r])
            text.append("\t").append(FloatToStr(rss));
        text += lineEnd;
    }
    return text;
}

} // namespace zelt
