// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/measurement.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "linemodel/atomicdata.h"
#include "spectrum/delimited.h"
#include "spectrum/specieslines.h"

#include <algorithm>
#include <map>

namespace zelt {

namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

std::string MeasurementText(const std::vector<TMeasuredLine>& lines) {
    std::string text;
    for (const TMeasuredLine& line : lines)
        text += ShortestReal(line.Wavelength) + " " + ShortestReal(line.Intensity) + "\r\n";
    return text;
}

void WriteMeasurement(const std::string& fileName, const std::vector<TMeasuredLine>& lines) {
    SaveFile(fileName, MeasurementText(lines));
}

std::string LineTableFor(const std::string& measurementFile) {
    std::string stem = measurementFile;
    if (LowerCase(stem).ends_with(".txt"))
        stem.resize(stem.size() - 4);
    return stem + ".lines.tsv";
}

bool SetUncertainties(TAtomicData& data, const std::vector<TMeasuredLine>& rows) {
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = 0;
    std::map<double, const TMeasuredLine*> byWavelength;
    for (const TMeasuredLine& row : rows)
        if (row.Uncertainty > 0)
            byWavelength[row.Wavelength] = &row;
    for (const TLine& line : data.SelectedLines) {
        const auto row = byWavelength.find(line.Data.Wavelength);
        if (row == byWavelength.end() || row->second->Intensity != line.Intensity)
            return false;
    }
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = byWavelength.at(line.Data.Wavelength)->Uncertainty;
    return true;
}

bool ReadUncertainties(TAtomicData& data, const std::string& measurementFile) {
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = 0;
    // The table is optional: one that cannot be read (none, a folder, a pipe, too large) gives no
    // uncertainties.
    std::string bytes;
    try {
        bytes = ReadFileBytes(LineTableFor(measurementFile), kTableLimit);
    } catch (const EInOutError&) {
        return false;
    }
    std::vector<TMeasuredLine> rows;
    std::size_t wavelength = 0, intensity = 0, uncertainty = 0;
    bool titled = false;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::vector<std::string_view> fields =
            SplitTabs(TrimBlanks(std::string_view(bytes).substr(start, end - start)));
        start = end + 1;
        if (!titled) {
            const auto column = [&](std::string_view title) {
                return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), title) -
                                                fields.begin());
            };
            wavelength = column("wavelength_nm");
            intensity = column("intensity");
            uncertainty = column("u_intensity");
            if (std::max({wavelength, intensity, uncertainty}) >= fields.size())
                return false;
            titled = true;
            continue;
        }
        TMeasuredLine row;
        if (std::max({wavelength, intensity, uncertainty}) < fields.size() &&
            TryStrToFloat(fields[wavelength], row.Wavelength) &&
            TryStrToFloat(fields[intensity], row.Intensity) &&
            TryStrToFloat(fields[uncertainty], row.Uncertainty))
            rows.push_back(row);
    }
    return SetUncertainties(data, rows);
}

} // namespace zelt
