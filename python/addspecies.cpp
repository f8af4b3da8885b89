// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/addspecies.h"

#include "app/addspecies.h"
#include "app/datafolders.h"
#include "python/arguments.h"

#include <pybind11/stl.h>

#include <optional>
#include <string>

namespace py = pybind11;

namespace zelt {

namespace {

py::list LeftOut(const std::vector<TAsdLeftOut>& items) {
    py::list list;
    for (const TAsdLeftOut& item : items)
        list.append(py::make_tuple(item.Row, item.What, item.Reason));
    return list;
}

} // namespace

void DefineAddSpecies(py::module_& m) {
    m.def(
        "add_species",
        [](const std::string& name, const py::object& lines, const py::object& levels,
           const py::object& ini, const py::object& mass, std::optional<std::int32_t> boltzmax,
           const py::object& database, bool preview) {
            TConfigStore config(ini.is_none() ? UserConfigFile() : PathText(ini, "ini"));
            const std::optional<double> massValue =
                mass.is_none() ? std::nullopt : std::optional<double>(RealNumber(mass, "mass"));
            // A refused export is an InputError naming its file, line and column, a file that
            // cannot be read or written a FileError (the module's translation of errors).
            const TSpeciesPlan plan =
                PlanSpecies(config, {name, PathText(lines, "lines"), PathText(levels, "levels"),
                                     massValue, boltzmax, PathText(database, "database")});
            if (!preview)
                WriteSpecies(config, plan);
            py::dict result;
            result["section"] = plan.Section;
            result["level_file"] = plan.LevelFile;
            result["line_table"] = plan.LineTable;
            result["mass"] = plan.Mass;
            result["boltzmax"] = plan.Boltzmax;
            result["vacuum"] = plan.Import.Vacuum;
            result["lines"] = plan.Import.Lines.size();
            result["levels"] = plan.Import.Levels.size();
            result["lines_left_out"] = LeftOut(plan.Import.LinesLeftOut);
            result["levels_left_out"] = LeftOut(plan.Import.LevelsLeftOut);
            result["notes"] = plan.Notes;
            result["written"] = !preview;
            return result;
        },
        py::arg("name"), py::kw_only(), py::arg("lines"), py::arg("levels"),
        py::arg("ini") = py::none(), py::arg("mass") = py::none(),
        py::arg("boltzmax") = std::nullopt, py::arg("database") = "", py::arg("preview") = false,
        "Makes the species `name` (\"Kr I\": element and ion stage first) from the NIST ASD's "
        "lines and levels exports (CSV or tab-delimited): its level file and line table in the "
        "database folder (`database`, by default Database of [_Files]) and its section in the "
        "configuration `ini` (by default the user's zeltfit.ini), all three or none. `mass` (u) "
        "defaults to the standard atomic weight, `boltzmax` to the levels below the first "
        "excited configuration. With `preview` nothing is written. Returns what is kept and "
        "left out (row, what, why), the files and the section's values; a refused export raises "
        "InputError naming the file, the line and the column.");
}

} // namespace zelt
