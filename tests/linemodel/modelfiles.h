// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and species for the line model tests: a temporary folder, level files and line tables
// in the program's layouts, and a small species whose numbers are easy to follow.

#include "common/format.h"
#include "linemodel/atomicdata.h"

#include "tests/common/tempfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zelt::test {

inline const std::string kLevelHeader =
    "levels\r\nsource\r\nConfiguration          Term         J  E\r\n";

// One level line: configuration in columns 1 to 23, term in 24 to 36, then J and the energy.
inline std::string LevelLine(const std::string& configuration, const std::string& term, double j,
                             const std::string& energy) {
    return Format("%-23s%-13s%4.1f  %s\r\n", {configuration, term, j, energy});
}

inline const std::string kTableHeader = "h1\r\nh2\r\nh3\r\nh4\r\nh5\r\n";

// One line of an atomic table: wavelength (nm) and energies exactly as given, A in 1e8 s-1.
inline std::string TableLine(const std::string& wavelength, const std::string& aki,
                             const std::string& eLower, const std::string& eUpper, int gi, int gk,
                             const std::string& text2 = "a-b") {
    return Format("X  I    %s 0 %s 0 0 -1.00 B    %s %s 1 2 %d %d %-40s %-16s %-4s %-14s %-8s\r\n",
                  {wavelength, aki, eLower, eUpper, gi, gk, "lower-upper", text2, "", "", "ref"});
}

// A small species X I: the reference level a (0 eV), a second low level b (0.1 eV), and two
// upper levels c (3 eV) and d (3.2 eV). Lines 500.10 (c -> a), 520.20 (c -> b), 480.30 (d -> a),
// 490.40 (d -> b) and 600.00 (d -> a, A = 0).
class SmallSpecies {
public:
    SmallSpecies() {
        levelsFile = folder.Write("X_levels.txt", kLevelHeader + LevelLine("a", "1S", 2, "0.0") +
                                                      LevelLine("b", "3P", 1, "0.1") +
                                                      LevelLine("c", "3D", 1, "3.0") +
                                                      LevelLine("d", "3F", 2, "3.2"));
        folder.Write("X_I.txt", kTableHeader + TableLine("500.10", "0.5", "0.0", "3.0", 5, 3) +
                                    TableLine("520.20", "0.2", "0.1", "3.0", 3, 3) +
                                    TableLine("480.30", "1.0", "0.0", "3.2", 5, 5) +
                                    TableLine("490.40", "0.3", "0.1", "3.2", 3, 5) +
                                    TableLine("600.00", "0", "0.0", "3.2", 5, 5));
    }
    // Loads the species into `data`.
    void Load(TAtomicData& data) const { data.ChangeSpecies(levelsFile, folder.Folder(), "X,I"); }
    // A measurement file of "wavelength intensity" lines.
    std::string Measurement(const std::string& content) const {
        return folder.Write("measured.txt", content);
    }

    TempFolder folder;
    std::string levelsFile;
};

// Collects the messages of an orderly stop.
struct MessageLog {
    std::vector<std::string> texts;
    TShowMessage Callback() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

// The model's inputs: n_1 = 10^logDensity m-3, T_exc, gas temperature, path, argon's mass.
inline TParamVector ModelParams(long double logDensity, long double temperature,
                                long double pathLength = 0.05, long double boltzmannLevels = 4,
                                long double gasTemperature = 400) {
    TParamVector p;
    Slot(p, LogDensity) = logDensity;
    Slot(p, Temperature) = temperature;
    Slot(p, GasTemperature) = gasTemperature;
    Slot(p, PathLength) = pathLength;
    Slot(p, AtomMass) = 39.948L * 1.6605402e-27L;
    Slot(p, BoltzmannLevels) = boltzmannLevels;
    return p;
}

inline std::string DemoFile(const std::string& name) {
    return std::string(ZELT_SOURCE_DIR) + "/data/" + name;
}

// The demo species argon I as the window loads it.
inline void LoadArgon(TAtomicData& data) {
    data.ChangeSpecies(DemoFile("Ar_levels.txt"), std::string(ZELT_SOURCE_DIR) + "/data/", "Ar,I");
}

// A species made up from `seed`, straight into the model's arrays: 5 to 14 levels with energies
// ascending, 3 to 32 lines from the upper levels to the six lowest (one in ten with A = 0),
// their fractions measured from random intensities. Returns the model's inputs for it.
inline TParamVector RandomSpecies(TAtomicData& data, std::uint64_t seed) {
    TUniformRandom random(seed);
    const auto below = [&](int n) { return static_cast<int>(random.Next() * n); };
    data.Levels.clear();
    data.SelectedLines.clear();
    const int levels = 5 + below(10);
    double energy = 0;
    for (int j = 0; j < levels; ++j) {
        TLevel level;
        level.J = 0.5 * below(7);
        level.G = 2 * level.J + 1;
        level.Energy = energy;
        energy += j < 4 ? 0.05 + 0.2 * random.Next() : 0.5 + random.Next();
        data.Levels.push_back(level);
    }
    const int lines = 3 + below(30);
    for (int i = 0; i < lines; ++i) {
        TLine line;
        line.UpperLevel = 4 + below(levels - 4);
        line.LowerLevel = below(std::min(line.UpperLevel, 6));
        line.Data.Wavelength = 300 + 600 * random.Next();
        line.Data.Aki = below(10) == 0 ? 0 : std::pow(10, 5 + 3 * random.Next());
        line.Data.Gi = 1 + below(7);
        line.Data.Gk = 1 + below(7);
        line.Data.EUpper = data.Levels[line.UpperLevel].Energy;
        line.Intensity = 1000 * random.Next();
        data.SelectedLines.push_back(line);
    }
    data.CalcBranchingFractions();
    return ModelParams(0, 0, std::pow(10, -2 + 2 * random.Next()), 1 + below(5),
                       200 + 800 * random.Next());
}

// The message of the exception that `action` raises, or "no error".
template <class E, class Action> std::string ErrorText(Action&& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "no error";
}

} // namespace zelt::test
