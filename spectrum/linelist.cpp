// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/linelist.h"

#include "common/errors.h"
#include "common/format.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace zelt {

namespace {

// "772.4207 (+0.0207 nm)": a candidate and its distance from the given wavelength.
std::string Candidate(const TSpeciesLine& line, double given) {
    const double distance = line.Data.Wavelength - given;
    return ShortestReal(line.Data.Wavelength) + " (" + (distance < 0 ? "-" : "+") +
           Format("%.4f nm)", {std::abs(distance)});
}

std::size_t UncertaintyColumn(const TDelimitedTable& table, const TLineListOptions& options,
                              std::size_t wavelength, std::size_t intensity,
                              std::vector<std::string>& notes) {
    const std::size_t none = table.Columns.size();
    if (LowerCase(options.UncertaintyColumn) == "none")
        return none;
    if (!options.UncertaintyColumn.empty())
        return ChooseColumn(table, options.UncertaintyColumn, {}, 0, "uncertainty");
    for (std::size_t c = 0; c < table.Names.size(); ++c)
        if (LowerCase(TrimBlanks(table.Names[c])) == "u")
            return c;
    const std::size_t titled =
        FindTitledColumn(table, {"uncert", "u(", "u_", "error", "err", "sigma", "std"});
    if (titled < none)
        return titled;
    if (table.Columns.size() == 3 && wavelength != 2 && intensity != 2) {
        notes.push_back("The third column is taken as the intensities' standard uncertainties.");
        return 2;
    }
    return none;
}

} // namespace

TLineList MatchLineList(const TDelimitedTable& table, const std::vector<TSpeciesLine>& lines,
                        const TLineListOptions& options) {
    TLineList result;
    const std::size_t wavelengthColumn =
        ChooseColumn(table, options.WavelengthColumn, {"wave", "lambda", "wl"}, 0, "wavelength");
    const std::size_t intensityColumn =
        ChooseColumn(table, options.IntensityColumn, {"int", "counts", "count", "signal", "area"},
                     wavelengthColumn == 0 ? 1 : 0, "intensity");
    const std::size_t uncertaintyColumn =
        UncertaintyColumn(table, options, wavelengthColumn, intensityColumn, result.Notes);
    const bool uncertain = uncertaintyColumn < table.Columns.size();
    std::string unit;
    const double factor = WavelengthFactor(table, wavelengthColumn, options.Unit, unit);
    const std::string species = SpeciesName(lines);
    const std::string tolerance = ShortestReal(options.Tolerance);

    std::vector<std::string> problems;
    std::map<double, int> matched; // database wavelength -> the file line that matched it
    for (std::size_t r = 0; r < table.Rows(); ++r) {
        const double given = table.Columns[wavelengthColumn][r] * factor;
        const std::string where = Format("line %d: %s nm ", {table.Lines[r], ShortestReal(given)});
        const auto first =
            std::lower_bound(lines.begin(), lines.end(), given - options.Tolerance,
                             [](const TSpeciesLine& l, double x) { return l.Data.Wavelength < x; });
        auto end = first;
        while (end != lines.end() && end->Data.Wavelength <= given + options.Tolerance)
            ++end;
        if (first == end) {
            std::string nearest;
            if (first != lines.begin())
                nearest = Candidate(*(first - 1), given);
            if (first != lines.end())
                nearest += (nearest.empty() ? "" : " and ") + Candidate(*first, given);
            problems.push_back(where + "matches no line of " + species + " within " + tolerance +
                               " nm" + (nearest.empty() ? "" : "; the nearest: " + nearest));
            continue;
        }
        if (end - first > 1) {
            std::string candidates;
            for (auto l = first; l != end; ++l)
                candidates += (l == first ? "" : ", ") + Candidate(*l, given);
            problems.push_back(where + "is ambiguous within " + tolerance + " nm: " + candidates);
            continue;
        }
        const double wavelength = first->Data.Wavelength;
        const std::string line = "is the line at " + ShortestReal(wavelength) + " nm";
        if (!first->HasLevels) {
            problems.push_back(where + line +
                               ", whose upper or lower level is not in the level file");
            continue;
        }
        if (const auto twice = matched.find(wavelength); twice != matched.end()) {
            problems.push_back(where + line + ", which line " + std::to_string(twice->second) +
                               " matches already");
            continue;
        }
        matched[wavelength] = table.Lines[r];
        const double uncertainty = uncertain ? table.Columns[uncertaintyColumn][r] : 0;
        if (uncertain && !(uncertainty > 0)) {
            problems.push_back(where + "has the uncertainty " + ShortestReal(uncertainty) +
                               ", which is not positive");
            continue;
        }
        // Photon counts over the wavelength give the program's energies (integration.h).
        const double per = options.Intensities == TIntensityUnit::Photons ? wavelength : 1;
        result.Lines.push_back(
            {wavelength, table.Columns[intensityColumn][r] / per, uncertainty / per});
        result.Matches.push_back({table.Lines[r], given});
    }
    if (!problems.empty()) {
        std::string message = Format("File \"%s\": %d of its %d lines are refused:",
                                     {table.FileName, problems.size(), table.Rows()});
        for (const std::string& problem : problems)
            message += "\n" + problem + ".";
        throw Exception(message);
    }
    result.Notes.insert(
        result.Notes.begin(),
        Format("%d lines of \"%s\" (%s; wavelengths in %s from %s, intensities from %s) matched "
               "to the lines of %s within %s nm.",
               {result.Lines.size(), table.FileName, table.Layout(), unit,
                table.ColumnName(wavelengthColumn), table.ColumnName(intensityColumn), species,
                tolerance}));
    result.Notes.push_back(options.Intensities == TIntensityUnit::Photons
                               ? "Intensities: photon counts over the wavelength in nm."
                               : "Intensities: energies, taken as they are.");
    return result;
}

std::string LineListTable(const TLineList& list) {
    std::string table = "file_line\tgiven_nm\twavelength_nm\tintensity\tu_intensity\r\n";
    for (std::size_t i = 0; i < list.Lines.size(); ++i) {
        const TMeasuredLine& line = list.Lines[i];
        table += std::to_string(list.Matches[i].FileLine) + "\t" +
                 ShortestReal(list.Matches[i].Given) + "\t" + ShortestReal(line.Wavelength) + "\t" +
                 ShortestReal(line.Intensity) + "\t" + ShortestReal(line.Uncertainty) + "\r\n";
    }
    return table;
}

} // namespace zelt
