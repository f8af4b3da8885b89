// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/DataFld.h"

#include "tablefiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace zelt {
namespace {

using test::AtomLine;
using test::kAtomHeader;
using test::TempFolder;

using Names = std::vector<std::string>;

// Loads only atomic tables, as the line model does.
bool LoadAtoms(TTextBase& base, const std::string& folder, const Names& names1, const Names& names2,
               bool second = false, bool third = false) {
    return base.Load(folder, names1, {}, names2, {}, second, third);
}

// Wavelength and code of every atomic record, e.g. "500 C1".
std::vector<std::string> Listing(const TTextBase& base) {
    std::vector<std::string> lines;
    TAtomRecord record;
    for (std::int32_t i = 0; i < base.AtomCount(); ++i) {
        base.GetAtom(i, record);
        std::ostringstream line;
        line.precision(10);
        line << record.Wavelength << " " << record.Code << " " << record.Order;
        lines.push_back(line.str());
    }
    return lines;
}

std::string AtomFile(std::initializer_list<std::pair<const char*, const char*>> lines) {
    std::string text = kAtomHeader;
    for (const auto& [wavelength, code] : lines)
        text += AtomLine(wavelength, code);
    return text;
}

template <class E> std::string ErrorText(auto&& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "no error";
}

TEST(TTextBase, MissingTablesGiveAnEmptyTable) {
    TempFolder folder;
    TTextBase base(1000, 500);
    EXPECT_EQ(base.AtomCount(), 1000); // the capacity until the first load
    EXPECT_EQ(base.MolCount(), 500);
    std::filesystem::create_directory(folder.Path() + "/Fe_II.txt"); // a folder, not a table
    EXPECT_TRUE(LoadAtoms(base, folder.Path() + "/", {"Fe"}, {"I", "II"}));
    EXPECT_EQ(base.AtomCount(), 0);
    EXPECT_EQ(base.MolCount(), 0);
    std::int32_t index = 7;
    std::uint8_t match = 7;
    TAtomRecord record;
    EXPECT_EQ(ErrorText<TextBaseError>([&] { base.FindNearest(0, index, 500, match, record); }),
              "High limits");
    EXPECT_EQ(ErrorText<TxtError>([&] { base.GetAtom(0, record); }), "High limits");
}

TEST(TTextBase, MergesFilesInWavelengthOrderEarlierFileFirstOnTies) {
    TempFolder folder;
    folder.Write("Fe_I.txt", AtomFile({{"400", "a1"}, {"500", "a2"}, {"600", "a3"}}));
    folder.Write("Fe_II.txt", AtomFile({{"450", "b1"}, {"500", "b2"}, {"700", "b3"}}));
    folder.Write("Co_I.txt", AtomFile({{"500", "c1"}}));
    TTextBase base(2, 0); // fewer places than records: the table grows
    int calls = 0;
    base.OnAtomsChanged = [&](TTextBase& changed) {
        EXPECT_EQ(&changed, &base);
        ++calls;
    };
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Co", "Fe"}, {"II", "I"}));
    EXPECT_EQ(Listing(base),
              (std::vector<std::string>{"400 a1 1", "450 b1 1", "500 c1 1", "500 b2 1", "500 a2 1",
                                        "600 a3 1", "700 b3 1"}));
    EXPECT_EQ(calls, 1);
}

TEST(TTextBase, CeilingAndInvalidLineEndTheirFile) {
    TempFolder folder;
    folder.Write("Fe_I.txt", AtomFile({{"400", "a1"}, {"1000000", "a2"}, {"500", "a3"}}));
    folder.Write("Fe_II.txt", AtomFile({{"450", "b1"}, {"-3", "b2"}, {"470", "b3"}}));
    folder.Write("Fe_III.txt", AtomFile({{"999999.5", "c1"}, {"2000000", "c2"}}));
    TTextBase base(10, 10);
    LoadAtoms(base, folder.Path(), {"Fe"}, {"I", "II", "III"});
    EXPECT_EQ(Listing(base), (std::vector<std::string>{"400 a1 1", "450 b1 1", "999999.5 c1 1"}));
}

TEST(TTextBase, SortsUnorderedFilesStably) {
    TempFolder folder;
    folder.Write(
        "Fe_I.txt",
        AtomFile({{"600", "a1"}, {"500", "a2"}, {"500", "a3"}, {"400", "a4"}, {"500", "a5"}}));
    TTextBase base(10, 10);
    LoadAtoms(base, folder.Path(), {"Fe"}, {"I"});
    // The merge takes the file's lines as they come; the sort then moves 400 down.
    EXPECT_EQ(Listing(base), (std::vector<std::string>{"400 a4 1", "500 a2 1", "500 a3 1",
                                                       "500 a5 1", "600 a1 1"}));
}

class TTextBaseSearch : public ::testing::Test {
protected:
    void SetUp() override {
        for (const double w : {500.0, 501.0, 502.0, 502.0, 510.0}) {
            TAtomRecord r;
            r.Wavelength = w;
            r.Code = std::to_string(base.AtomCount());
            base.AddAtom(r);
        }
        base.SetAtomLength(5);
    }
    // "index match" of the search from `start`.
    std::string Find(std::int32_t start, double key) {
        std::int32_t index = -7;
        std::uint8_t match = 7;
        TAtomRecord record;
        base.FindNearest(start, index, key, match, record);
        EXPECT_EQ(record.Code, std::to_string(index));
        return std::to_string(index) + " " + std::to_string(match);
    }
    TTextBase base{0, 0};
};

TEST_F(TTextBaseSearch, NearestRecordAndMatch) {
    EXPECT_EQ(Find(0, 500.75), "1 2");
    EXPECT_EQ(Find(0, 500.5), "1 2"); // equal distances: the record above the key
    EXPECT_EQ(Find(0, 500.25), "0 0");
    EXPECT_EQ(Find(0, 500), "0 1");
    EXPECT_EQ(Find(0, 100), "0 2");
    EXPECT_EQ(Find(0, 1e300), "4 0");
    EXPECT_EQ(Find(0, -1e308), "0 2");
    EXPECT_EQ(Find(0, 502), "2 1"); // the first of equal wavelengths
    EXPECT_EQ(Find(0, 506), "4 2");
    EXPECT_EQ(Find(0, 505.9), "3 0");
    EXPECT_EQ(Find(3, 501.1), "3 2");
    EXPECT_EQ(Find(4, 505.9), "3 0"); // may step below the start
    EXPECT_EQ(Find(4, 0), "3 2");
    EXPECT_EQ(Find(4, 520), "4 0");
}

TEST_F(TTextBaseSearch, LimitsOfSearchAndRecordAccess) {
    std::int32_t index = 0;
    std::uint8_t match = 0;
    TAtomRecord record;
    EXPECT_EQ(ErrorText<TextBaseError>([&] { base.FindNearest(-1, index, 500, match, record); }),
              "Low limits");
    EXPECT_EQ(ErrorText<TextBaseError>([&] { base.FindNearest(5, index, 500, match, record); }),
              "High limits");
    EXPECT_EQ(ErrorText<TxtError>([&] { base.GetAtom(-1, record); }), "Low limits");
    EXPECT_EQ(ErrorText<TxtError>([&] { base.GetAtom(5, record); }), "High limits");
    base.GetAtom(4, record);
    EXPECT_EQ(record.Wavelength, 510);
    TMolRecord mol;
    EXPECT_EQ(ErrorText<TxtError>([&] { base.GetMol(0, mol); }), "High limits");
}

TEST_F(TTextBaseSearch, ShorteningKeepsTheTableConsistent) {
    base.SetAtomLength(2);
    EXPECT_EQ(Find(0, 600), "1 0"); // searches only what is left
    TAtomRecord r;
    r.Wavelength = 520;
    r.Code = "2";
    base.AddAtom(r); // goes right after the records kept
    EXPECT_EQ(base.AtomCount(), 3);
    EXPECT_EQ(Find(0, 600), "2 0");
    base.ClearAtoms();
    EXPECT_EQ(base.AtomCount(), 0);
    std::int32_t index = 0;
    std::uint8_t match = 0;
    EXPECT_THROW(base.FindNearest(0, index, 500, match, r), TextBaseError);
}

TEST(TTextBase, SameNamesInAnyCaseReuseTheTable) {
    TempFolder folder;
    folder.Write("Fe_I.txt", AtomFile({{"400", "a1"}}));
    TTextBase base(1000, 500);
    int calls = 0;
    base.OnAtomsChanged = [&](TTextBase&) { ++calls; };
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I"}));
    folder.Write("Fe_I.txt", AtomFile({{"400", "a1"}, {"401", "a2"}}));
    EXPECT_FALSE(LoadAtoms(base, folder.Path(), {"fe"}, {"i"}));
    EXPECT_EQ(base.AtomCount(), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I", "II"}));
    EXPECT_EQ(base.AtomCount(), 2);
    EXPECT_EQ(calls, 2);
}

TEST(TTextBase, NameListsWithCommasAreNotMistakenForLongerLists) {
    TempFolder folder;
    folder.Write("Fe_I.txt", AtomFile({{"400", "a1"}}));
    folder.Write("Co_I.txt", AtomFile({{"300", "c1"}}));
    TTextBase base(10, 10);
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Co,Fe"}, {"I"}));
    EXPECT_EQ(base.AtomCount(), 0); // there is no file "Co,Fe_I.txt"
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Co", "Fe"}, {"I"}));
    EXPECT_EQ(base.AtomCount(), 2);
}

TEST(TTextBase, EmptyNameListsOnTheFirstLoadChangeNothing) {
    TTextBase base(1000, 500);
    int calls = 0;
    base.OnAtomsChanged = base.OnMolsChanged = [&](TTextBase&) { ++calls; };
    EXPECT_FALSE(base.Load("/nonexistent", {}, {}, {}, {}, false, false));
    EXPECT_EQ(base.AtomCount(), 0);
    EXPECT_EQ(base.MolCount(), 0);
    EXPECT_EQ(calls, 0);
}

TEST(TTextBase, SecondAndThirdOrderCopies) {
    TempFolder folder;
    folder.Write(
        "Fe_I.txt",
        AtomFile({{"179.5", "a"}, {"180", "b"}, {"300", "c"}, {"700", "d"}, {"700.5", "e"}}));
    TTextBase base(10, 10);
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I"}, true, false));
    EXPECT_EQ(Listing(base),
              (std::vector<std::string>{"179.5 a 1", "180 b 1", "300 c 1", "360 b 2", "600 c 2",
                                        "700 d 1", "700.5 e 1", "1400 d 2"}));
    // Switching the third order on adds only its copies to the kept table.
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I"}, true, true));
    EXPECT_EQ(Listing(base), (std::vector<std::string>{"179.5 a 1", "180 b 1", "300 c 1", "360 b 2",
                                                       "540 b 3", "600 c 2", "700 d 1", "700.5 e 1",
                                                       "900 c 3", "1400 d 2", "2100 d 3"}));
    EXPECT_FALSE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I"}, true, true));
    // Switching an order off reloads the table without it.
    EXPECT_TRUE(LoadAtoms(base, folder.Path(), {"Fe"}, {"I"}, false, true));
    EXPECT_EQ(Listing(base),
              (std::vector<std::string>{"179.5 a 1", "180 b 1", "300 c 1", "540 b 3", "700 d 1",
                                        "700.5 e 1", "900 c 3", "2100 d 3"}));
}

TEST(TTextBase, ReloadingOneTableLeavesTheOrderCopiesOfTheOtherAlone) {
    TempFolder folder;
    folder.Write("Fe_I.txt", AtomFile({{"300", "a"}}));
    folder.Write("m_CN_B-X.txt", "A\r\n\r\n\r\n\r\n400 1 1 1 1 1 1 x\r\n");
    folder.Write("m_CN_A-X.txt", "A\r\n\r\n\r\n\r\n200 1 1 1 1 1 1 y\r\n");
    TTextBase base(10, 10);
    EXPECT_TRUE(base.Load(folder.Path(), {"Fe"}, {"CN"}, {"I"}, {"B-X"}, true, false));
    EXPECT_EQ(base.AtomCount(), 2);
    EXPECT_EQ(base.MolCount(), 2);
    int atomCalls = 0;
    base.OnAtomsChanged = [&](TTextBase&) { ++atomCalls; };
    EXPECT_TRUE(base.Load(folder.Path(), {"Fe"}, {"CN"}, {"I"}, {"A-X"}, true, false));
    EXPECT_EQ(Listing(base), (std::vector<std::string>{"300 a 1", "600 a 2"}));
    EXPECT_EQ(atomCalls, 0);
    TMolRecord mol;
    base.GetMol(1, mol);
    EXPECT_EQ(mol.Wavelength, 400);
    EXPECT_EQ(mol.Order, 2);
    EXPECT_EQ(mol.Name2, "A-X");
}

TEST(TTextBase, LoadsMolecularTables) {
    TempFolder folder;
    folder.Write("m_CN_B-X.txt", "F\r\n\r\n\r\n\r\n400 1 1 1 1 1 1 x\r\n380 2 1 1 1 1 1 y\r\n");
    folder.Write("m_CN_A-X.txt", "F\r\n\r\n\r\n\r\n390 1 1 1 1 1 1 z\r\n");
    TTextBase base(1000, 500);
    int molCalls = 0;
    base.OnMolsChanged = [&](TTextBase&) { ++molCalls; };
    EXPECT_TRUE(base.Load(folder.Path(), {}, {"CN"}, {}, {"B-X", "A-X"}, false, false));
    EXPECT_EQ(base.AtomCount(), 0);
    ASSERT_EQ(base.MolCount(), 3);
    std::string texts;
    TMolRecord mol;
    for (std::int32_t i = 0; i < base.MolCount(); ++i) {
        base.GetMol(i, mol);
        texts += mol.Text + mol.Name2 + " ";
    }
    EXPECT_EQ(texts, "yB-X zA-X xB-X ");
    EXPECT_EQ(molCalls, 1);
    EXPECT_FALSE(base.Load(folder.Path(), {}, {"cn"}, {}, {"b-x", "a-x"}, false, false));
}

} // namespace
} // namespace zelt
