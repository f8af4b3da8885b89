// SPDX-License-Identifier: GPL-3.0-or-later
// The zeltfit extension module: the application layer's species, measurements, maps and fits
// for Python, their numbers as NumPy arrays. Every call works on its own TZeltApp, and the
// maps and fits run without the interpreter's lock. The errors (errors.cpp), the results of
// maps and fits (results.cpp) and the species (species.cpp) are units of their own.

#include "app/listing.h"
#include "python/errors.h"
#include "python/results.h"
#include "python/species.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

PYBIND11_MODULE(_zeltfit, m) {
    using namespace zelt;
    m.doc() = "Self-absorption branching-fraction fits of n_1 and T_exc.";
    AddErrors(m);
    AddResults(m);
    AddSpecies(m);
    m.def("batch_files", &BatchFiles, py::arg("paths"),
          "The measurement files of files and folders, as a batch takes them.");
}
