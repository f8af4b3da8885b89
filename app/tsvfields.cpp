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

} // namespace zelt
