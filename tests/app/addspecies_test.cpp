// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/addspecies.h"

#include "common/errors.h"
#include "common/textfile.h"
#include "tests/common/tempfolder.h"
#include "tests/textinput/asdfiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zelt {
namespace {

namespace fs = std::filesystem;

// A comment, CR LF line ends and a species before: the import must leave their bytes alone.
const std::string kIni = "; my settings\r\n[_Files]\r\nDatabase=DB\r\n[Ar I]\r\nLevels=Ar_levels."
                         "txt\r\nLines=Ar,I\r\nm=39.948\r\n";

class AddSpeciesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_.File("db"));
        std::string ini = kIni;
        ini.replace(ini.find("DB"), 2, folder_.File("db"));
        ini_ = ini;
        folder_.Write("zeltfit.ini", ini);
        folder_.Write("lines.csv", test::kKrLines);
        folder_.Write("levels.csv", test::kKrExcitedLevels);
    }
    TAddSpeciesRequest Request(const std::string& name = "Kr I") const {
        return {name, folder_.File("lines.csv"), folder_.File("levels.csv"), {}, {}, {}};
    }
    std::string Refusal(const TAddSpeciesRequest& request) {
        try {
            WriteSpecies(config_, PlanSpecies(config_, request));
        } catch (const Exception& error) {
            return error.message();
        }
        return "written";
    }
    // Nothing but the exports' import was written: the database is empty, the ini as it was.
    void ExpectNothingWritten() const {
        EXPECT_TRUE(fs::is_empty(folder_.File("db")));
        EXPECT_EQ(folder_.Read("zeltfit.ini"), ini_);
    }

    test::TempFolder folder_;
    std::string ini_;
    TConfigStore config_{folder_.File("zeltfit.ini")};
};

TEST_F(AddSpeciesTest, WritesBothFilesAndTheSectionKeepingTheIniBytes) {
    const TSpeciesPlan plan = PlanSpecies(config_, Request());
    EXPECT_EQ(plan.Notes, (std::vector<std::string>{
                              "Lines: 6 kept, 2 left out (1 with no A value, 1 with no energy of "
                              "its upper level); wavelengths in air.",
                              "Levels: 5 kept; the first, 4s2.4p5.(2P*<3/2>).5s 2[3/2]* J=2, is "
                              "the reference level of n_1.",
                              "m = 83.798 u: the standard atomic weight of Kr.",
                              "Boltzmax = 2: the levels of 4s2.4p5.5s, below the first excited "
                              "configuration 4s2.4p5.5p."}));
    ExpectNothingWritten();
    WriteSpecies(config_, plan);
    EXPECT_EQ(folder_.Read("zeltfit.ini"),
              ini_ + "[Kr I]\r\nLevels=Kr_I_levels.txt\r\nLines=Kr,I\r\nm=83.798\r\n"
                     "Boltzmax=2\r\nWavelengths=air\r\n");
    EXPECT_EQ(folder_.Read("db/Kr_I_levels.txt"), AsdLevelFileText(plan.Import));
    EXPECT_EQ(folder_.Read("db/Kr_I.txt"), AsdLineTableText(plan.Import));

    TAddSpeciesRequest given = Request("Kr I trace");
    given.Mass = 83.911;
    given.Boltzmax = 1;
    WriteSpecies(config_, PlanSpecies(config_, given));
    EXPECT_EQ(config_.ReadString("Kr I trace", "Lines", ""), "Kr,I_trace");
    EXPECT_EQ(config_.ReadString("Kr I trace", "m", ""), "83.911");
    EXPECT_TRUE(fs::exists(folder_.File("db/Kr_I_trace.txt")));
}

TEST_F(AddSpeciesTest, RefusalsWriteNothing) {
    EXPECT_EQ(Refusal(Request("Krypton")),
              "Species name \"Krypton\": expected the element and its ion stage first, as in "
              "\"Kr I\"");
    EXPECT_EQ(Refusal(Request("Kr I a/b")),
              "Species name \"Kr I a/b\": the character \"/\" cannot stand in the names of its "
              "files; use letters, digits, \"+\", \"-\" and \".\"");
    EXPECT_EQ(Refusal(Request("Ar  I")), "The species section [Ar I] is in \"" +
                                             folder_.File("zeltfit.ini") +
                                             "\" already: remove it, or choose another name");
    TAddSpeciesRequest mass = Request();
    mass.Mass = -1;
    EXPECT_EQ(Refusal(mass), "Mass -1: expected the atomic mass in u, a number above 0");
    TAddSpeciesRequest boltzmax = Request();
    boltzmax.Boltzmax = 6;
    EXPECT_EQ(Refusal(boltzmax),
              "Boltzmax 6: expected a number of levels from 1 to the 5 levels kept");
    EXPECT_EQ(Refusal(Request("Tc I")),
              "Tc has no standard atomic weight: give the mass of its isotope");
    folder_.Write("levels.csv", "Configuration,Term,J,\"Level (eV)\"\r\n");
    EXPECT_TRUE(Refusal(Request()).starts_with("File \"" + folder_.File("lines.csv") +
                                               "\", line 2, column 10 \"Ei(eV)\": the lower "
                                               "level 4s2.4p5.(2P*<3/2>).5s 2[3/2]* J=2 at "
                                               "9.915440 eV of the line 810.4364 nm"));
    ExpectNothingWritten();
    folder_.Write("db/Kr_I.txt", "mine\r\n");
    EXPECT_EQ(Refusal(Request()), "The file \"" + folder_.File("db/Kr_I.txt") +
                                      "\" is there already: remove it, or choose another "
                                      "species name");
    EXPECT_EQ(folder_.Read("db/Kr_I.txt"), "mine\r\n");
}

// A second writer puts a folder where the line table goes after the plan: the level file that
// could be written is not left behind, nor the section.
TEST_F(AddSpeciesTest, AllOrNone) {
    const TSpeciesPlan plan = PlanSpecies(config_, Request());
    fs::create_directory(plan.LineTable);
    EXPECT_THROW(WriteSpecies(config_, plan), EInOutError);
    fs::remove(plan.LineTable);
    ExpectNothingWritten();
}

// The shipped rare-gas folder is what the importer makes of the exports beside it.
TEST(ShippedSpeciesTest, RareGasFilesAreTheImportOfTheirExports) {
    test::TempFolder folder;
    const std::string shipped = ZELT_SOURCE_DIR "/data/rare-gases/";
    folder.Write("zeltfit.ini", "[_Files]\r\nDatabase=" + folder.Path() + "\r\n");
    TConfigStore config(folder.File("zeltfit.ini"));
    const TSpeciesPlan plan = PlanSpecies(
        config,
        {"Ar I", shipped + "Ar_I_lines_asd.csv", shipped + "Ar_I_levels_asd.csv", {}, {}, {}});
    WriteSpecies(config, plan);
    for (const std::string name : {"Ar_I.txt", "Ar_I_levels.txt"})
        EXPECT_EQ(folder.Read(name), ReadFileBytes(shipped + name)) << name;
    EXPECT_EQ(plan.Import.Lines.size(), 29u);
    EXPECT_EQ(plan.Boltzmax, 4);
}

TEST(StandardAtomicWeightTest, RareGases) {
    EXPECT_EQ(StandardAtomicWeight("Ne"), 20.1797);
    EXPECT_EQ(StandardAtomicWeight("Ar"), 39.948);
    EXPECT_EQ(StandardAtomicWeight("Kr"), 83.798);
    EXPECT_EQ(StandardAtomicWeight("Xe"), 131.293);
    EXPECT_EQ(StandardAtomicWeight("Tc"), std::nullopt);
}

} // namespace
} // namespace zelt
