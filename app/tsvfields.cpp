// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tsvfields.h"

#include <charconv>

namespace zelt {

std::string TsvField(const std::string& field) {
    // A quote inside a field is read as it stands; only one that opens the field would be taken
    // for quoting.
    if (field.find_first_of("\t\r\n") == std::string::npos && !field.starts_with('"'))
        return field;
    std::string quoted = "\"";
    for (const char c : field)
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    return quoted + "\"";
}

std::string TsvLine(const std::vector<std::string>& fields, const std::string& lineEnd) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i)
        row.append(i == 0 ? "" : "\t").append(TsvField(fields[i]));
    return row + lineEnd;
}

std::string TsvNumber(double value) {
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 16).ptr;
    return std::string(buffer, end);
}

const char* AbscissaOrigin(const TRowAbscissa& x) {
    return x.FromNames ? "file names" : "position";
}

std::vector<std::string> FreeLevelsColumns(std::int32_t levels) {
    std::vector<std::string> names;
    for (std::int32_t j = 1; j <= levels; ++j) {
        names.push_back("free n_" + std::to_string(j) + "/m-3");
        names.push_back("free u(n_" + std::to_string(j) + ")/m-3");
    }
    names.insert(names.end(), {"free RSS", "F", "LR", "p"});
    return names;
}

namespace {

std::string Number(long double value) {
    return TsvNumber(static_cast<double>(value));
}

std::string NumberOrNd(const std::optional<long double>& value) {
    return value ? Number(*value) : "n.d.";
}

} // namespace

std::vector<std::string> FreeLevelsFields(const TFreeLevelsRun& run, std::int32_t levels) {
    std::vector<std::string> fields;
    for (std::int32_t j = 0; j < levels; ++j) {
        if (static_cast<std::size_t>(j) >= run.Free.Levels.size()) {
            fields.insert(fields.end(), 2, "");
            continue;
        }
        const TFreeLevel& level = run.Free.Levels[static_cast<std::size_t>(j)];
        fields.push_back(level.Determined ? Number(level.Density) : "n.d.");
        fields.push_back(level.Determined ? NumberOrNd(level.Uncertainty) : "n.d.");
    }
    fields.push_back(Number(run.Free.Fit.SumOfSquares));
    const bool tested = run.Comparison && run.Comparison->Applicable;
    const bool given = tested && run.Comparison->Noise == TNoiseModel::Given;
    fields.push_back(tested && !given ? Number(run.Comparison->Statistic) : "");
    fields.push_back(given ? Number(run.Comparison->Statistic) : "");
    fields.push_back(tested ? Number(run.Comparison->PValue) : "");
    return fields;
}

} // namespace zelt
