// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit.add_species: a species from the NIST ASD's exports (app/addspecies.h) for Python.

#include <pybind11/pybind11.h>

namespace zelt {

// Defines add_species in `m`; refusals raise `inputError`, files that cannot be read or written
// `fileError`.
void DefineAddSpecies(pybind11::module_& m, const pybind11::object& inputError,
                      const pybind11::object& fileError);

} // namespace zelt
