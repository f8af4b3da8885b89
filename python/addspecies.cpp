// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/addspecies.h"

#include "app/addspecies.h"
#include "app/application.h"
#include "app/datafolders.h"
#include "common/errors.h"
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

void DefineAddSpecies(py::module_& m, const py::object& inputError, const py::object& fileError) {
    m.def(
        "add_species",
        [inputError, fileError](const std::string& name, const py::object& lines,
                                const py::object& levels, const py::object& ini,
                                const py::object& mass, std::optional<std::int32_t> boltzmax,
                                const py::object& database, bool preview) {
            TConfigStore config(ini.is_none() ? UserConfigFile() : PathText(ini, "ini"));
            const std::optional<double> massValue =
                mass.is_none() ? std::nullopt : std::optional<double>(RealNumber(mass, "mass"));
            TSpeciesPlan plan;
            try {
                plan =
                    PlanSpecies(config, {name, PathText(lines, "lines"), PathText(levels, "levels"),
                                         massValue, boltzmax, PathText(database, "database")});
                if (!preview)
                    WriteSpecies(config, plan);
            } catch (const EInOutError& error) {
                // A refused export names its file, line and column; the rest are files that
                // cannot be read or written.
                const std::string text = MessageText(error.message());
                PyErr_SetString((text.starts_with("File \"") ? inputError : fileError).ptr(),
                                text.c_str());
                throw py::error_already_set();
            } catch (const Exception& error) {
                PyErr_SetString(inputError.ptr(), MessageText(error.message()).c_str());
                throw py::error_already_set();
            }
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
