// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit.add_species: a species from the NIST ASD's exports (app/addspecies.h) for Python.

#include <pybind11/pybind11.h>

namespace zelt {

// Defines add_species in `m`: a refused export raises InputError, a file that cannot be read or
// written FileError (python/errors.h).
void DefineAddSpecies(pybind11::module_& m);

} // namespace zelt
