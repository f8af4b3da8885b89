// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/atomicdata.h"
#include "linemodel/commatext.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

using test::kLevelHeader;
using test::LevelLine;
using test::MessageLog;
using test::TempFolder;

using Texts = std::vector<std::string>;

TEST(LoadLevels, ReadsColumnsAndNumbers) {
    TempFolder folder;
    MessageLog messages;
    TAtomicData data(messages.Callback());
    // A configuration with a blank inside, one with leading blanks, a half-integer J.
    const std::string file = folder.Write(
        "levels.txt", kLevelHeader + LevelLine("3p5 4s", "2P*", 2, "11.5") +
                          LevelLine("  3d", "4F", 2.5, "12.25") +
                          "5s                     3S*             1 13.0 rest ignored\r\n");
    data.LoadLevels(file);
    ASSERT_EQ(data.Levels.size(), 3);
    EXPECT_EQ(data.Levels[0].Configuration, "3p5 4s");
    EXPECT_EQ(data.Levels[0].Term, "2P*");
    EXPECT_EQ(data.Levels[0].G, 5);
    EXPECT_EQ(data.Levels[1].Configuration, "3d");
    EXPECT_EQ(data.Levels[1].Term, "4F");
    EXPECT_EQ(data.Levels[1].J, 2.5);
    EXPECT_EQ(data.Levels[1].G, 6);
    EXPECT_EQ(data.Levels[1].Energy, 12.25);
    EXPECT_EQ(data.Levels[2].Term, "3S*");
    EXPECT_EQ(data.Levels[2].Energy, 13.0);
    EXPECT_TRUE(messages.texts.empty());

    Texts list;
    data.ListLevels(list);
    EXPECT_EQ(list, (Texts{
                        "   i   Configuration          Term        Energy           J           g",
                        "   0   3p5 4s                 2P*    11.50000000         2.0           5",
                        "   1   3d                     4F     12.25000000         2.5           6",
                        "   2   5s                     3S*    13.00000000         1.0           3",
                    }));
}

TEST(LoadLevels, EndsQuietlyAtTheEndOfTheText) {
    TempFolder folder;
    MessageLog messages;
    TAtomicData data(messages.Callback());
    data.LoadLevels(folder.Write("header.txt", kLevelHeader));
    EXPECT_EQ(data.Levels.size(), 0);

    // Trailing blank lines and white space are no level (they were once read as energy 0).
    data.LoadLevels(folder.Write("trailing.txt", kLevelHeader + LevelLine("a", "1S", 0, "1.0") +
                                                     LevelLine("b", "3P", 1, "2.0") +
                                                     "\r\n   \r\n\t\r\n"));
    EXPECT_EQ(data.Levels.size(), 2);
    // No line end after the last level.
    std::string last = LevelLine("a", "1S", 0, "1.0");
    last.resize(last.size() - 2);
    data.LoadLevels(folder.Write("noend.txt", kLevelHeader + last));
    ASSERT_EQ(data.Levels.size(), 1);
    EXPECT_EQ(data.Levels[0].Energy, 1.0);
    EXPECT_TRUE(messages.texts.empty());
}

TEST(LoadLevels, StopsAtEnergiesNotAscending) {
    TempFolder folder;
    MessageLog messages;
    TAtomicData data(messages.Callback());
    data.LoadLevels(folder.Write("equal.txt", kLevelHeader + LevelLine("a", "1S", 0, "1.25") +
                                                  LevelLine("b", "3P", 1, "2.5") +
                                                  LevelLine("c", "3P", 2, "2.5") +
                                                  LevelLine("d", "1P", 1, "3.0")));
    EXPECT_EQ(data.Levels.size(), 2);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
              "Energy values 2.5000000 2.5000000 are not unique or not ascending. Stopping here.");

    // A file that ends inside a record reads the missing numbers as 0.
    messages.texts.clear();
    data.LoadLevels(folder.Write("cut.txt", kLevelHeader + LevelLine("a", "1S", 0, "1.25") +
                                                "b                      3P"));
    EXPECT_EQ(data.Levels.size(), 1);
    EXPECT_EQ(messages.texts, Texts{"Energy values 1.2500000 0.0000000 are not unique or not "
                                    "ascending. Stopping here."});
}

TEST(LoadLevels, KeepsThePreviousLevelsWhenTheFileIsMissing) {
    TempFolder folder;
    TAtomicData data(nullptr);
    data.LoadLevels(folder.Write("levels.txt", kLevelHeader + LevelLine("a", "1S", 0, "1.0")));
    EXPECT_THROW(data.LoadLevels(folder.File("missing.txt")), EInOutError);
    EXPECT_EQ(data.Levels.size(), 1);
    // A number that cannot be read names the file and the line.
    const std::string message = test::ErrorText<EInOutError>([&] {
        data.LoadLevels(folder.Write("bad.txt", kLevelHeader + LevelLine("a", "1S", 0, "1,5")));
    });
    EXPECT_NE(message.find("bad.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("line 4"), std::string::npos) << message;
}

TEST(LoadLevels, RefusesAJWhoseWeightIsBeyondADouble) {
    TempFolder folder;
    TAtomicData data(nullptr);
    const std::string file =
        folder.Write("huge.txt", kLevelHeader + LevelLine("a", "1S", 0, "1.0") +
                                     "b                      3P           1e308 2.0\r\n");
    EXPECT_EQ(test::ErrorText<EOverflow>([&] { data.LoadLevels(file); }),
              "Floating point overflow in the statistical weight of J = 1E308 in file \"" + file +
                  "\", line 5");
    ASSERT_EQ(data.Levels.size(), 1);
    EXPECT_EQ(data.Levels[0].Energy, 1.0);
}

TEST(SplitCommaText, FollowsTheConfigurationListRules) {
    EXPECT_EQ(SplitCommaText("Fe,I"), (Texts{"Fe", "I"}));
    EXPECT_EQ(SplitCommaText("Fe, I"), (Texts{"Fe", "I"}));
    EXPECT_EQ(SplitCommaText("  Fe   I "), (Texts{"Fe", "I"}));
    EXPECT_EQ(SplitCommaText("Fe"), (Texts{"Fe"}));
    EXPECT_EQ(SplitCommaText("Fe,I,x"), (Texts{"Fe", "I", "x"}));
    EXPECT_EQ(SplitCommaText("Fe,I,"), (Texts{"Fe", "I", ""}));
    EXPECT_EQ(SplitCommaText(",,"), (Texts{"", "", ""}));
    EXPECT_EQ(SplitCommaText("\"Fe I, x\",I"), (Texts{"Fe I, x", "I"}));
    EXPECT_EQ(SplitCommaText("\"a\"\"b\" c"), (Texts{"a\"b", "c"}));
    EXPECT_EQ(SplitCommaText("\"open"), (Texts{"open"}));
    EXPECT_EQ(SplitCommaText(""), Texts{});
}

TEST(LoadLineBase, ReadsTheTableOfTheTwoNames) {
    TAtomicData data(nullptr);
    const std::string folder = std::string(ZELT_SOURCE_DIR) + "/data/";
    EXPECT_EQ(test::ErrorText<Exception>([&] { data.LoadLineBase(folder, "Ar"); }),
              "Wrong source in ini file. ");
    EXPECT_EQ(data.LineBase, nullptr);
    data.LoadLineBase(folder, "Ar, I");
    ASSERT_NE(data.LineBase, nullptr);
    EXPECT_EQ(data.LineBase->AtomCount(), 29);
    const TTextBase* loaded = data.LineBase.get();
    EXPECT_EQ(test::ErrorText<Exception>([&] { data.LoadLineBase(folder, "Ar,I,x"); }),
              "Wrong source in ini file. ");
    EXPECT_EQ(data.LineBase.get(), loaded);
    // A table file that is missing, or not in its columns, is an error that keeps the table.
    EXPECT_EQ(test::ErrorText<EInOutError>([&] { data.LoadLineBase(folder, "Ar,Itest"); }),
              "Cannot open file \"" + folder +
                  "/Ar_Itest.txt\": file not found (the line table "
                  "of Lines=Ar,Itest)");
    test::TempFolder bad;
    bad.Write("Ar_I.txt", test::kTableHeader + "Ar I 696.5431 1\r\n");
    EXPECT_EQ(test::ErrorText<TxtError>([&] { data.LoadLineBase(bad.Folder(), "Ar,I"); }),
              "Line 6 of the line table \"" + bad.Folder() +
                  "/Ar_I.txt\" is not in the fixed "
                  "columns: expected one word for the ion in columns 4-7 (read element \"Ar\", ion "
                  "\"I 69\", wavelength 6.5431 nm)");
    EXPECT_EQ(data.LineBase.get(), loaded);

    Texts list;
    data.ListLines(false, list);
    ASSERT_EQ(list.size(), 30u);
    EXPECT_EQ(list[0], "Elem       wl (nm)         Aki   log_gf    gi    gk");
    EXPECT_EQ(list[1], " ArI     667.72820  2.3600E+005  -2.8000     3     1");
    EXPECT_EQ(list[29], " ArI    1148.81090  1.9000E+005  -1.9500     3     3");
}

TEST(ListLines, ShowsLinesWithoutTransitionProbabilityOnlyWhenAskedTo) {
    test::SmallSpecies species;
    TAtomicData data(nullptr);
    Texts list;
    data.ListLines(false, list);
    EXPECT_EQ(list.size(), 1u); // the header only, before the first species
    species.Load(data);
    data.ListLines(false, list);
    EXPECT_EQ(list.size(), 5u);
    data.ListLines(true, list);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[5], "  XI     600.00000  0.0000E+000  -1.0000     5     5");
}

TEST(ChangeSpecies, StartsAFreshSpecies) {
    test::SmallSpecies species;
    TAtomicData data(nullptr);
    species.Load(data);
    data.ImportLines(species.Measurement("500.10 10\r\n520.20 5\r\n"));
    EXPECT_EQ(data.SelectedLines.size(), 2);
    data.ResultHeaderCount = 3;

    test::LoadArgon(data);
    EXPECT_EQ(data.SelectedLines.size(), 0);
    EXPECT_EQ(data.ResultHeaderCount, 0);
    EXPECT_EQ(data.Levels.size(), 14);
    EXPECT_EQ(data.LineBase->AtomCount(), 29);
    Texts list;
    data.ListLevels(list);
    EXPECT_EQ(list[1], "   0   3p5(3/2)4s             2[3/2]* 11.54835433         2.0           5");
}

} // namespace
} // namespace zelt
