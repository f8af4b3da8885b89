// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/TxtAccessNew.h"

#include "tablefiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace zelt {
namespace {

using test::AtomLine;
using test::AtomLineFields;
using test::kAtomHeader;
using test::TempFolder;

// Reads every record of an atomic table file until ReadRecord reports false.
std::vector<TAtomRecord> ReadAll(const std::string& fileName) {
    TAtomFile file(fileName);
    file.OpenRead();
    std::vector<TAtomRecord> records;
    TAtomRecord record;
    while (file.ReadRecord(record))
        records.push_back(record);
    file.Close();
    return records;
}

TEST(TAtomFile, ReadsEveryFieldOfADataLine) {
    TempFolder folder;
    AtomLineFields f;
    f.element = "H";
    f.ion = "II";
    f.text5 = " x y  ";
    const auto name = folder.Write("H_II.txt", kAtomHeader + AtomLine(f) + AtomLine("501.5", "C2"));
    const auto records = ReadAll(name);
    ASSERT_EQ(records.size(), 2u);
    const TAtomRecord& r = records[0];
    EXPECT_EQ(r.Element, "H");
    EXPECT_EQ(r.Ion, "II");
    EXPECT_EQ(r.Wavelength, 500);
    EXPECT_EQ(r.Value1, 1.5);
    EXPECT_EQ(r.Aki, 5e7);
    EXPECT_EQ(r.Value2, 2);
    EXPECT_EQ(r.Value3, 3);
    EXPECT_EQ(r.LogGf, -1.25);
    EXPECT_EQ(r.Code, "C1");
    EXPECT_EQ(r.ELower, 0.5);
    EXPECT_EQ(r.EUpper, 2.75);
    EXPECT_EQ(r.Value4, 1.5);
    EXPECT_EQ(r.Value5, 2.5);
    EXPECT_EQ(r.Gi, 9);
    EXPECT_EQ(r.Gk, 11);
    EXPECT_EQ(r.Text1, "3d6.4s2 a5D-3d6.4s.4p z5F");
    EXPECT_EQ(r.Text2, "a5D-z5F");
    EXPECT_EQ(r.Text3, "T3");
    EXPECT_EQ(r.Text4, "Text four");
    EXPECT_EQ(r.Text5, " x y    "); // padded to its 8 columns, not trimmed
    EXPECT_EQ(r.Order, 1);
    EXPECT_EQ(records[1].Wavelength, 501.5);
    EXPECT_EQ(records[1].Code, "C2");
    EXPECT_EQ(records[1].Element, "Fe");
}

TEST(TAtomFile, KeepsWindows1252BytesAndTrimsOnlyControlsAndBlanks) {
    TempFolder folder;
    AtomLineFields f;
    f.element = "\xC4";
    f.text1 = "\xB1 1/2\xA0";
    f.text4 = "\t\xE9t\xE9";
    const auto records = ReadAll(folder.Write("x.txt", kAtomHeader + AtomLine(f)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Element, "\xC4");
    EXPECT_EQ(records[0].Text1, "\xB1 1/2\xA0"); // 0xA0 is above code 32 and stays
    EXPECT_EQ(records[0].Text4, "\xE9t\xE9");
}

TEST(TAtomFile, UnreadableNumbersTakeTheirSubstitutes) {
    TempFolder folder;
    AtomLineFields badLogGf;
    badLogGf.logGf = "n/a";
    AtomLineFields badGi;
    badGi.gi = "nine";
    badGi.aki = "?";
    AtomLineFields badWavelength;
    badWavelength.wavelength = "abc";
    const auto records =
        ReadAll(folder.Write("x.txt", kAtomHeader + AtomLine(badLogGf) + AtomLine(badGi) +
                                          AtomLine(badWavelength) + AtomLine("600")));
    ASSERT_EQ(records.size(), 2u); // the bad wavelength ends the file
    EXPECT_EQ(records[0].LogGf, 0);
    EXPECT_EQ(records[0].Code, "C1");
    EXPECT_EQ(records[1].Gi, -1);
    EXPECT_EQ(records[1].Gk, 11);
    EXPECT_EQ(records[1].Aki, -1e8); // the substitute is scaled like a value
}

TEST(TAtomFile, FileEndsAtHeaderEmptyLineOrInvalidRecord) {
    TempFolder folder;
    EXPECT_TRUE(ReadAll(folder.Write("header.txt", kAtomHeader)).empty());
    EXPECT_TRUE(ReadAll(folder.Write("empty.txt", "")).empty());
    EXPECT_TRUE(ReadAll(folder.Write("short.txt", "only\r\ntwo lines")).empty());
    EXPECT_EQ(
        ReadAll(folder.Write("gap.txt", kAtomHeader + AtomLine("500") + "\r\n" + AtomLine("501")))
            .size(),
        1u);
    EXPECT_EQ(ReadAll(folder.Write("zero.txt",
                                   kAtomHeader + AtomLine("500") + AtomLine("0") + AtomLine("501")))
                  .size(),
              1u);
    AtomLineFields blankElement; // two blanks are a field; it is trimmed only after the test
    blankElement.element = "";
    const auto records = ReadAll(folder.Write("blank.txt", kAtomHeader + AtomLine(blankElement)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Element, "");
}

TEST(TAtomFile, LastLineWithoutLineEndAndUnixLineEnds) {
    TempFolder folder;
    std::string last = AtomLine("501");
    last.resize(last.size() - 2 - 7); // without "ignored" and CR LF: ends right after Text5
    auto records = ReadAll(folder.Write("x.txt", kAtomHeader + AtomLine("500") + last));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Wavelength, 501);
    EXPECT_EQ(records[1].Text5, " five 5 ");

    std::string unix = kAtomHeader + AtomLine("500") + AtomLine("501");
    std::erase(unix, '\r');
    records = ReadAll(folder.Write("unix.txt", unix));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Text5, " five 5 ");
}

TEST(TAtomFile, ShortLinesTakeMissingNumbersFromTheNextLine) {
    TempFolder folder;
    // Gi and Gk stand on the next line, and the texts (all 5 fields wide) follow them there.
    const std::string texts = test::Pad("a-b", 40 + 1 + 16 + 1 + 4 + 1 + 14 + 1 + 8);
    const auto records = ReadAll(
        folder.Write("x.txt", kAtomHeader + "Fe I    500 1 2 3 4 5 C1   6 7 8 9\r\n10 11 " + texts +
                                  "\r\nFe II   600 1 1 1 1 1 C2   1 1 1 1 1 1\r\n"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Value4, 8);
    EXPECT_EQ(records[0].Value5, 9);
    EXPECT_EQ(records[0].Gi, 10);
    EXPECT_EQ(records[0].Gk, 11);
    EXPECT_EQ(records[0].Text1, "a-b");
    EXPECT_EQ(records[1].Ion, "II");
    EXPECT_EQ(records[1].Text1, "");
}

TEST(TAtomFile, HostileFilesEndReadingCalmly) {
    TempFolder folder;
    std::string binary;
    std::mt19937 random(7);
    for (int i = 0; i < 100000; ++i)
        binary += static_cast<char>(random());
    EXPECT_LE(ReadAll(folder.Write("binary.txt", binary)).size(), 100000u);

    const std::string longLine(10 * 1024 * 1024, 'x');
    EXPECT_TRUE(ReadAll(folder.Write("long1.txt", kAtomHeader + longLine)).empty());
    auto records =
        ReadAll(folder.Write("long2.txt", kAtomHeader + AtomLine("500") + longLine + "\r\n"));
    EXPECT_EQ(records.size(), 1u);
    AtomLineFields longText;
    longText.text5 = longLine; // the rest of the line is skipped
    records = ReadAll(folder.Write("long3.txt", kAtomHeader + AtomLine(longText) + AtomLine("7")));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Wavelength, 7);

    for (const char* token : {"1e400", "-1e400", "NaN", "nan", "inf", "Infinity", "0x10", "1e",
                              "--5", "1.2.3", "+", "."}) {
        AtomLineFields f;
        f.wavelength = token;
        EXPECT_TRUE(ReadAll(folder.Write("bad.txt", kAtomHeader + AtomLine(f))).empty()) << token;
    }
    AtomLineFields tiny;
    tiny.wavelength = "1e-400"; // underflows to 0: no valid wavelength, but no error either
    EXPECT_TRUE(ReadAll(folder.Write("tiny.txt", kAtomHeader + AtomLine(tiny))).empty());
    AtomLineFields hugeAki;
    hugeAki.aki = "1e301"; // 1e309 s-1 is beyond a double: the line is refused
    EXPECT_TRUE(ReadAll(folder.Write("aki.txt", kAtomHeader + AtomLine(hugeAki))).empty());
    AtomLineFields hugeGi;
    hugeGi.gi = "2147483648";
    records = ReadAll(folder.Write("gi.txt", kAtomHeader + AtomLine(hugeGi)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Gi, -1);
}

// A row written with single blanks reads, by the fixed columns, as a valid record of element
// "Ar", ion "I 69" at 6.5431 nm: it is refused, naming the file, the line and the column.
TEST(TAtomFile, RefusesARowThatIsNotInTheFixedColumns) {
    TempFolder folder;
    const std::string row = " 14352.6566 0.064 7 0 -0.85 B+ 11.54835433 13.32785693 2 1 5 3 x\r\n";
    const auto refusal = [&](const std::string& text) {
        const std::string name = folder.Write("Ar_I.txt", kAtomHeader + AtomLine("500") + text);
        try {
            ReadAll(name);
        } catch (const TxtError& e) {
            return std::string(e.what()).substr(
                ("Line 7 of the line table \"" + name + "\"").size());
        }
        return std::string("no error");
    };
    EXPECT_EQ(refusal("Ar I 696.5431" + row),
              " is not in the fixed columns: expected one word for the ion in columns 4-7 (read "
              "element \"Ar\", ion \"I 69\", wavelength 6.5431 nm)");
    EXPECT_EQ(refusal("ArI  696.5431" + row),
              " is not in the fixed columns: expected a blank in column 3, after the element in "
              "columns 1-2 (read element \"Ar\", ion \"69\", wavelength 6.5431 nm)");
    AtomLineFields code;
    code.code = "B 11";
    code.eLower = ".5";
    EXPECT_EQ(refusal(AtomLine(code)),
              " is not in the fixed columns: expected one word for the 4-character code after log "
              "gf (read element \"Fe\", ion \"I\", wavelength 500 nm)");
    // An empty line still ends the table quietly, whatever follows it.
    EXPECT_EQ(refusal("\r\nAr I 696.5431" + row), "no error");
}

TEST(TAtomFile, HundredDigitTokenIsReadIn64CharacterPieces) {
    TempFolder folder;
    AtomLineFields f;
    f.wavelength = std::string(100, '1');
    const auto records = ReadAll(folder.Write("x.txt", kAtomHeader + AtomLine(f)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_DOUBLE_EQ(records[0].Wavelength, 1.1111111111111111e63);
    EXPECT_DOUBLE_EQ(records[0].Value1, 1.1111111111111111e35); // the other 36 digits
    EXPECT_EQ(records[0].Aki, 1.5e8);                           // fields shift by one
}

TEST(TTextFile, OpenErrorsNameTheFileAndLeaveItClosed) {
    TempFolder folder;
    const std::string missing = folder.Path() + "/Fe_I.txt";
    TAtomFile file(missing);
    try {
        file.OpenRead();
        FAIL() << "no error for a missing file";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    EXPECT_FALSE(file.IsOpen());
    TAtomRecord record;
    EXPECT_FALSE(file.ReadRecord(record));

    std::filesystem::create_directory(folder.Path() + "/dir.txt");
    TMolFile dir(folder.Path() + "/dir.txt");
    EXPECT_THROW(dir.OpenRead(), EInOutError);
    EXPECT_FALSE(dir.IsOpen());
}

TEST(TTextFile, PrimitivesFollowTheReadingRules) {
    TempFolder folder;
    TTextFile file(folder.Write("x.txt", "  12.5\r\n x 7 3.5 AbCdEf\r\n\t\tZ"));
    double value = 99;
    std::int32_t count = 99;
    std::string text = "old";
    file.ReadFloat(value); // before OpenRead: the substitutes, nothing raised
    EXPECT_EQ(value, -1);
    file.ReadInt(count);
    EXPECT_EQ(count, -1);
    file.ReadText2(text);
    EXPECT_EQ(text, "");
    EXPECT_THROW(file.SkipSeparator(1), EInOutError);

    file.OpenRead();
    EXPECT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.IsInput());
    file.ReadFloat(value);
    EXPECT_EQ(value, 12.5);
    file.ReadFloatDef(value, 42); // "x"
    EXPECT_EQ(value, 42);
    file.ReadInt(count);
    EXPECT_EQ(count, 7);
    file.ReadInt(count); // "3.5"
    EXPECT_EQ(count, -1);
    EXPECT_EQ(file.SkipSeparator(1), ' ');
    file.ReadText4(text);
    EXPECT_EQ(text, "AbCd");
    file.ReadText4(text); // stops at the line end
    EXPECT_EQ(text, "Ef");
    EXPECT_EQ(file.SkipSeparator(1), '\r'); // exactly one character, whatever it is
    EXPECT_EQ(file.SkipSeparator(10), 'Z'); // goes on past LF and tabs
    EXPECT_EQ(file.SkipSeparator(1), 26);   // end of file
    file.ReadFloat(value);
    EXPECT_EQ(value, 0); // a number at the end of the file is 0
    file.ReadText2(text);
    EXPECT_EQ(text, "");
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    file.Close();
}

TEST(TTextFile, OpenWriteEmptiesTheFileAndOpenTwiceDoesNothing) {
    TempFolder folder;
    const auto name = folder.Write("x.txt", kAtomHeader + AtomLine("500") + AtomLine("501"));
    TAtomFile file(name);
    file.OpenRead();
    file.OpenRead(); // already open: the header is not skipped a second time
    TAtomRecord record;
    ASSERT_TRUE(file.ReadRecord(record));
    EXPECT_EQ(record.Wavelength, 500);
    file.OpenWrite(); // already open for reading: nothing
    EXPECT_TRUE(file.IsInput());
    file.Close();

    file.OpenWrite();
    EXPECT_FALSE(file.IsInput());
    EXPECT_FALSE(file.ReadRecord(record)); // not open for reading
    file.Close();
    EXPECT_EQ(std::filesystem::file_size(name), 0u);

    TAtomFile bad(folder.Path() + "/no/such/folder/x.txt");
    EXPECT_THROW(bad.OpenWrite(), EInOutError);
    EXPECT_FALSE(bad.IsOpen());
}

TEST(TMolFile, ReadsHeaderTypeScalingAndNamesFromTheFileName) {
    TempFolder folder;
    const std::string lines = "  400.5 2 3.5 4 5 16 1e21   band head text  \r\n"
                              "401 -1 0 1 2 3 -4 " +
                              std::string(60, 'y') + "\r\n0 1 1 1 1 1 1 z\r\n500 1 1 1 1 1 1\r\n";
    const auto typeA = folder.Write("m_CN_B-X.txt", "apple\r\nh2\r\nh3\r\nh4\r\n" + lines);
    TMolFile file(typeA);
    file.OpenRead();
    EXPECT_TRUE(file.HeaderTypeA());
    TMolRecord r;
    ASSERT_TRUE(file.ReadRecord(r));
    EXPECT_EQ(r.Name1, "CN");
    EXPECT_EQ(r.Name2, "B-X");
    EXPECT_EQ(r.Wavelength, 400.5);
    EXPECT_EQ(r.Value1, 2e14);
    EXPECT_EQ(r.Value2, 3.5);
    EXPECT_EQ(r.Count1, 4);
    EXPECT_EQ(r.Count2, 5);
    EXPECT_DOUBLE_EQ(r.Value3, 16 / 8e42);
    EXPECT_EQ(r.Value4, 10);
    EXPECT_EQ(r.Text, "band head text");
    EXPECT_EQ(r.Order, 1);
    ASSERT_TRUE(file.ReadRecord(r));
    EXPECT_EQ(r.Value1, -1); // not scaled when not above 0
    EXPECT_EQ(r.Value3, 3);
    EXPECT_EQ(r.Value4, -4);
    EXPECT_EQ(r.Text, std::string(49, 'y')); // the blank after -4 is the first of the 50
    EXPECT_FALSE(file.ReadRecord(r));        // wavelength 0 ends the file
    file.Close();

    const auto typeF =
        folder.Write("m_OHradical_A-X-long.x.txt", "F\r\nh2\r\nh3\r\nh4\r\n" + lines);
    TMolFile other(typeF);
    other.OpenRead();
    EXPECT_FALSE(other.HeaderTypeA());
    ASSERT_TRUE(other.ReadRecord(r));
    EXPECT_EQ(r.Value3, 16); // only type A divides by the cube
    EXPECT_EQ(r.Name1, "OHradical");
    EXPECT_EQ(r.Name2, "A-X-"); // at most 4 characters

    TMolFile single(folder.Write("m_CO.txt", "\r\nh2\r\nh3\r\nh4\r\n" + lines));
    single.OpenRead();
    EXPECT_FALSE(single.HeaderTypeA()); // empty first line
    ASSERT_TRUE(single.ReadRecord(r));
    EXPECT_EQ(r.Name1, "CO");
    EXPECT_EQ(r.Name2, "");
    TMolFile none(folder.Write("plain.txt", "A\r\nh2\r\nh3\r\nh4\r\n" + lines));
    none.OpenRead();
    ASSERT_TRUE(none.ReadRecord(r));
    EXPECT_EQ(r.Name1, "");
    EXPECT_EQ(r.Name2, "");
}

TEST(TMolFile, ValuesBeyondADoubleEndReading) {
    TempFolder folder;
    TMolRecord r;
    for (const char* line : {"1 1e300 1 1 1 1 1 x\r\n",         // Value1 * 1e14
                             "1 1e-300 1 1 1 1e300 1 x\r\n"}) { // Value3 / (1e-286)^3
        TMolFile file(folder.Write("m_a_b.txt", std::string("A\r\n\r\n\r\n\r\n") + line +
                                                    "2 1 1 1 1 1 1 x\r\n"));
        file.OpenRead();
        EXPECT_FALSE(file.ReadRecord(r)) << line;
    }
    TMolFile empty(folder.Write("m_c_d.txt", ""));
    empty.OpenRead();
    EXPECT_FALSE(empty.HeaderTypeA());
    EXPECT_FALSE(empty.ReadRecord(r));
}

} // namespace
} // namespace zelt
