// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic exports of every kind through the reader and the integration: title lines, padded
// titles and decimal commas, a drifting scale, lines of other gases, Voigt profiles, overlapping
// lines and a clipped pixel.

#include "tests/spectrum/scenarios.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

using test::ArgonSpectrum;

TRawSpectrum Read(const std::string& text) {
    return SpectrumFromTable(ParseDelimited(text, "export"), {});
}

TEST(Exports, EveryKindIsReadWithItsTitlesLayoutAndMaximum) {
    ArgonSpectrum argon;
    TSyntheticOptions options;
    options.Dark = 1000;
    const TRawSpectrum s = SyntheticSpectrum(argon.lines, options);
    const std::string pixels = "; 3648 pixels from 660.000 to 1160.000 nm";
    const std::string semicolon = "semicolon-separated, decimal comma; wavelengths in nm from "
                                  "column 1 (Wave), counts from column 2 (Sample) minus the dark "
                                  "of column 3 (Dark)" +
                                  pixels;
    const std::pair<TExportKind, std::string> kinds[] = {
        {TExportKind::Semicolon, semicolon},
        {TExportKind::Titled, semicolon},
        {TExportKind::Tabbed, "tab-separated, decimal point; wavelengths in nm, as no unit is "
                              "named, from column 1, counts from column 2" +
                                  pixels},
        {TExportKind::Blank, "blank-separated, decimal point; wavelengths in nm, as no unit is "
                             "named, from column 1, counts from column 2" +
                                 pixels}};
    for (const auto& [kind, description] : kinds) {
        const TRawSpectrum read = Read(ExportText(s, kind, options.Dark, 65535));
        EXPECT_EQ(read.Description, description);
        EXPECT_NEAR(read.Counts[1000], s.Counts[1000], 0.06);
        EXPECT_EQ(read.StatedMaximum, kind == TExportKind::Titled ? 65535 : 0);
    }
    // A value that is not a number names the layout and the lines it was decided on.
    std::string text = ExportText(s, TExportKind::Titled, options.Dark);
    std::size_t line10 = 0;
    for (int line = 1; line < 10; ++line)
        line10 = text.find('\n', line10) + 1;
    text.replace(text.find(';', line10), 8, ";x");
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { Read(text); }),
              "File \"export\", line 10: \"x\" in column 2 is not a number (semicolon-separated, "
              "decimal comma, the layout of the data in lines 11 to 3652).");
}

// The scale of the export: +0.16 nm at 660 nm to +0.42 nm at 1160 nm, a parabola.
TEST(Exports, ADriftingScaleIsMeasuredAndTheLinesFollowIt) {
    ArgonSpectrum argon;
    TSyntheticOptions options = test::VoigtOptions();
    options.Drift = {0.2, 4e-4, 6e-7};
    const TIntegration result = IntegrateLines(
        Read(ExportText(SyntheticSpectrum(argon.lines, options), TExportKind::Titled, 0)),
        argon.species, {});
    EXPECT_EQ(result.Scale.Degree, 2);
    EXPECT_GE(result.Scale.Used(), 15u);
    for (const double w : {660.0, 763.5106, 1160.0}) {
        const double x = w - 800;
        EXPECT_NEAR(result.Scale.Offset(w), 0.2 + 4e-4 * x + 6e-7 * x * x, 0.005) << w;
    }
    EXPECT_TRUE(result.Notes[1].starts_with("The wavelength scale: the peaks of "))
        << result.Notes[1];
    EXPECT_NE(result.Notes[1].find("a parabola fitted to"), std::string::npos) << result.Notes[1];
    test::TPulls pulls;
    for (const TLineIntegral& line : result.Lines)
        if (GivesIntensity(line.Outcome) && line.Line.Data.Wavelength != 772.3761)
            pulls.Add(line.Counts,
                      argon.TrueIntensity(line.Line.Data.Wavelength) * line.Line.Data.Wavelength,
                      line.CountsUncertainty);
    EXPECT_GE(pulls.Count, 26u);
    EXPECT_EQ(argon.Line(result, 763.5106).Outcome, TLineOutcome::Integrated);
    EXPECT_LT(std::abs(pulls.Bias()), 0.01);
    EXPECT_LT(pulls.PullWidth(), 1.5);
}

// Kr I 811.2904 nm, 0.24 nm from Ar I 811.5311 nm, is fitted with it when the database knows
// it, and its pixels are left out when the user excludes them; an unknown peak in a background
// band is fitted with it. Without either, Ar I 811.5311 nm is not called integrated.
TEST(Exports, LinesOfOtherGasesAreFittedOrMaskedAndNamed) {
    ArgonSpectrum argon;
    std::vector<TSyntheticLine> lines = argon.lines;
    lines.push_back({811.2904, 6e4});
    lines.push_back({795.90, 3e4}); // 1.1 nm above Ar I 794.8176, in its band
    const TRawSpectrum s = SyntheticSpectrum(lines, test::VoigtOptions());
    const double truth = argon.TrueIntensity(811.5311) * 811.5311;
    TIntegrationOptions known;
    known.OtherLines = {{811.2904, "Kr I 811.2904"}, {587.0915, "Kr I 587.0915"}};
    TIntegrationOptions excluded;
    excluded.Exclusions = {{811.1, 811.4}};
    for (const TIntegrationOptions& options : {known, excluded}) {
        const TIntegration result = IntegrateLines(s, argon.species, options);
        const TLineIntegral& line = argon.Line(result, 811.5311);
        EXPECT_TRUE(GivesIntensity(line.Outcome)) << line.Note;
        EXPECT_NEAR(line.Counts, truth, 3 * line.CountsUncertainty);
        ASSERT_FALSE(line.Intruders.empty());
        EXPECT_EQ(line.Intruders.front(), options.Exclusions.empty() ? "Kr I 811.2904 nm fitted"
                                                                     : "811.1-811.4 nm excluded");
        const TLineIntegral& beside = argon.Line(result, 794.8176);
        ASSERT_EQ(beside.Intruders.size(), 1u) << beside.Intruders.back();
        EXPECT_TRUE(beside.Intruders[0].starts_with("a peak of no known line at 795.8"))
            << beside.Intruders[0];
        EXPECT_NEAR(beside.Counts, argon.TrueIntensity(794.8176) * 794.8176,
                    3 * beside.CountsUncertainty);
    }
    const TIntegration blind = IntegrateLines(s, argon.species, {});
    EXPECT_NE(argon.Line(blind, 811.5311).Outcome, TLineOutcome::Integrated);
}

// Over a few spectra of fixed seeds (bench/spectrum/spectrum_study.cpp takes 200 of each):
// the integrals of isolated Gaussian and Voigt lines within 1 % with pulls of width about 1,
// the lines of overlapping pairs within 1.5 %.
TEST(Exports, IntegralsAreUnbiasedWithHonestUncertainties) {
    ArgonSpectrum argon;
    TSyntheticOptions gauss;
    for (const TSyntheticOptions& options : {gauss, test::VoigtOptions()}) {
        test::TPulls pulls;
        const std::vector<double> expected = ExpectedCounts(argon.lines, options);
        for (std::uint64_t seed = 1; seed <= 8; ++seed) {
            TSyntheticOptions noisy = options;
            noisy.Seed = seed;
            const TIntegration result =
                IntegrateLines(NoisySpectrum(expected, noisy), argon.species, {});
            for (const TLineIntegral& line : result.Lines)
                if (line.Outcome == TLineOutcome::Integrated)
                    pulls.Add(line.Counts,
                              argon.TrueIntensity(line.Line.Data.Wavelength) *
                                  line.Line.Data.Wavelength,
                              line.CountsUncertainty);
        }
        EXPECT_LT(std::abs(pulls.Bias()), 0.01) << options.LorentzWidth;
        EXPECT_NEAR(pulls.PullWidth(), 1, 0.25) << options.LorentzWidth;
    }
    const test::TPairs pairs;
    test::TPulls pulls;
    const std::vector<double> expected = ExpectedCounts(pairs.Lines, test::VoigtOptions());
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        TSyntheticOptions noisy = test::VoigtOptions();
        noisy.Seed = seed;
        const TIntegration result =
            IntegrateLines(NoisySpectrum(expected, noisy), pairs.Species, {});
        for (const TLineIntegral& line : result.Lines)
            if (std::count(pairs.PairLines.begin(), pairs.PairLines.end(),
                           line.Line.Data.Wavelength) > 0) {
                EXPECT_EQ(line.Outcome, TLineOutcome::Shared) << line.Line.Data.Wavelength;
                pulls.Add(line.Counts, pairs.Photons(line.Line.Data.Wavelength),
                          line.CountsUncertainty);
            }
    }
    EXPECT_LT(std::abs(pulls.Bias()), 0.015);
    EXPECT_NEAR(pulls.PullWidth(), 1, 0.3);
}

// One pixel of Ar I 763.5106 nm clipped at the maximum the export states: the line is left out
// as saturated and is no width line.
TEST(Exports, AClippedPixelMarksItsLineSaturated) {
    ArgonSpectrum argon;
    TSyntheticOptions options = test::VoigtOptions();
    options.Dark = 1000;
    const std::vector<double> expected = ExpectedCounts(argon.lines, options);
    const auto near = expected.begin() + 754; // 763.37 nm
    const auto top = static_cast<std::size_t>(std::max_element(near, near + 4) - expected.begin());
    // The maximum between the line's highest pixel and the next: one pixel reaches it (and
    // more of the stronger 772.4207 and 811.5311 nm).
    options.SaturationLevel =
        options.Dark + (expected[top] + std::max(expected[top - 1], expected[top + 1])) / 2;
    const TRawSpectrum s = Read(ExportText(NoisySpectrum(expected, options), TExportKind::Titled,
                                           options.Dark, options.SaturationLevel));
    const TIntegration result = IntegrateLines(s, argon.species, {});
    const TLineIntegral& line = argon.Line(result, 763.5106);
    EXPECT_EQ(line.Outcome, TLineOutcome::Saturated);
    EXPECT_EQ(line.SaturatedPixels, 1u);
    EXPECT_EQ(result.SaturationSource, "stated in the file");
    EXPECT_EQ(std::count(result.WidthLines.begin(), result.WidthLines.end(), 763.5106), 0);
}

} // namespace
} // namespace zelt
