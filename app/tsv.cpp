// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tsv.h"

#include "common/format.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace zelt {

TRowAbscissa RowAbscissa(const TSeriesAxis& axis, std::size_t i) {
    return {axis.X.at(i), axis.Of(i).FromNames, axis.Of(i).Caption};
}

std::vector<std::string> ResultColumns(std::int32_t levels, bool withRegion, bool withX) {
    std::vector<std::string> names = {"n_tot/m-3", "u(n_tot)/m-3"};
    for (std::int32_t j = 1; j <= levels; ++j) {
        names.push_back("n_" + std::to_string(j) + "/m-3");
        names.push_back("u(n_" + std::to_string(j) + ")/m-3");
    }
    names.insert(names.end(), {"T/K", "u(T)/K", "RSS", "Filename", "Procedure"});
    if (withRegion)
        names.insert(names.end(), {"Region/%", "DoF", "RSS limit", "log10 n_1 from", "log10 n_1 to",
                                   "T from/K", "T to/K", "Cut by grid"});
    if (withX)
        names.push_back("x");
    return names;
}

std::string TsvHeader(std::int32_t levels, bool withRegion, bool withX, const std::string& lineEnd,
                      bool withFree) {
    std::vector<std::string> names = ResultColumns(levels, withRegion, withX);
    if (withX)
        names.insert(names.end(), {"x from", "x text"});
    const std::vector<std::string> conditions = ConditionColumns();
    names.insert(names.end(), conditions.begin(), conditions.end());
    const std::vector<std::string> quoted = QuotedColumns(levels);
    names.insert(names.end(), quoted.begin(), quoted.end());
    if (withFree) {
        const std::vector<std::string> free = FreeLevelsColumns(levels);
        names.insert(names.end(), free.begin(), free.end());
    }
    return TsvLine(names, lineEnd);
}

namespace {

std::string Number(long double value) {
    return TsvNumber(static_cast<double>(value));
}

} // namespace

std::string TsvRow(const TResultRow& row, std::int32_t levels, const TMapRegion* region,
                   const TRowAbscissa* x, const std::string& lineEnd, const TFreeLevelsRun* free) {
    const bool numbers = free == nullptr || free->Boltzmann;
    const auto number = [numbers](long double value) {
        return numbers ? Number(value) : std::string();
    };
    const TResultValues& values = row.Values;
    std::vector<std::string> fields = {number(values.Total), number(values.TotalUncertainty)};
    for (std::int32_t j = 0; j < levels; ++j) {
        const bool own = j < values.Densities.size();
        fields.push_back(own ? number(values.Densities[j]) : std::string());
        fields.push_back(own ? number(values.Uncertainties[j]) : std::string());
    }
    fields.insert(fields.end(), {number(values.Temperature), number(values.TemperatureUncertainty),
                                 number(values.RSS), row.FileName, values.Procedure});
    if (region != nullptr) {
        fields.push_back(FloatToStr(region->Level * 100));
        fields.push_back(std::to_string(region->DegreesOfFreedom));
        if (region->Exists)
            fields.insert(fields.end(),
                          {TsvNumber(region->Threshold), TsvNumber(region->FromLogDensity),
                           TsvNumber(region->ToLogDensity), TsvNumber(region->FromTemperature),
                           TsvNumber(region->ToTemperature), region->CutByGrid ? "1" : "0"});
        else
            fields.insert(fields.end(), 6, "");
    }
    if (x != nullptr)
        fields.insert(fields.end(), {TsvNumber(x->X), AbscissaOrigin(*x), x->Text});
    std::vector<std::string> conditions = ConditionFields(row);
    // The judgement of a fit that was not done: S, S/(N-2), nu, nu-NF, the quoted
    // uncertainties, chi2/nu and the flags.
    if (!numbers)
        std::fill_n(conditions.begin(), 8, std::string());
    fields.insert(fields.end(), conditions.begin(), conditions.end());
    const std::vector<std::string> quoted = QuotedFields(row, levels);
    fields.insert(fields.end(), quoted.begin(), quoted.end());
    if (free != nullptr) {
        const std::vector<std::string> more = FreeLevelsFields(*free, levels);
        fields.insert(fields.end(), more.begin(), more.end());
    }
    return TsvLine(fields, lineEnd);
}

std::string ResultsTableText(const std::vector<TResultRow>& rows, const std::string& lineEnd) {
    std::int32_t levels = 0;
    for (const TResultRow& row : rows)
        levels = std::max(levels, row.Values.Densities.size());
    std::string text = TsvHeader(levels, false, false, lineEnd);
    for (const TResultRow& row : rows)
        text += TsvRow(row, levels, nullptr, nullptr, lineEnd);
    return text;
}

} // namespace zelt
