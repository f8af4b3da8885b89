// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/asdexport.h"

#include "common/errors.h"
#include "tests/common/tempfolder.h"
#include "tests/textinput/asdfiles.h"
#include "textinput/DataFld.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

using test::kKrExcitedLevels;
using test::kKrLevels;
using test::kKrLines;
using test::kKrLinesHeader;
using test::KrLine;

TAsdImport Kr(const std::string& lines = kKrLines, const std::string& levels = kKrLevels,
              const std::string& ion = "I") {
    return ImportAsd("Kr", ion, lines, "lines.csv", levels, "levels.csv");
}

std::string Refusal(const std::string& lines, const std::string& levels = kKrLevels,
                    const std::string& ion = "I") {
    try {
        Kr(lines, levels, ion);
    } catch (const EConvertError& error) {
        return error.message();
    }
    return "accepted";
}

// The line of a text that begins with `start`.
std::string LineOf(const std::string& text, const std::string& start) {
    const std::size_t at = text.find("\r\n" + start);
    return at == std::string::npos ? "" : text.substr(at + 2, text.find("\r\n", at + 2) - at - 2);
}

TEST(AsdExportTest, CsvExportsGiveTheLevelsAndLinesKeptAndWhatIsLeftOut) {
    const TAsdImport kr = Kr();
    ASSERT_EQ(kr.Levels.size(), 6u);
    // An empty configuration and term repeat the row above; brackets and "?" are dropped.
    EXPECT_EQ(kr.Levels[2].Configuration, "4s2.4p5.(2P*<3/2>).5s");
    EXPECT_EQ(kr.Levels[2].Term, "2[3/2]*");
    EXPECT_EQ(kr.Levels[2].EnergyText, "10.03242500");
    EXPECT_EQ(kr.Levels[3].EnergyText, "11.44541000");
    EXPECT_EQ(kr.Levels[4].EnergyText, "11.5264000");
    ASSERT_EQ(kr.LevelsLeftOut.size(), 1u);
    EXPECT_EQ(kr.LevelsLeftOut[0].Row, 8);
    EXPECT_EQ(kr.LevelsLeftOut[0].Reason, "no energy (\"12.5+x\")");
    EXPECT_EQ(kr.GroundLevels, 1);
    EXPECT_EQ(kr.GroundConfiguration, "4s2.4p6");
    EXPECT_EQ(kr.ExcitedConfiguration, "4s2.4p5.5s");
    EXPECT_FALSE(kr.Vacuum);

    ASSERT_EQ(kr.Lines.size(), 6u);
    EXPECT_EQ(kr.Lines[0].WavelengthText, "760.1544");
    EXPECT_EQ(kr.Lines[1].WavelengthText, "769.45395"); // Ritz: no observed wavelength
    EXPECT_TRUE(kr.Lines[1].Ritz);
    ASSERT_EQ(kr.LinesLeftOut.size(), 2u);
    EXPECT_EQ(kr.LinesLeftOut[0].What + ": " + kr.LinesLeftOut[0].Reason,
              "758.7413 nm: no A value");
    EXPECT_EQ(kr.LinesLeftOut[1].What + ": " + kr.LinesLeftOut[1].Reason,
              "748.6862 nm: no energy of its upper level");

    // The excited levels alone: the 5s levels below 5p get the Boltzmann population.
    EXPECT_EQ(Kr(kKrLines, kKrExcitedLevels).GroundLevels, 2);
}

TEST(AsdExportTest, LineTableReadsBackWithTheLevelsEnergyTexts) {
    const TAsdImport kr = Kr(kKrLines, kKrExcitedLevels);
    const std::string levels = AsdLevelFileText(kr);
    EXPECT_EQ(LineOf(levels, "Configuration"),
              "Configuration          Term         J    Energy (eV)");
    EXPECT_EQ(LineOf(levels, "4p5.(2P*<3/2>).5s      2[3/2]*         1"),
              "4p5.(2P*<3/2>).5s      2[3/2]*         1  10.03242500");

    test::TempFolder folder;
    folder.Write("Kr_I.txt", AsdLineTableText(kr));
    TTextBase base(1000, 500);
    base.Load(folder.Folder(), {"Kr"}, {}, {"I"}, {}, false, false);
    ASSERT_EQ(base.AtomCount(), 6);
    TAtomRecord record;
    base.GetAtom(1, record);
    EXPECT_EQ(record.Element, "Kr");
    EXPECT_EQ(record.Ion, "I");
    EXPECT_EQ(record.Wavelength, 769.45395);
    EXPECT_DOUBLE_EQ(record.Aki, 5.6e6);
    // The line export's 10.032425 eV became the levels export's 10.03242500.
    EXPECT_EQ(record.ELower, 10.032425);
    EXPECT_EQ(record.EUpper, 11.5264);
    EXPECT_EQ(record.Gi, 3);
    EXPECT_EQ(record.Gk, 3);
    EXPECT_EQ(record.Value4, 1);
    EXPECT_EQ(record.Text1, "4p5.(2P*<3/2>).5s-4p5.(2P*<3/2>).5p");
    EXPECT_EQ(record.Text2, "2[3/2]*-2[3/2]");
    EXPECT_EQ(record.Text3, "air");
    EXPECT_EQ(record.Text4, "L8155");
    EXPECT_EQ(record.Text5, "T7771   ");
}

TEST(AsdExportTest, TabDelimitedExportInWavenumbersAndVacuum) {
    const std::string levels = "Configuration\tTerm\tJ\tLevel (cm-1)\n"
                               "3s2.3p5.(2P*<3/2>).4s\t2[3/2]*\t2\t93143.7600\n"
                               "\"3s2.3p5.(2P*<1/2>).4p\"\t\"2[1/2]\"\t\"1\"\t\"107496.4166\"\n";
    const std::string lines = "obs_wl_vac(nm)\tritz_wl_vac(nm)\tAki(s^-1)\tEi(cm-1)\tEk(cm-1)\n"
                              "696.7352\t696.73519\t6.4e+06\t93143.7600\t107496.4166\n";
    const TAsdImport ar = ImportAsd("Ar", "I", lines, "l.tsv", levels, "v.tsv");
    EXPECT_TRUE(ar.Vacuum);
    ASSERT_EQ(ar.Levels.size(), 2u);
    // cm-1 / 8065.543937 with four more decimals than the wavenumber.
    EXPECT_EQ(ar.Levels[0].EnergyText, "11.54835442");
    EXPECT_EQ(ar.Levels[1].EnergyText, "13.32785705");
    ASSERT_EQ(ar.Lines.size(), 1u);
    EXPECT_EQ(ar.Lines[0].LogGf, "-0.85"); // computed from A without a log_gf column
    EXPECT_EQ(LineOf(AsdLineTableText(ar), "Ar I").substr(0, 19), "Ar I       696.7352");
}

TEST(AsdExportTest, RefusalsNameTheFileTheLineAndTheColumn) {
    std::string noA = kKrLines;
    noA.replace(noA.find("Aki(s^-1)"), 9, "gA(s^-1)");
    EXPECT_EQ(Refusal(noA), "File \"lines.csv\", line 1: the column \"Aki(s^-1)\" is missing; "
                            "the lines export needs the transition probabilities (\"Transition "
                            "strengths\": A_ki in s^-1)");
    std::string angstrom = kKrLines;
    angstrom.replace(angstrom.find("obs_wl_air(nm)"), 14, "obs_wl_air(A)");
    EXPECT_EQ(Refusal(angstrom), "File \"lines.csv\", line 1, column 3 \"obs_wl_air(A)\": the "
                                 "wavelengths are in Å; export them in nm (the form's "
                                 "\"Wavelength units\")");
    const std::string ion =
        kKrLines + KrLine("464.9", "", "1e+07", "14.0", "16.6", test::kS5, test::kP8, "2");
    EXPECT_EQ(Refusal(ion), "File \"lines.csv\", line 10, column 2 \"sp_num\": the line is one "
                            "of Kr II (sp_num 2), not of Kr I");
    std::string xenon = kKrLines;
    xenon.replace(xenon.find("\nKr,") + 1, 2, "Xe");
    EXPECT_EQ(Refusal(xenon), "File \"lines.csv\", line 2, column 1 \"element\": the line is one "
                              "of Xe, not of Kr I");
    EXPECT_EQ(Refusal(kKrLines, kKrLevels, "II"),
              "File \"levels.csv\", line 9, column 1 \"Configuration\": the ionisation limit \"Kr "
              "II (2P*<3/2>)\" is that of Kr I: the export is not of Kr II");

    std::string without2p6 = kKrExcitedLevels;
    without2p6.erase(without2p6.rfind("=\"4s2"));
    EXPECT_EQ(Refusal(kKrLines, without2p6),
              "File \"lines.csv\", line 6, column 11 \"Ek(eV)\": the upper level "
              "4s2.4p5.(2P*<3/2>).5p 2[3/2] J=2 at 11.546400 eV of the line 785.4821 nm is not "
              "in the levels export \"levels.csv\"");
    EXPECT_EQ(Refusal(kKrLines, kKrExcitedLevels + "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[1/2]\",=\"0\","
                                                   "=\"11.44541000\",\r\n"),
              "File \"levels.csv\", line 7, column 4 \"Level (eV)\": two levels have the energy "
              "11.44541000 eV (lines 4 and 7); the program tells levels apart by their "
              "energies");
    EXPECT_EQ(Refusal(kKrLinesHeader, "J,Term\r\n"),
              "File \"levels.csv\", line 1: the column \"Configuration\" is missing; the levels "
              "export needs the configuration, term, J and level of each level");
}

TEST(AsdExportTest, RomanNumerals) {
    EXPECT_EQ(IonStage("IV"), 4);
    EXPECT_EQ(IonStage("XIX"), 19);
    EXPECT_EQ(IonStage("iv"), 0);
    EXPECT_EQ(RomanNumeral(14), "XIV");
}

} // namespace
} // namespace zelt
