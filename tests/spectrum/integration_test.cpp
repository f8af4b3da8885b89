// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/spectrum/scenarios.h"

#include "spectrum/measurement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ArgonSpectrum;
using test::ErrorText;

TEST(Integration, GaussianLinesGetTheirIntensitiesWithinTheirUncertainties) {
    ArgonSpectrum argon;
    const TIntegration result =
        IntegrateLines(SyntheticSpectrum(argon.lines, {}), argon.species, {});
    EXPECT_NEAR(result.LineWidth, 0.4, 0.01);
    EXPECT_NEAR(result.GaussWidth, 0.4, 0.01);
    EXPECT_LT(result.LorentzWidth, 0.01);
    EXPECT_EQ(result.Notes.back(), "29 lines of Ar I: 21 integrated, 6 shared, 2 blend.");
    double squares = 0;
    int count = 0;
    for (const TLineIntegral& line : result.Lines) {
        if (!GivesIntensity(line.Outcome))
            continue;
        const double pull =
            (line.Intensity - argon.TrueIntensity(line.Line.Data.Wavelength)) / line.Uncertainty;
        EXPECT_LT(std::abs(pull), 3) << line.Line.Data.Wavelength;
        squares += pull * pull;
        ++count;
    }
    EXPECT_LT(std::sqrt(squares / count), 1.5);
    // 772.3761 nm (2p7) and 772.4207 nm (2p2) lie 0.045 nm apart, a tenth of the line width.
    EXPECT_EQ(argon.Line(result, 772.3761).Outcome, TLineOutcome::Blend);
    EXPECT_EQ(argon.Line(result, 772.3761).Note,
              "blend with 772.4207 nm, not all from one upper level; the counts are the blend's");
    // 747.1164 nm has A = 2.2e4 s-1: some 280 photons, seen above 3 u by the profile's fit.
    EXPECT_EQ(argon.Line(result, 747.1164).Outcome, TLineOutcome::Integrated);
    EXPECT_EQ(argon.Line(result, 810.3693).Outcome, TLineOutcome::Shared);
}

// Imported with their uncertainties (the table beside the measurement file), the intensities
// of a Gaussian and of a Voigt spectrum are fitted to n_1 and T_exc within the uncertainties
// the fit propagates from them, sqrt(C_kk), of what the exact intensities give.
TEST(Integration, AFitOfTheImportedSpectrumRecoversDensityAndTemperature) {
    ArgonSpectrum argon;
    test::TempFolder folder;
    const std::string measurement = folder.File("argon.txt"), log = folder.File("log.txt");
    for (const double lorentz : {0.0, 0.08}) {
        SCOPED_TRACE(lorentz);
        TSyntheticOptions options;
        options.LorentzWidth = lorentz;
        options.Seed = 3;
        const TIntegration result =
            IntegrateLines(SyntheticSpectrum(argon.lines, options), argon.species, {});
        EXPECT_NEAR(result.LorentzWidth, lorentz, 0.01);
        WriteMeasurement(measurement, result.Measurement());
        folder.Write("argon.lines.tsv", IntegrationTable(result));
        argon.data.ImportLines(measurement);
        ASSERT_GE(argon.data.SelectedLines.size(), 26);
        ASSERT_TRUE(ReadUncertainties(argon.data, measurement));
        argon.data.CalcBranchingFractions();
        const TFitResult fit =
            argon.data.FitLines(test::ModelParams(16, 1000), 50, 2, 0, "", log, nullptr, 0);
        EXPECT_NEAR(static_cast<double>(Slot(fit.Params, LogDensity)), test::kLogDensity,
                    3 * std::sqrt(static_cast<double>(fit.Covariance[1])));
        EXPECT_NEAR(static_cast<double>(Slot(fit.Params, Temperature)), 1500,
                    3 * std::sqrt(static_cast<double>(fit.Covariance[4])));
    }
}

TEST(Integration, SaturatedLinesAreLeftOutWithTheLevel) {
    ArgonSpectrum argon;
    TSyntheticOptions options;
    options.SaturationLevel = 30000;
    const TIntegration result =
        IntegrateLines(SyntheticSpectrum(argon.lines, options), argon.species, {});
    EXPECT_EQ(result.SaturationLevel, 30000);
    // Lines of more than about 1.2e5 photons peak above 30000 counts per pixel; 696.5431 nm has
    // 7.7e4.
    for (const TLineIntegral& line : result.Lines) {
        if (argon.TrueIntensity(line.Line.Data.Wavelength) * line.Line.Data.Wavelength > 1.2e5) {
            EXPECT_EQ(line.Outcome, TLineOutcome::Saturated) << line.Line.Data.Wavelength;
            EXPECT_TRUE(line.Note.ends_with(" within 0.5 % of the saturation level 30000 counts "
                                            "(the flat top of the highest value)"))
                << line.Note;
        }
    }
    EXPECT_EQ(argon.Line(result, 696.5431).Outcome, TLineOutcome::Integrated);
    // Its blend partner 772.4207 nm is saturated.
    EXPECT_EQ(argon.Line(result, 772.3761).Outcome, TLineOutcome::Saturated);
}

// A strong line whose peak lies 0.3 nm above its place on the calibrated scale (the other lines
// keep theirs), in windows of 0.5 nm: its window holds no integral, and the table says where its
// peak is instead of "below detection limit". A line with no peak at all stays below the limit.
TEST(Integration, APeakOutsideItsWindowIsNamedNotCalledUndetected) {
    ArgonSpectrum argon;
    std::vector<TSyntheticLine> lines;
    for (TSyntheticLine line : argon.lines) {
        if (line.Wavelength == 750.3869)
            line.Wavelength += 0.3;
        if (line.Wavelength != 826.4522)
            lines.push_back(line);
    }
    TIntegrationOptions options;
    options.Window = 0.5;
    const TIntegration result =
        IntegrateLines(SyntheticSpectrum(lines, {}), argon.species, options);
    const TLineIntegral& shifted = argon.Line(result, 750.3869);
    EXPECT_EQ(shifted.Outcome, TLineOutcome::PeakOutside) << shifted.Note;
    EXPECT_STREQ(OutcomeText(shifted.Outcome), "peak outside its window");
    EXPECT_TRUE(shifted.Note.starts_with("a peak at 750.68")) << shifted.Note;
    EXPECT_NE(
        shifted.Note.find(" nm from the line on the calibrated scale, lies outside its window "
                          "750.1"),
        std::string::npos)
        << shifted.Note;
    EXPECT_FALSE(GivesIntensity(shifted.Outcome));
    EXPECT_EQ(argon.Line(result, 826.4522).Outcome, TLineOutcome::BelowDetection);
    EXPECT_TRUE(GivesIntensity(argon.Line(result, 751.4652).Outcome));
}

// Made-up lines of a species X I: a blend from one upper level (600.00 and 600.05 nm, A 1 and
// 3 x 1e8 s-1), one of two upper levels (620.00 and 620.06 nm), and a line alone at 610 nm.
TEST(Integration, BlendsFromOneUpperLevelAreSummedOnlyWhenAsked) {
    using test::MadeUpLine;
    const std::vector<TSpeciesLine> lines = {MadeUpLine(600.00, 1e8, 3), MadeUpLine(600.05, 3e8, 3),
                                             MadeUpLine(610.00, 1e8, 4), MadeUpLine(620.00, 1e8, 5),
                                             MadeUpLine(620.06, 1e8, 6)};
    TSyntheticOptions options;
    options.First = 590;
    options.Last = 630;
    options.Pixels = 1001;
    options.LineWidth = 0.2;
    const TRawSpectrum spectrum = SyntheticSpectrum(
        {{600.00, 1e5}, {600.05, 3e5}, {610, 2e5}, {620.00, 1e5}, {620.06, 1e5}}, options);
    TIntegrationOptions sum;
    for (const bool summed : {false, true}) {
        sum.SumBlends = summed;
        const TIntegration result = IntegrateLines(spectrum, lines, sum);
        ASSERT_EQ(result.WidthLines, std::vector<double>{610});
        const TLineIntegral& weak = result.Lines[0];
        const TLineIntegral& strong = result.Lines[1];
        EXPECT_EQ(result.Lines[3].Outcome, TLineOutcome::Blend);
        EXPECT_EQ(result.Lines[3].Note,
                  "blend with 620.06 nm, not all from one upper level; the counts are the "
                  "blend's");
        if (!summed) {
            EXPECT_EQ(weak.Outcome, TLineOutcome::Blend);
            EXPECT_EQ(weak.Note, "blend with 600.05 nm; the counts are the blend's");
            EXPECT_EQ(weak.Intensity, 0);
            continue;
        }
        EXPECT_EQ(strong.Outcome, TLineOutcome::BlendSummed);
        EXPECT_EQ(strong.Note, "blend of 600 and 600.05 nm from one upper level, the sum shared "
                               "by A");
        EXPECT_NEAR(weak.Counts, 1e5, 3 * weak.CountsUncertainty);
        EXPECT_NEAR(strong.Counts, 3e5, 3 * strong.CountsUncertainty);
        EXPECT_DOUBLE_EQ(strong.Intensity, strong.Counts / 600.05);
    }
}

TEST(Integration, ASpectralResponseCalibratesAndBoundsTheIntensities) {
    ArgonSpectrum argon;
    test::TempFolder folder;
    TSyntheticOptions options;
    options.First = 700;
    options.Last = 900;
    options.Pixels = 1460;
    const TRawSpectrum spectrum = SyntheticSpectrum(argon.lines, options);
    // A sensitivity rising as lambda / 800 nm from 720 to 880 nm.
    const TResponse photons(folder.Write("response.txt", "720 0.9\n880 1.1\n"),
                            TResponseUnit::PerPhoton);
    const TResponse energy(folder.File("response.txt"), TResponseUnit::PerEnergy);
    TIntegrationOptions calibrated;
    const TIntegration plain = IntegrateLines(spectrum, argon.species, calibrated);
    calibrated.Response = &photons;
    const TIntegration perPhoton = IntegrateLines(spectrum, argon.species, calibrated);
    calibrated.Response = &energy;
    const TIntegration perEnergy = IntegrateLines(spectrum, argon.species, calibrated);

    const TLineIntegral& line = argon.Line(plain, 763.5106);
    const double response = 0.9 + 0.2 * (763.5106 - 720) / 160;
    EXPECT_DOUBLE_EQ(line.Intensity, line.Counts / 763.5106);
    EXPECT_DOUBLE_EQ(argon.Line(perPhoton, 763.5106).Intensity, line.Counts / response / 763.5106);
    EXPECT_DOUBLE_EQ(argon.Line(perEnergy, 763.5106).Intensity, line.Counts / response);
    EXPECT_EQ(argon.Line(plain, 667.7282).Note,
              "the window 666.9272 to 668.5277 nm is not inside the spectrum's 700.0000 to "
              "900.0000 nm");
    EXPECT_EQ(argon.Line(perPhoton, 714.7042).Outcome, TLineOutcome::OutOfRange);
    EXPECT_EQ(argon.Line(perPhoton, 714.7042).Note,
              "outside the spectral response \"" + folder.File("response.txt") + "\"");
    EXPECT_TRUE(GivesIntensity(argon.Line(plain, 714.7042).Outcome));

    // Every output says whether the intensities are calibrated.
    EXPECT_EQ(plain.Notes[5], "Intensities: the counts over the wavelength in nm, not calibrated "
                              "(no spectral response was given).");
    EXPECT_EQ(perPhoton.Notes[5], "Intensities: the counts divided by the response \"" +
                                      folder.File("response.txt") +
                                      "\" (counts per photon), over the wavelength in nm.");
    const std::string table = IntegrationTable(plain);
    EXPECT_EQ(table.substr(0, table.find("\r\n")),
              "wavelength_nm\tcentre_nm\twindow_from_nm\twindow_to_nm\tbackground_below_from_nm\t"
              "background_below_to_nm\tbackground_above_from_nm\tbackground_above_to_nm\t"
              "background_counts\tbackground_slope_per_nm\tintegral_counts\tu_counts\tintensity\t"
              "u_intensity\toutcome\tnote\tcalibration\tscale_offset_nm\tcentre_fitted\t"
              "calibration_line\tgauss_fwhm_nm\tlorentz_fwhm_nm\tchi2_per_dof\tsaturated_pixels\t"
              "near");
    EXPECT_NE(table.find("\tintegrated\t\tnot calibrated\t"), std::string::npos);
}

TEST(Integration, ASpectrumWithoutLinesNamesWhatIsMissing) {
    ArgonSpectrum argon;
    const TRawSpectrum noise = SyntheticSpectrum({}, {});
    EXPECT_EQ(ErrorText<Exception>([&] { IntegrateLines(noise, argon.species, {}); }),
              "No line width can be measured on \"synthetic\": no line of Ar I stands alone and "
              "clearly out of the noise. Give the window's width.");
    TIntegrationOptions window;
    window.Window = 1.6;
    const TIntegration result = IntegrateLines(noise, argon.species, window);
    EXPECT_EQ(result.Notes.back(), "29 lines of Ar I: 2 blend, 27 below detection limit.");
}

} // namespace
} // namespace zelt
