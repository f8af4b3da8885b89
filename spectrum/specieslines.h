// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The database lines of the current species that can be measured: those with a transition
// probability above 0, in ascending wavelength, each with whether the level file holds its two
// levels (the measurement reader needs both).

#include "linemodel/modeltypes.h"

#include <string>
#include <vector>

namespace zelt {

class TAtomicData;

struct TSpeciesLine {
    TAtomRecord Data;
    bool HasLevels = false; // exactly one level of the level file has each of its two energies
};

// The lines of the species loaded in `data`; none before a species is loaded.
std::vector<TSpeciesLine> MeasurableLines(const TAtomicData& data);

// "Ar I": the element and ion of the lines, or "the species" when there are none.
std::string SpeciesName(const std::vector<TSpeciesLine>& lines);

// The wavelength as the line table gives it, in the shortest form that reads back as the same
// double ("696.5431"); the measurement reader matches lines by that exact value.
std::string ShortestReal(double value);

// The texts as a list in prose: "a", "a and b", "a, b and c".
std::string Joined(const std::vector<std::string>& texts);

// The wavelengths, each by ShortestReal, as a list in prose: "811.2904, 811.5311 and 826.4521".
std::string WavelengthList(const std::vector<double>& wavelengths);

} // namespace zelt
