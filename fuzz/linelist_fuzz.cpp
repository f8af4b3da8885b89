// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a user's line list, read as a delimited table and matched
// to the lines of the demo argon species (loaded once at start-up). The match ends with lines
// or an error with a message; every matched line is a database line with its levels, within
// the tolerance of the listed wavelength and matched once; and the measurement file and the
// table beside it read back as the same lines with their uncertainties.

#include "common/textfile.h"
#include "fuzz/demospecies.h"
#include "spectrum/linelist.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

using namespace zelt;
using namespace zelt::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TDemoLines species;
    static TScratchFolder folder("linelist");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TLineListOptions options;
    TLineList list;
    if (!EndsCalmly(
            [&] { list = MatchLineList(ParseDelimited(bytes, "fuzz"), species.Lines, options); }))
        return 0;
    Require(list.Matches.size() == list.Lines.size(), "matches and lines apart");
    std::set<double> matched;
    for (std::size_t i = 0; i < list.Lines.size(); ++i) {
        const TMeasuredLine& line = list.Lines[i];
        RequireFinite(line.Intensity, "Intensity");
        Require(std::abs(line.Wavelength - list.Matches[i].Given) <= options.Tolerance,
                "a line matched beyond the tolerance");
        Require(matched.insert(line.Wavelength).second, "a line matched twice");
    }
    const std::string measurement = folder.File("list.txt");
    WriteMeasurement(measurement, list.Lines);
    {
        const std::string table = LineListTable(list);
        TTextWriter writer;
        writer.Create(LineTableFor(measurement));
        writer.Write(table);
        writer.Close();
    }
    species.Model.ImportLines(measurement);
    Require(species.Model.SelectedLines.size() == static_cast<std::int32_t>(list.Lines.size()),
            "the measurement file does not read back whole");
    const bool uncertain = !list.Lines.empty() && list.Lines.front().Uncertainty > 0;
    Require(ReadUncertainties(species.Model, measurement) || list.Lines.empty() || !uncertain,
            "the table beside the measurement does not fit it");
    return 0;
}
