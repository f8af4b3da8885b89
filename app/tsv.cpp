#include "app/tsv.h"

#include "common/format.h"

#include <charconv>
#include <vector>

namespace zelt {

std::string TsvField(const std::string& field) {
    if (field.find_first_of("\t\r\n\"") == std::string::npos)
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

std::string TsvHeader(std::int32_t levels, bool withRegion, bool withX) {
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
    return TsvLine(names);
}

std::string TsvRow(const TResultValues& values, const std::string& fileName,
                   const TMapRegion* region, std::optional<double> x) {
    const auto number = [](long double value) { return TsvNumber(static_cast<double>(value)); };
    std::vector<std::string> fields = {number(values.Total), number(values.TotalUncertainty)};
    for (std::int32_t j = 0; j < values.Densities.size(); ++j) {
        fields.push_back(number(values.Densities[j]));
        fields.push_back(number(values.Uncertainties[j]));
    }
    fields.insert(fields.end(), {number(values.Temperature), number(values.TemperatureUncertainty),
                                 number(values.RSS), fileName, values.Procedure});
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
    if (x)
        fields.push_back(TsvNumber(*x));
    return TsvLine(fields);
}

} // namespace zelt
