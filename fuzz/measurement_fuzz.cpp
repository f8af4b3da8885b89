// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a measurement file, read against the demo argon species
// (its level file and line table, loaded once at start-up) as the window reads a file: the lines,
// then their branching fractions when there are at least two. The read ends with lines or an
// error with a message; every selected line is a database line with its two levels; its
// intensity is finite, and so are its fractions when they were formed without an error.

#include "fuzz/fuzzsupport.h"
#include "linemodel/atomicdata.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace zelt;
using namespace zelt::fuzz;

// The demo species of the source tree, loaded once as the program loads a species.
struct TDemoSpecies {
    std::vector<std::string> messages;
    TAtomicData model{[this](const std::string& text) { messages.push_back(text); }};

    TDemoSpecies() {
        const std::string database = ZELT_SOURCE_DIR "/data/";
        model.ChangeSpecies(database + "Ar_levels.txt", database, "Ar,I");
        Require(model.Levels.size() > 0 && model.LineBase->AtomCount() > 0,
                "the demo species is empty");
    }
};

// `computed`: the fractions were formed without an error.
void CheckLine(const TAtomicData& model, const TLine& line, bool computed) {
    const auto& levels = model.Levels;
    Require(line.UpperLevel >= 0 && line.UpperLevel < levels.size() && line.LowerLevel >= 0 &&
                line.LowerLevel < levels.size(),
            "a selected line without its levels");
    Require(levels[line.UpperLevel].Energy == line.Data.EUpper &&
                levels[line.LowerLevel].Energy == line.Data.ELower,
            "a selected line with levels of other energies");
    std::int32_t index = 0;
    std::uint8_t match = 0;
    TAtomRecord found;
    model.LineBase->FindNearest(0, index, line.Data.Wavelength, match, found);
    Require(match == 1, "a selected line that is not in the database");
    RequireFinite(line.Intensity, "Intensity");
    if (computed) {
        RequireFinite(line.BFMeasured, "BFMeasured");
        RequireFinite(line.BFTheory, "BFTheory");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TMemoryFile input("measurement");
    static TDemoSpecies species;
    TAtomicData& model = species.model;
    std::vector<std::string>& messages = species.messages;
    input.Fill(data, size);

    messages.clear();
    const bool computed = EndsCalmly([&] {
        model.ImportLines(input.Path());
        if (model.SelectedLines.size() >= 2)
            model.CalcBranchingFractions();
    });
    Require(messages.size() <= 1, "more than one message");
    for (const std::string& text : messages)
        Require(text.starts_with("Wavelength ") &&
                    text.ends_with(" was not found. Import was stopped. Check used specie or "
                                   "wavelength precision."),
                "the message \"" + text + "\"");
    for (const TLine& line : model.SelectedLines)
        CheckLine(model, line, computed);
    return 0;
}
