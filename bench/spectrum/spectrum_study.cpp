// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage study of the import: 200 synthetic spectra of each kind, each written as a
// spectrometer's export and read back, integrated, and every integral compared with the
// photons the generator put into its line. Prints per kind the mean relative deviation of the
// strong lines' integrals, the mean and width of the pulls (integral - truth) / u, and for the
// clipped kind how often the clipped line was flagged saturated. Not a test: the tests take a
// few spectra of fixed seeds (tests/spectrum/exports_test.cpp).
//
//   build/bin/spectrum_study [spectra per kind, 200]

#include "tests/spectrum/scenarios.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace zelt;

struct TKind {
    const char* Name;
    TExportKind Export;
    TSyntheticOptions Options;
    bool Pairs = false, Clipped = false;
};

TRawSpectrum Exported(const TRawSpectrum& s, const TKind& kind) {
    return SpectrumFromTable(
        ParseDelimited(ExportText(s, kind.Export, kind.Options.Dark, kind.Options.SaturationLevel),
                       kind.Name),
        {});
}

} // namespace

int main(int argc, char** argv) {
    const int spectra = argc > 1 ? std::atoi(argv[1]) : 200;
    test::ArgonSpectrum argon;
    const test::TPairs pairs;
    TSyntheticOptions gauss;
    gauss.Dark = 1000;
    TSyntheticOptions voigt = test::VoigtOptions();
    voigt.Drift = {0.2, 4e-4, 6e-7};
    TSyntheticOptions clipped = test::VoigtOptions();
    clipped.Dark = 1000;
    const TKind kinds[] = {
        {"Gaussian, semicolons and decimal commas", TExportKind::Semicolon, gauss},
        {"Voigt, title lines, padded titles, drifting scale", TExportKind::Titled, voigt},
        {"Voigt pairs 1.5 widths apart, tab-separated with markers", TExportKind::Tabbed,
         test::VoigtOptions(), true},
        {"Voigt, blank-separated .asc with a footer", TExportKind::Blank, test::VoigtOptions()},
        {"Voigt, one clipped pixel of 763.5106 nm, maximum in the title lines", TExportKind::Titled,
         clipped, false, true}};
    std::printf("%-70s %8s %9s %9s %9s %7s\n", "kind", "lines", "bias/%", "pull mean", "pull sd",
                "flagged");
    for (TKind kind : kinds) {
        const std::vector<TSyntheticLine>& lines = kind.Pairs ? pairs.Lines : argon.lines;
        const std::vector<TSpeciesLine>& species = kind.Pairs ? pairs.Species : argon.species;
        const std::vector<double> expected = ExpectedCounts(lines, kind.Options);
        if (kind.Clipped) {
            // Between the highest pixel of 763.5106 nm and its higher neighbour.
            const auto near = expected.begin() + 754;
            const auto top = std::max_element(near, near + 4);
            kind.Options.SaturationLevel =
                kind.Options.Dark + (*top + std::max(*(top - 1), *(top + 1))) / 2;
        }
        test::TPulls pulls;
        int flagged = 0;
        for (int seed = 1; seed <= spectra; ++seed) {
            TSyntheticOptions options = kind.Options;
            options.Seed = static_cast<std::uint64_t>(seed) + 1000;
            const TIntegration result =
                IntegrateLines(Exported(NoisySpectrum(expected, options), kind), species, {});
            for (const TLineIntegral& line : result.Lines) {
                const double w = line.Line.Data.Wavelength;
                if (kind.Clipped && w == 763.5106)
                    flagged += line.Outcome == TLineOutcome::Saturated;
                const bool counted =
                    kind.Pairs ? std::count(pairs.PairLines.begin(), pairs.PairLines.end(), w) > 0
                               : line.Outcome == TLineOutcome::Integrated;
                if (counted && GivesIntensity(line.Outcome))
                    pulls.Add(line.Counts,
                              kind.Pairs ? pairs.Photons(w) : argon.TrueIntensity(w) * w,
                              line.CountsUncertainty);
            }
        }
        std::printf("%-70s %8zu %+9.3f %+9.3f %9.3f %7s\n", kind.Name, pulls.Count,
                    100 * pulls.Bias(), pulls.PullMean(), pulls.PullWidth(),
                    kind.Clipped ? (std::to_string(flagged) + "/" + std::to_string(spectra)).c_str()
                                 : "");
    }
}
