// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/rawspectrum.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace zelt {

namespace {

struct TUnitName {
    TWavelengthUnit Unit;
    double Factor;
    const char* Name;
    std::array<std::string_view, 7> Marks; // lower-case texts that name the unit
};

// Å and µ in UTF-8 and in Windows-1252, and the ASCII spellings.
const std::array<TUnitName, 3> kUnits = {{
    {TWavelengthUnit::Angstrom,
     0.1,
     "Angstrom",
     {"\xc3\x85", "\xc3\xa5", "\xc5", "\xe5", "angstrom", "[a]", "(a)"}},
    {TWavelengthUnit::Micrometre,
     1000,
     "micrometres",
     {"\xc2\xb5m", "\xb5m", "\xce\xbcm", "[um]", "(um)", "micron", "micrometer"}},
    {TWavelengthUnit::Nanometre, 1, "nm", {"nm", "nanomet", "", "", "", "", ""}},
}};

const TUnitName* UnitNamedIn(const std::string& lower) {
    for (const TUnitName& unit : kUnits)
        for (const std::string_view mark : unit.Marks)
            if (!mark.empty() && lower.find(mark) != std::string::npos)
                return &unit;
    return nullptr;
}

// The detector's maximum as a header line names it: a line about saturation, the maximum or
// full-scale counts, and the first number after its ":" or "=".
double StatedMaximum(const TDelimitedTable& table) {
    for (const std::string& line : table.Text) {
        const std::string lower = LowerCase(line);
        const bool names =
            lower.find("saturat") != std::string::npos ||
            lower.find("full scale") != std::string::npos ||
            ((lower.find("max") != std::string::npos) && lower.find("count") != std::string::npos);
        const std::size_t colon = line.find_first_of(":=");
        if (!names || colon == std::string::npos)
            continue;
        std::size_t start = line.find_first_of("0123456789", colon);
        if (start == std::string::npos)
            continue;
        std::size_t end = line.find_first_not_of("0123456789.", start);
        double value = 0;
        if (TryStrToFloat(std::string_view(line).substr(start, end - start), value) && value > 0)
            return value;
    }
    return 0;
}

} // namespace

double WavelengthFactor(const TDelimitedTable& table, std::size_t column, TWavelengthUnit unit,
                        std::string& name) {
    const TUnitName* found = nullptr;
    if (unit != TWavelengthUnit::FromFile) {
        found = &*std::find_if(kUnits.begin(), kUnits.end(),
                               [unit](const TUnitName& u) { return u.Unit == unit; });
    } else {
        std::string title;
        if (column < table.Names.size())
            title += LowerCase(table.Names[column]);
        if (column < table.Units.size())
            title += " " + LowerCase(table.Units[column]);
        found = UnitNamedIn(title);
        for (auto line = table.Text.begin(); !found && line != table.Text.end(); ++line) {
            const std::string lower = LowerCase(*line);
            if (lower.find("wave") != std::string::npos ||
                lower.find("lambda") != std::string::npos)
                found = UnitNamedIn(lower);
        }
    }
    if (found == nullptr) {
        name = "nm, as no unit is named,";
        return 1;
    }
    name = found->Name;
    return found->Factor;
}

TRawSpectrum SpectrumFromTable(const TDelimitedTable& table, const TSpectrumReadOptions& options,
                               std::size_t minRows) {
    const std::string& fileName = table.FileName;
    const std::size_t wavelengthColumn =
        ChooseColumn(table, options.WavelengthColumn, {"wave", "lambda", "wl"}, 0, "wavelength");
    const std::size_t countsColumn = ChooseColumn(
        table, options.CountsColumn, {"sample", "counts", "count", "intensity", "signal", "scope"},
        wavelengthColumn == 0 ? 1 : 0, "counts");
    std::size_t darkColumn = table.Columns.size();
    if (LowerCase(options.DarkColumn) != "none") {
        darkColumn = options.DarkColumn.empty()
                         ? FindTitledColumn(table, {"dark"})
                         : ChooseColumn(table, options.DarkColumn, {}, 0, "dark");
        if (darkColumn == countsColumn || darkColumn == wavelengthColumn)
            darkColumn = table.Columns.size();
    }
    const bool dark = darkColumn < table.Columns.size();
    std::string unitName;
    const double factor = WavelengthFactor(table, wavelengthColumn, options.Unit, unitName);

    const std::size_t rows = table.Rows();
    if (rows < minRows)
        throw EInOutError(Format("File \"%s\" holds %d rows of numbers; %d or more are needed.",
                                 {fileName, rows, minRows}));
    TRawSpectrum spectrum;
    spectrum.FileName = fileName;
    spectrum.Wavelengths.resize(rows);
    spectrum.Counts.resize(rows);
    spectrum.Raw.resize(rows);
    // Spectrometers write their pixels in either direction; the spectrum runs upwards.
    const bool descending = table.Columns[wavelengthColumn][0] > table.Columns[wavelengthColumn][1];
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t from = descending ? rows - 1 - r : r;
        const double wavelength = table.Columns[wavelengthColumn][from] * factor;
        const auto where = [&] {
            return Format("File \"%s\", line %d: ", {fileName, table.Lines[from]});
        };
        if (!(wavelength > 0))
            throw EInOutError(where() + "the wavelength is not positive.");
        if (r > 0 && !(wavelength > spectrum.Wavelengths[r - 1]))
            throw EInOutError(where() + "the wavelengths neither rise nor fall steadily here.");
        spectrum.Wavelengths[r] = wavelength;
        spectrum.Raw[r] = table.Columns[countsColumn][from];
        spectrum.Counts[r] = spectrum.Raw[r] - (dark ? table.Columns[darkColumn][from] : 0);
    }
    spectrum.StatedMaximum = StatedMaximum(table);
    spectrum.Description =
        Format("%s; wavelengths in %s from %s, counts from %s%s; %d pixels from %.3f to %.3f nm",
               {table.Layout(), unitName, table.ColumnName(wavelengthColumn),
                table.ColumnName(countsColumn),
                dark ? " minus the dark of " + table.ColumnName(darkColumn) : std::string(), rows,
                spectrum.Wavelengths.front(), spectrum.Wavelengths.back()});
    return spectrum;
}

TRawSpectrum ReadSpectrum(const std::string& fileName, const TSpectrumReadOptions& options) {
    return SpectrumFromTable(ReadDelimited(fileName), options);
}

} // namespace zelt
