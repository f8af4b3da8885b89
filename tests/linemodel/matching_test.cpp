// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

using Texts = std::vector<std::string>;

const std::string kNotFound500 = "Wavelength 500.100100 was not found. Import was stopped. Check "
                                 "used specie or wavelength precision.";

class ImportLines : public ::testing::Test {
protected:
    void SetUp() override { species.Load(data); }
    void Import(const std::string& content) { data.ImportLines(species.Measurement(content)); }
    std::vector<double> Wavelengths() const {
        std::vector<double> result;
        for (const TLine& line : data.SelectedLines)
            result.push_back(line.Data.Wavelength);
        return result;
    }

    test::SmallSpecies species;
    test::MessageLog messages;
    TAtomicData data{messages.Callback()};
};

TEST_F(ImportLines, MatchesWavelengthsAndLevelsExactly) {
    Import("500.1 12.5  \r\n490.40\t3e1\r\n");
    ASSERT_EQ(data.SelectedLines.size(), 2);
    const TLine& first = data.SelectedLines[0];
    EXPECT_EQ(first.Data.Wavelength, 500.1);
    EXPECT_EQ(first.Intensity, 12.5);
    EXPECT_EQ(first.Data.Aki, 5e7);
    EXPECT_EQ(first.UpperLevel, 2);
    EXPECT_EQ(first.LowerLevel, 0);
    EXPECT_EQ(first.BFFit, 0);
    EXPECT_EQ(first.BFMeasured, 0);
    EXPECT_EQ(first.BFTheory, 0);
    EXPECT_EQ(data.SelectedLines[1].Intensity, 30);
    EXPECT_EQ(data.SelectedLines[1].UpperLevel, 3);
    EXPECT_EQ(data.SelectedLines[1].LowerLevel, 1);
    EXPECT_TRUE(messages.texts.empty());
}

// A line listed twice would count twice in its fractions, a missing intensity would take the
// next line's wavelength: the file is refused, naming the line.
TEST_F(ImportLines, RefusesARecordThatIsNotOneWavelengthAndOneIntensity) {
    const std::string file = species.folder.File("measured.txt");
    const std::string rule = "\", line %d: a measurement line holds a wavelength and an "
                             "intensity, each line once";
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { Import("480.30 1\r\n500.1 2\r\n480.3 2\r\n"); }),
              "Wavelength 480.3 of line 1 listed again in file \"" + file + Format(rule, {3}));
    EXPECT_EQ(data.SelectedLines.size(), 0);
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { Import("480.30 1\r\n696.5431\r\n7 8\r\n"); }),
              "Missing intensity after the wavelength 696.5431 in file \"" + file +
                  Format(rule, {2}));
    EXPECT_EQ(data.SelectedLines.size(), 0);
    EXPECT_TRUE(messages.texts.empty());

    // A negative intensity (left by a background subtraction) is kept with a warning.
    Import("500.10 -2.5\r\n520.20 5\r\n");
    EXPECT_EQ(data.SelectedLines.size(), 2);
    EXPECT_EQ(data.ImportWarnings,
              Texts{"Negative intensity -2.5 at 500.1 nm in file \"" + file +
                    "\", line 1: its branching fraction is not physical, and fits of this file "
                    "are flagged."});
}

// The rest of a line after the intensity is skipped up to its line feed: a comment column is
// read past with a note, and a carriage return alone ends no line.
TEST_F(ImportLines, SkipsTheRestOfEachLine) {
    const std::string file = species.folder.File("measured.txt");
    Import("500.10\t4\tline 1 of level 8\r\n480.30 2\r\n520.20 5 0.2 x\n");
    EXPECT_EQ(Wavelengths(), (std::vector<double>{500.1, 480.3, 520.2}));
    EXPECT_EQ(data.SelectedLines[0].Intensity, 4);
    EXPECT_EQ(data.ImportWarnings,
              Texts{"Skipped the text after the intensity on 2 lines of file \"" + file +
                    "\", first on line 1: \"line 1 of level 8\"."});

    Import("500.10 1 " + std::string(50, 'c') + "\r\n");
    EXPECT_EQ(data.ImportWarnings,
              Texts{"Skipped the text after the intensity on 1 line of file \"" + file +
                    "\", first on line 1: \"" + std::string(40, 'c') + "...\"."});

    Import("500.10 4\r480.30 2\r520.20 5\r");
    EXPECT_EQ(Wavelengths(), (std::vector<double>{500.1}));
    EXPECT_EQ(data.ImportWarnings,
              Texts{"File \"" + file +
                    "\" ends its lines with a carriage return alone (CR without LF), so line 1 "
                    "runs on to the next line feed and only its first record is read: save the "
                    "file with CR LF or LF line ends."});
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ImportLines, StopsWithAMessageAtAWavelengthNotInTheTable) {
    Import("500.10 1\r\n480.30 1\r\n500.1001 1\r\n520.20 1\r\n490.40 1\r\n");
    EXPECT_EQ(Wavelengths(), (std::vector<double>{500.1, 480.3}));
    EXPECT_EQ(messages.texts, Texts{kNotFound500});
}

TEST_F(ImportLines, EndsQuietlyAtTheEndOfTheText) {
    Import("");
    EXPECT_EQ(data.SelectedLines.size(), 0);
    // Trailing blank lines were once read as a line at 0 nm that was not found.
    Import("500.10 1\r\n480.30 2\r\n\r\n  \r\n\t\r\n");
    EXPECT_EQ(data.SelectedLines.size(), 2);
    // A file that ends inside a record is missing an intensity.
    EXPECT_THROW(Import("500.10 1\r\n480.30"), EInOutError);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ImportLines, RemovesALineWhoseLevelsAreUnknown) {
    // Level d (3.2 eV) is cut off by a level file that stops at a repeated energy.
    data.LoadLevels(species.folder.Write(
        "cut.txt", test::kLevelHeader + test::LevelLine("a", "1S", 2, "0.0") +
                       test::LevelLine("b", "3P", 1, "0.1") + test::LevelLine("c", "3D", 1, "3.0") +
                       test::LevelLine("c2", "3D", 1, "3.0") +
                       test::LevelLine("d", "3F", 2, "3.2")));
    messages.texts.clear();
    EXPECT_EQ(test::ErrorText<Exception>([&] { Import("500.10 1\r\n480.30 1\r\n520.20 1\r\n"); }),
              "Upper level was not found. Import was stopped. File \"" +
                  species.folder.File("measured.txt") +
                  "\", line 2: the line at 480.3 nm, upper level energy 3.2 eV, is not in the "
                  "level file \"" +
                  species.folder.File("cut.txt") + "\".");
    EXPECT_EQ(Wavelengths(), std::vector<double>{500.1});

    // Without level b the lower level of 520.20 is unknown.
    data.Levels.clear();
    data.LoadLevels(species.folder.Write("nob.txt", test::kLevelHeader +
                                                        test::LevelLine("a", "1S", 2, "0.0") +
                                                        test::LevelLine("c", "3D", 1, "3.0")));
    EXPECT_EQ(test::ErrorText<Exception>([&] { Import("500.10 1\r\n520.20 1\r\n"); }),
              "Lower level was not found. Import was stopped. File \"" +
                  species.folder.File("measured.txt") +
                  "\", line 2: the line at 520.2 nm, lower level energy 0.1 eV, is not in the "
                  "level file \"" +
                  species.folder.File("nob.txt") + "\".");
    EXPECT_EQ(Wavelengths(), std::vector<double>{500.1});
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ImportLines, RefusesLevelsThatShareAnEnergy) {
    // LoadLevels never keeps two levels of one energy; the checks stay for levels set otherwise.
    data.Levels.push_back(data.Levels[2]);
    EXPECT_EQ(test::ErrorText<Exception>([&] { Import("500.10 1\r\n"); }),
              "Several upper levels with the same energy. Import was stopped. File \"" +
                  species.folder.File("measured.txt") +
                  "\", line 1: the line at 500.1 nm, upper level energy 3 eV, belongs to "
                  "several levels of the level file \"" +
                  species.levelsFile + "\".");
    data.Levels.resize(4);
    data.Levels.push_back(data.Levels[0]);
    EXPECT_NE(test::ErrorText<Exception>([&] {
                  Import("500.10 1\r\n");
              }).find("Several lower levels with the same energy. Import was stopped. File"),
              std::string::npos);
    EXPECT_EQ(data.SelectedLines.size(), 0);
}

TEST_F(ImportLines, PassesOnReadingErrors) {
    EXPECT_THROW(data.ImportLines(species.folder.File("missing.txt")), EInOutError);
    const std::string message =
        test::ErrorText<EInOutError>([&] { Import("500.10 1\r\n480,30 1\r\n"); });
    EXPECT_NE(message.find("measured.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("line 2"), std::string::npos) << message;
    EXPECT_EQ(data.SelectedLines.size(), 1);
}

// A measurement takes memory by its lines (a database record each) and time by its bytes: both
// are bounded.
TEST_F(ImportLines, RefusesMeasurementsPastTheirBounds) {
    // Past 16 MB a measurement is refused before it is read; a line measured twice is refused
    // before the count of lines could reach its bound.
    const std::string name = species.Measurement("500.10 1\r\n");
    std::filesystem::resize_file(name, 16 << 20 | 1);
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { data.ImportLines(name); }),
              "Cannot read file \"" + name +
                  "\": it is larger than 16 MB, the limit for a "
                  "measurement file");
}

// Past 10000 lines the reading stops, the lines before kept as after other reading errors: the
// bad line at the end of the file is never reached.
TEST(ImportLinesOfALargeTable, StopsAtTheLineBound) {
    test::SmallSpecies species;
    std::string table = test::kTableHeader, measurement;
    for (int i = 0; i <= 10000; ++i) {
        const std::string wavelength = Format("%.2f", {300 + i * 0.01});
        table += test::TableLine(wavelength, "0.5", "0.0", "3.0", 5, 3);
        measurement += wavelength + " 1\r\n";
    }
    species.folder.Write("X_I.txt", table);
    TAtomicData data(nullptr);
    species.Load(data);
    const std::string name = species.Measurement(measurement + "oops\r\n");
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { data.ImportLines(name); }),
              "Cannot read file \"" + name +
                  "\": more than 10000 lines, the limit for a measurement file");
    EXPECT_EQ(data.SelectedLines.size(), 10000);
}

TEST(ImportLinesWithoutSpecies, RaisesAClearError) {
    test::SmallSpecies species;
    TAtomicData data(nullptr);
    EXPECT_THROW(data.ImportLines(species.Measurement("500.10 1\r\n")), Exception);
}

TEST(DumpLines, ListsTheTableByUpperLevel) {
    test::SmallSpecies species;
    TAtomicData data(nullptr);
    species.Load(data);
    data.DumpLines(species.folder.File("dump.txt"));
    EXPECT_EQ(species.folder.Read("dump.txt"),
              " 3.000000E+0000       500.10000  5.0E+0007            3.00 a-b  1 -  2\r\n"
              " 3.000000E+0000       520.20000  2.0E+0007            3.00 a-b  1 -  2\r\n"
              " 3.200000E+0000       480.30000  1.0E+0008            3.20 a-b  1 -  2\r\n"
              " 3.200000E+0000       490.40000  3.0E+0007            3.20 a-b  1 -  2\r\n"
              " 3.200000E+0000       600.00000  0.0E+0000            3.20 a-b  1 -  2\r\n");
}

} // namespace
} // namespace zelt
