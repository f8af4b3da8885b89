// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo argon species of the source tree for the fuzz targets of the import: its level file
// and line table loaded once, as the program loads a species, and its lines that can be
// measured.

#include "fuzz/fuzzsupport.h"
#include "linemodel/atomicdata.h"
#include "spectrum/specieslines.h"

#include <string>
#include <vector>

namespace zelt::fuzz {

struct TDemoLines {
    TAtomicData Model{nullptr};
    std::vector<TSpeciesLine> Lines;

    TDemoLines() {
        const std::string database = ZELT_SOURCE_DIR "/data/";
        Model.ChangeSpecies(database + "Ar_levels.txt", database, "Ar,I");
        Lines = MeasurableLines(Model);
        Require(Lines.size() == 29, "the demo species has not its 29 lines");
    }
};

} // namespace zelt::fuzz
