// SPDX-License-Identifier: GPL-3.0-or-later
// zeltfit-cli species add, end to end: a species imported from small ASD exports lists its
// levels and lines and fits a measurement made for it by zeltfit-makedemo back to its n_1 and
// T_exc.
#include "tests/cli/runcommand.h"
#include "tests/common/tempfolder.h"
#include "tests/textinput/asdfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace zelt {
namespace {

namespace fs = std::filesystem;

using test::TRun;

class SpeciesAddTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_.File("db"));
        ini_ = folder_.Write("zeltfit.ini", "[_Files]\r\nDatabase=" + folder_.File("db") +
                                                "\r\n[_Parameters]\r\nTn=400\r\nPath=0.05\r\n");
        folder_.Write("lines.csv", test::kKrLines);
        folder_.Write("levels.csv", test::kKrExcitedLevels);
    }
    TRun Run(const std::string& program, const std::string& args) const {
        return test::RunCommand("'" + program + "' " + args, folder_);
    }
    TRun Cli(const std::string& args) const {
        return Run(ZELT_CLI_PATH, "--ini '" + ini_ + "' " + args);
    }
    TRun Add(const std::string& lines = "lines.csv") const {
        return Cli("species add 'Kr I' --lines '" + folder_.File(lines) + "' --levels '" +
                   folder_.File("levels.csv") + "'");
    }

    test::TempFolder folder_;
    std::string ini_;
};

// The value of a column of the first row of --format tsv.
double Column(const std::string& tsv, const std::string& name) {
    std::istringstream stream(tsv);
    std::string header, row;
    std::getline(stream, header);
    std::getline(stream, row);
    std::istringstream names(header), values(row);
    for (std::string column, value; std::getline(names, column, '\t');) {
        std::getline(values, value, '\t');
        if (column == name)
            return std::stod(value);
    }
    return -1;
}

TEST_F(SpeciesAddTest, ImportedSpeciesFitsItsMeasurementBack) {
    const TRun add = Add();
    ASSERT_EQ(add.status, 0) << add.err;
    EXPECT_EQ(add.out, "Lines: 6 kept, 2 left out (1 with no A value, 1 with no energy of its "
                       "upper level); wavelengths in air.\n"
                       "Levels: 5 kept; the first, 4s2.4p5.(2P*<3/2>).5s 2[3/2]* J=2, is the "
                       "reference level of n_1.\n"
                       "m = 83.798 u: the standard atomic weight of Kr.\n"
                       "Boltzmax = 2: the levels of 4s2.4p5.5s, below the first excited "
                       "configuration 4s2.4p5.5p.\n"
                       "Written: " +
                           folder_.File("db/Kr_I_levels.txt") + ", " + folder_.File("db/Kr_I.txt") +
                           " and the section [Kr I] of " + ini_ + "\n");
    EXPECT_EQ(Cli("species").out, "Kr I\n");
    const TRun levels = Cli("levels");
    EXPECT_NE(levels.out.find(
                  "   1   4p5.(2P*<3/2>).5s      2[3/2]* 10.03242500         1.0           3\n"),
              std::string::npos)
        << levels.out;
    const TRun lines = Cli("lines");
    EXPECT_NE(lines.out.find(" KrI     769.45395  5.6000E+006"), std::string::npos) << lines.out;
    EXPECT_EQ(std::count(lines.out.begin(), lines.out.end(), '\n'), 7);

    const TRun made = Run(ZELT_MAKEDEMO_PATH,
                          "measurement --levels '" + folder_.File("db/Kr_I_levels.txt") +
                              "' --lines Kr,I --database '" + folder_.File("db") + "' --out '" +
                              folder_.File("kr.txt") +
                              "' --density 3e16 --temperature 2000 --mass 83.798 --boltzmax 2");
    ASSERT_EQ(made.status, 0) << made.err;
    const TRun fit = Cli("fit '" + folder_.File("kr.txt") + "' --fit-temperature --format tsv");
    ASSERT_EQ(fit.status, 0) << fit.err;
    EXPECT_NEAR(Column(fit.out, "n_1/m-3") / 3e16, 1, 1e-4) << fit.out;
    EXPECT_NEAR(Column(fit.out, "T/K"), 2000, 0.5) << fit.out;
}

TEST_F(SpeciesAddTest, RefusedImportWritesNothing) {
    std::string lines = test::kKrLines;
    lines.replace(lines.find("Ek(eV)"), 6, "Ek");
    folder_.Write("bad.csv", lines);
    const std::string ini = folder_.Read("zeltfit.ini");
    const TRun add = Add("bad.csv");
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, "File \"" + folder_.File("bad.csv") +
                           "\", line 1: the column \"Ek(eV)\" is missing; the lines export needs "
                           "the energies of both levels (\"Level information: Energies\", in eV "
                           "or cm-1)\n");
    EXPECT_TRUE(fs::is_empty(folder_.File("db")));
    EXPECT_EQ(folder_.Read("zeltfit.ini"), ini);
    EXPECT_EQ(Cli("species add 'Kr I' --lines x").status, 2);
}

} // namespace
} // namespace zelt
