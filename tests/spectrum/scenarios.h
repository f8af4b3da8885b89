// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic spectra of the kinds an import meets, for the tests and the coverage study
// (bench/spectrum/spectrum_study.cpp): the demo argon lines with Gaussian or Voigt profiles, a
// made-up species of overlapping pairs, a drifting scale, a clipped pixel; and the statistics
// of integrals against the truth.

#include "tests/spectrum/argon.h"

#include <cmath>
#include <string>
#include <vector>

namespace zelt::test {

// A line of a made-up species X I: its wavelength (nm), A (s-1) and upper level energy (eV).
inline TSpeciesLine MadeUpLine(double wavelength, double aki, double upper) {
    TSpeciesLine line;
    line.Data.Element = "X";
    line.Data.Ion = "I";
    line.Data.Wavelength = wavelength;
    line.Data.Aki = aki;
    line.Data.EUpper = upper;
    line.HasLevels = true;
    return line;
}

// The Voigt profile of the issue: 0.30 nm Gaussian and 0.08 nm Lorentzian FWHM.
inline TSyntheticOptions VoigtOptions() {
    TSyntheticOptions options;
    options.LineWidth = 0.30;
    options.LorentzWidth = 0.08;
    return options;
}

// X I: five strong lines alone (700 ... 950 nm) for the profile, and pairs 0.5 to 0.6 nm apart
// (1.5 Voigt widths, inside one window) of 2:1 to 1:1 in strength.
struct TPairs {
    std::vector<TSpeciesLine> Species;
    std::vector<TSyntheticLine> Lines;
    std::vector<double> PairLines; // the wavelengths of the pairs' lines
    TPairs() {
        for (const double w : {700.0, 750.0, 850.0, 900.0, 950.0}) {
            Species.push_back(MadeUpLine(w, 1e7, w / 100));
            Lines.push_back({w, 2e5});
        }
        const double pairs[][3] = {
            {720, 720.6, 0.5}, {800, 800.5, 1}, {1000, 1000.55, 0.7}, {1050, 1050.5, 1}};
        for (const auto& pair : pairs) {
            Species.push_back(MadeUpLine(pair[0], 1e7, pair[0] / 100));
            Species.push_back(MadeUpLine(pair[1], 1e7, pair[1] / 100));
            Lines.push_back({pair[0], 1e5});
            Lines.push_back({pair[1], 1e5 * pair[2]});
            PairLines.insert(PairLines.end(), {pair[0], pair[1]});
        }
        std::sort(Species.begin(), Species.end(), [](const TSpeciesLine& a, const TSpeciesLine& b) {
            return a.Data.Wavelength < b.Data.Wavelength;
        });
    }
    double Photons(double wavelength) const {
        for (const TSyntheticLine& line : Lines)
            if (line.Wavelength == wavelength)
                return line.Photons;
        return 0;
    }
};

// Integrals against the truth: the mean relative deviation of the strong lines (counts of at
// least `strong` photons), the mean and the standard deviation of all pulls (counts - truth) / u.
struct TPulls {
    double Strong = 1e4;
    double RelativeSum = 0, PullSum = 0, PullSquares = 0;
    std::size_t StrongCount = 0, Count = 0;
    void Add(double counts, double truth, double u) {
        const double pull = (counts - truth) / u;
        PullSum += pull;
        PullSquares += pull * pull;
        ++Count;
        if (truth >= Strong) {
            RelativeSum += counts / truth - 1;
            ++StrongCount;
        }
    }
    double Bias() const { return RelativeSum / static_cast<double>(StrongCount); }
    double PullMean() const { return PullSum / static_cast<double>(Count); }
    double PullWidth() const {
        const double n = static_cast<double>(Count), mean = PullMean();
        return std::sqrt((PullSquares - n * mean * mean) / (n - 1));
    }
};

} // namespace zelt::test
