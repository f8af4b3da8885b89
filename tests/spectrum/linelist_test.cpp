// SPDX-License-Identifier: GPL-3.0-or-later
#include "argon.h"

#include "spectrum/linelist.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ArgonSpectrum;
using test::ErrorText;

TEST(LineList, ApproximateWavelengthsGetTheDatabaseLinesExactly) {
    ArgonSpectrum argon;
    test::TempFolder folder;
    const TDelimitedTable table = ParseDelimited(
        "Wavelength (nm);Intensity;u\r\n696,54;500;5\r\n727,29;200,5;4\r\n826,45;800;8\r\n",
        "list.csv");
    const TLineList list = MatchLineList(table, argon.species, {});
    EXPECT_EQ(list.Notes[0],
              "3 lines of \"list.csv\" (semicolon-separated, decimal comma; wavelengths in nm from "
              "column 1 (Wavelength (nm)), intensities from column 2 (Intensity)) matched to the "
              "lines of Ar I within 0.03 nm.");
    const std::string measurement = folder.File("list.txt");
    WriteMeasurement(measurement, list.Lines);
    EXPECT_EQ(folder.Read("list.txt"), "696.5431 500\r\n727.2936 200.5\r\n826.4522 800\r\n");
    EXPECT_EQ(LineListTable(list),
              "file_line\tgiven_nm\twavelength_nm\tintensity\tu_intensity\r\n"
              "2\t696.54\t696.5431\t500\t5\r\n3\t727.29\t727.2936\t200.5\t4\r\n"
              "4\t826.45\t826.4522\t800\t8\r\n");
    // The measurement reader takes the file as it is, the uncertainties from beside it.
    folder.Write("list.lines.tsv", LineListTable(list));
    argon.data.ImportLines(measurement);
    ASSERT_EQ(argon.data.SelectedLines.size(), 3);
    ASSERT_TRUE(ReadUncertainties(argon.data, measurement));
    EXPECT_EQ(argon.data.SelectedLines[1].IntensityUncertainty, 4);
    // A table that no longer fits the measurement (an intensity changed) is not used.
    folder.Write("list.txt", "696.5431 500\r\n727.2936 201\r\n826.4522 800\r\n");
    argon.data.ImportLines(measurement);
    EXPECT_FALSE(ReadUncertainties(argon.data, measurement));
    EXPECT_EQ(argon.data.SelectedLines[1].IntensityUncertainty, 0);

    // Photon counts are turned into the program's energies.
    TLineListOptions photons;
    photons.Intensities = TIntensityUnit::Photons;
    photons.UncertaintyColumn = "none";
    const TLineList counted = MatchLineList(table, argon.species, photons);
    EXPECT_EQ(counted.Lines[0].Intensity, 500 / 696.5431);
    EXPECT_EQ(counted.Lines[0].Uncertainty, 0);
}

TEST(LineList, UnclearMatchesAreRefusedWithTheCandidates) {
    ArgonSpectrum argon;
    const TDelimitedTable table =
        ParseDelimited("696.54 1\n772.40 2\n700.00 3\n696.5431 4\n1200 5\n", "list.txt");
    EXPECT_EQ(ErrorText<Exception>([&] { MatchLineList(table, argon.species, {}); }),
              "File \"list.txt\": 4 of its 5 lines are refused:\n"
              "line 2: 772.4 nm is ambiguous within 0.03 nm: 772.3761 (-0.0239 nm), 772.4207 "
              "(+0.0207 nm).\n"
              "line 3: 700 nm matches no line of Ar I within 0.03 nm; the nearest: 696.5431 "
              "(-3.4569 nm) and 706.7218 (+6.7218 nm).\n"
              "line 4: 696.5431 nm is the line at 696.5431 nm, which line 1 matches already.\n"
              "line 5: 1200 nm matches no line of Ar I within 0.03 nm; the nearest: 1148.8109 "
              "(-51.1891 nm).");
}

// The demo lines with the model's intensities at 5e16 m-3 and 1500 K, each with a 1 %
// uncertainty, but 826.4522 nm (2p2) 30 % too strong with a large uncertainty: weighted, the
// fit leaves that level out and recovers n_1 and T_exc; unweighted, it does not.
TEST(LineList, UncertaintiesWeighTheFit) {
    ArgonSpectrum argon;
    test::TempFolder folder;
    std::string text;
    for (const TSyntheticLine& line : argon.lines) {
        const double bad = line.Wavelength == 826.4522 ? 1.3 : 1;
        const double intensity = line.Photons / line.Wavelength;
        text += Format("%.2f %s %s\n", {line.Wavelength, ShortestReal(intensity * bad),
                                        ShortestReal(intensity * (bad > 1 ? 1 : 0.01))});
    }
    TLineListOptions options;
    options.Tolerance = 0.01;
    const TLineList list = MatchLineList(ParseDelimited(text, "list.txt"), argon.species, options);
    const std::string measurement = folder.File("list.txt");
    WriteMeasurement(measurement, list.Lines);
    folder.Write("list.lines.tsv", LineListTable(list));
    const auto fit = [&](bool weighted) {
        argon.data.ImportLines(measurement);
        EXPECT_EQ(ReadUncertainties(argon.data, measurement), true);
        if (!weighted)
            for (TLine& line : argon.data.SelectedLines)
                line.IntensityUncertainty = 0;
        argon.data.CalcBranchingFractions();
        return argon.data.FitLines(test::ModelParams(16, 1000), 50, 2, 0, "",
                                   folder.File("log.txt"), nullptr, 0);
    };
    const TFitResult weighted = fit(true), unweighted = fit(false);
    EXPECT_NEAR(static_cast<double>(Slot(weighted.Params, LogDensity)), test::kLogDensity, 1e-4);
    EXPECT_NEAR(static_cast<double>(Slot(weighted.Params, Temperature)), 1500, 1);
    EXPECT_GT(
        std::abs(static_cast<double>(Slot(unweighted.Params, LogDensity)) - test::kLogDensity),
        0.005);
}

// A title line before a list, and a list of labelled irradiances: the wavelength in the label.
TEST(LineList, TitledAndLabelledListsAreRead) {
    ArgonSpectrum argon;
    const TDelimitedTable titled =
        ParseDelimited("5 Pa, 300 W (O2/Ar) - run 3\n696.54 500\n727.29 200\n", "list.txt");
    EXPECT_EQ(titled.Text, std::vector<std::string>{"5 Pa, 300 W (O2/Ar) - run 3"});
    EXPECT_EQ(MatchLineList(titled, argon.species, {}).Lines.size(), 2u);
    const TDelimitedTable labelled =
        ParseDelimited("Irradiances 5 Pa 300 W\r\nI_696 = 31.79\r\nI_706 = 12.5\r\nI_763  80.1\r\n",
                       "irradiances.txt");
    TLineListOptions options;
    options.Tolerance = 0.8;
    const TLineList list = MatchLineList(labelled, argon.species, options);
    EXPECT_EQ(list.Notes[0], "3 lines of \"irradiances.txt\" (labelled values, decimal point; "
                             "wavelengths in nm, as no unit is named, from column 1 (wavelength "
                             "in the label), intensities from column 2 (value)) matched to the "
                             "lines of Ar I within 0.8 nm.");
    EXPECT_EQ(LineListTable(list), "file_line\tgiven_nm\twavelength_nm\tintensity\tu_intensity\r\n"
                                   "2\t696\t696.5431\t31.79\t0\r\n3\t706\t706.7218\t12.5\t0\r\n"
                                   "4\t763\t763.5106\t80.1\t0\r\n");
}

} // namespace
} // namespace zelt
