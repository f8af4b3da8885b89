// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit.Species: a species of a configuration file or given by its files, with the
// measurement read last, its maps and fits and the rows of a batch.

#include "python/errors.h"

namespace zelt {

// Registers Species in `m`.
void AddSpecies(py::module_& m);

} // namespace zelt
