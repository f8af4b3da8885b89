// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Add species": a species made from the NIST ASD's lines and levels exports
// (textinput/asdexport.h). The level file and the line table go into the database folder and
// the species section into zeltfit.ini, all three as one write: either every one is there
// afterwards or none, and the rest of zeltfit.ini keeps its bytes.

#include "app/configstore.h"
#include "textinput/asdexport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// What the user asks for. Name is the species section, its first two words the element and the
// ion stage ("Kr I", "Kr I trace"); the files are named after it with "_" for its blanks:
// Kr_I_levels.txt and the line table Kr_I.txt (Lines=Kr,I). Without Mass the element's
// standard atomic weight is used, without Boltzmax the levels below the first excited
// configuration; an empty Database is the configuration's database folder.
struct TAddSpeciesRequest {
    std::string Name;
    std::string LinesFile, LevelsFile;
    std::optional<double> Mass;
    std::optional<std::int32_t> Boltzmax;
    std::string Database;
};

// The species as it will be written: the import, the files and the section's keys, and what
// was done, one sentence each (UTF-8).
struct TSpeciesPlan {
    TAsdImport Import;
    std::string Section;
    std::string LevelFile, LineTable; // full paths
    std::string Levels, Lines;        // the section's values: "Kr_I_levels.txt", "Kr,I"
    // The folder written as Database of [_Files], where the configuration names none; else empty.
    std::string Database;
    double Mass = 0;
    std::int32_t Boltzmax = 0;
    std::vector<std::string> Notes;
};

// Reads the exports and plans the species, writing nothing; raises the import's errors and
// refuses a name that is not an element and a stage, a section or file that exists already and
// a mass or Boltzmax that cannot be.
TSpeciesPlan PlanSpecies(const TConfigStore& config, const TAddSpeciesRequest& request);

// Writes the plan: the two files and the section as one. Raises EInOutError when they cannot
// be written, and Exception with the store's problem when the configuration may not be written;
// nothing is written then.
void WriteSpecies(TConfigStore& config, const TSpeciesPlan& plan);

// The standard atomic weight of an element in u (IUPAC 2013, the conventional value where the
// weight is an interval), or none for a symbol without one.
std::optional<double> StandardAtomicWeight(const std::string& symbol);

} // namespace zelt
