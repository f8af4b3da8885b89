// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/specieslines.h"

#include "common/errors.h"
#include "linemodel/atomicdata.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace zelt {

namespace {

bool OneLevelAt(const TCheckedVector<TLevel>& levels, double energy) {
    return std::count_if(levels.begin(), levels.end(),
                         [energy](const TLevel& l) { return l.Energy == energy; }) == 1;
}

} // namespace

std::vector<TSpeciesLine> MeasurableLines(const TAtomicData& data) {
    std::vector<TSpeciesLine> lines;
    if (!data.LineBase)
        return lines;
    TAtomRecord record;
    for (std::int32_t i = 0; i < data.LineBase->AtomCount(); ++i) {
        data.LineBase->GetAtom(i, record);
        if (record.Aki > 0)
            lines.push_back({record, OneLevelAt(data.Levels, record.EUpper) &&
                                         OneLevelAt(data.Levels, record.ELower)});
    }
    // The table is sorted already; a stable sort keeps its order of equal wavelengths.
    std::stable_sort(lines.begin(), lines.end(), [](const TSpeciesLine& a, const TSpeciesLine& b) {
        return a.Data.Wavelength < b.Data.Wavelength;
    });
    return lines;
}

std::string SpeciesName(const std::vector<TSpeciesLine>& lines) {
    if (lines.empty())
        return "the species";
    return lines.front().Data.Element + " " + lines.front().Data.Ion;
}

std::string ShortestReal(double value) {
    if (!std::isfinite(value))
        throw EInvalidOp("A value that is not a finite number cannot be written.");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string list;
    for (std::size_t i = 0; i < texts.size(); ++i)
        list += (i == 0 ? "" : i + 1 == texts.size() ? " and " : ", ") + texts[i];
    return list;
}

std::string WavelengthList(const std::vector<double>& wavelengths) {
    std::vector<std::string> texts;
    for (const double wavelength : wavelengths)
        texts.push_back(ShortestReal(wavelength));
    return Joined(texts);
}

} // namespace zelt
