// SPDX-License-Identifier: GPL-3.0-or-later
// The zeltfit extension module: the application layer's species, measurements, maps and fits
// for Python, their numbers as NumPy arrays. Every call works on its own TZeltApp, and the
// maps and fits run without the interpreter's lock. The errors (errors.cpp), the results of
// maps and fits (results.cpp), the species (species.cpp) and the import of a species
// (addspecies.cpp) are units of their own.

#include "app/listing.h"
#include "common/safefile.h"
#include "common/version.h"
#include "python/addspecies.h"
#include "python/arguments.h"
#include "python/errors.h"
#include "python/results.h"
#include "python/species.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

PYBIND11_MODULE(_zeltfit, m) {
    using namespace zelt;
    m.doc() = "Self-absorption branching-fraction fits of n_1 and T_exc.";
    m.attr("__version__") = kProgramVersion;
    AddErrors(m);
    AddResults(m);
    AddSpecies(m);
    DefineAddSpecies(m);
    m.def("batch_files", &BatchFiles, py::arg("paths"),
          "The measurement files of files and folders (a list of str), as a batch takes them.");
    m.def(
        "_save_text",
        [](const py::object& path, const std::string& text) {
            const std::string file = PathText(path, "path");
            py::gil_scoped_release release;
            SaveFile(file, text);
        },
        py::arg("path"), py::arg("text"),
        "Writes `text` (UTF-8) to the file `path` as the program writes every file: in full or "
        "not at all.");
}
