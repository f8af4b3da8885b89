// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How often the uncertainties the program asks a user to quote cover the truth: synthetic
// measurements of the demo argon species (demodata.h: the model itself, no part of the fit) with
// relative Gaussian noise on the intensities, fitted as "Fit" fits them with T_exc, counted.
// The coverage test runs a few hundred; zeltfit-coverage measures the table of docs/MODEL.md.

#include "linemodel/atomicdata.h"
#include "linemodel/likelihood.h"

#include <cstdint>
#include <string>

namespace zelt {

// One case of the simulation.
struct TCoverageCase {
    double Density = 5e16;      // m-3, the true n_1 (T_exc 1500 K)
    double Noise = 0.02;        // relative standard deviation of an intensity
    bool Uncertainties = false; // u(I) given (as NAME.lines.tsv gives them), else estimated
    int Realisations = 100;
};

// What the realisations of a case gave. "Covers" counts the realisations whose interval holds
// the truth.
struct TCoverageCounts {
    int Fits = 0;
    // The quoted result: n_1 +- u(n_1), T_exc +- u(T_exc), n_tot +- u(n_tot), the profile interval
    // of n_1, and the joint region of n_1 and T_exc at kQuoteLevel.
    int Density = 0, Temperature = 0, Total = 0, Profile = 0, Region = 0;
    // n_1 of the result line within its u, where that fit was made.
    int Line = 0, LineFits = 0;
    // Free-levels tests of these Boltzmann data, and how many rejected them at 5 %.
    int Tested = 0, Rejected = 0;
    // Sums of n_1 / n_1,true - 1, its square, and u(n_1) / n_1,true of the quoted result and the
    // result line.
    double Offset = 0, Squares = 0, Quoted = 0, LineUncertainty = 0;
};

// The demo species with the demo lines selected (through `scratchFile`), for RunCoverage.
void LoadCoverageSpecies(TAtomicData& data, const std::string& dataFolder,
                         const std::string& scratchFile);

// Runs the realisations of `c` from the noise of `seed` in `data` (LoadCoverageSpecies), adding
// to `counts`; with `logPath` not empty each is also fitted as the result line's fit does
// (FitLines, its log there). A realisation the likelihood cannot quote raises Exception.
void RunCoverage(TAtomicData& data, const TCoverageCase& c, std::uint64_t seed,
                 TCoverageCounts& counts, const std::string& logPath = {});

} // namespace zelt
