// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/linelist.h"
#include "spectrum/rawspectrum.h"

#include "tests/common/tempfolder.h"
#include "tests/linemodel/modelfiles.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zelt {
namespace {

using test::ErrorText;

std::string Sample(const std::string& name) {
    return std::string(ZELT_SOURCE_DIR) + "/tests/spectrum/data/" + name;
}

// Every sample holds the same 12 pixels from 695.80 to 697.45 nm: a line at 696.5431 nm of
// 5000 counts on 100 counts of background.
void ExpectTheSampleLine(const TRawSpectrum& s) {
    ASSERT_EQ(s.Pixels(), 12u);
    EXPECT_NEAR(s.Wavelengths.front(), 695.8, 1e-9);
    EXPECT_NEAR(s.Wavelengths.back(), 697.45, 1e-9);
    EXPECT_NEAR(s.Counts.front(), 100, 0.5);
    EXPECT_NEAR(s.Counts[5], 5095.9, 0.15); // 696.55 nm
}

TEST(Reader, VendorExportsAreReadWithTheirColumnsUnitsAndDark) {
    struct TCase {
        const char* File;
        const char* Description;
    } cases[] = {
        {"ocean.txt", "tab-separated, decimal point; wavelengths in nm, as no unit is named, from "
                      "column 1, counts from column 2; 12 pixels from 695.800 to 697.450 nm"},
        {"semicolon.csv",
         "semicolon-separated, decimal comma; wavelengths in nm from column 1 (Wave), counts from "
         "column 2 (Sample) minus the dark of column 3 (Dark); 12 pixels from 695.800 to 697.450 "
         "nm"},
        {"andor.asc", "tab-separated, decimal point; wavelengths in nm, as no unit is named, from "
                      "column 1, counts from column 2; 12 pixels from 695.800 to 697.450 nm"},
        {"angstrom.txt",
         "blank-separated, decimal comma; wavelengths in Angstrom from column 1, counts from "
         "column 2; 12 pixels from 695.800 to 697.450 nm"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const TRawSpectrum s = ReadSpectrum(Sample(c.File), {});
        ExpectTheSampleLine(s);
        EXPECT_EQ(s.Description, c.Description);
    }
    // The dark is subtracted; the raw counts keep it for the saturation test.
    const TRawSpectrum semicolon = ReadSpectrum(Sample("semicolon.csv"), {});
    EXPECT_NEAR(semicolon.Raw[5] - semicolon.Counts[5], 1000, 1e-9);
    // Columns and the unit by option: the reference column as counts, the wavelengths in µm.
    TSpectrumReadOptions options;
    options.CountsColumn = "reference";
    options.DarkColumn = "none";
    options.Unit = TWavelengthUnit::Micrometre;
    const TRawSpectrum reference = ReadSpectrum(Sample("semicolon.csv"), options);
    EXPECT_EQ(reference.Counts[0], 4000);
    EXPECT_EQ(reference.Wavelengths[0], 695800);
}

TEST(Reader, MalformedTablesNameTheFileTheLineAndWhatIsWrong) {
    test::TempFolder folder;
    const auto error = [&](const std::string& bytes, TSpectrumReadOptions options = {}) {
        const std::string file = folder.Write("s.txt", bytes);
        return ErrorText<EInOutError>([&] { ReadSpectrum(file, options); });
    };
    const std::string rows = "1 10\n2 20\n3 30\n4 40\n5 50\n6 60\n7 70\n";
    const std::string name = "File \"" + folder.File("s.txt") + "\"";
    EXPECT_EQ(error("Wave;Sample;Dark\n1;2;3\n4;5\n"),
              name +
                  ", line 3: 2 values where the data have 3 (semicolon-separated, decimal point, "
                  "the layout of the data in line 2).");
    EXPECT_EQ(error("1\t2\n3\tx5\n"),
              name +
                  ", line 2: \"x5\" in column 2 is not a number (tab-separated, decimal point, the "
                  "layout of the data in line 1).");
    EXPECT_EQ(error(rows + "8 80\nEnd of data\n9 90\n"),
              name + ", line 10: numbers after the end of the data at line 9.");
    EXPECT_EQ(error(rows + "6.5 65\n"),
              name + ", line 8: the wavelengths neither rise nor fall steadily here.");
    EXPECT_EQ(error(rows), name + " holds 7 rows of numbers; 8 or more are needed.");
    EXPECT_EQ(error("title only\n"), name + " holds no table of numbers.");
    TSpectrumReadOptions dark;
    dark.DarkColumn = "Background";
    EXPECT_EQ(error("Wave;Sample\n" + rows, dark),
              name + " has no dark column \"Background\"; its columns are column 1, column 2.");
    dark.DarkColumn = "4";
    EXPECT_EQ(error("Wave;Sample\n1;2\n", dark),
              name + " has no dark column 4; its columns are column 1 (Wave), column 2 (Sample).");
}

#ifndef _WIN32
// Only regular files of a bounded size are read: a FIFO would block the reading forever, and a
// huge file would be taken into memory whole.
TEST(Reader, OnlyRegularFilesOfBoundedSizeAreRead) {
    test::TempFolder folder;
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ErrorText<EInOutError>([&] { ReadDelimited(fifo); }),
              "Cannot open file \"" + fifo + "\": it is not a regular file");
    const std::string huge = folder.Write("huge.txt", "1 2\n");
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kTableLimit.Bytes) + 1), 0);
    EXPECT_EQ(ErrorText<EInOutError>([&] { ReadDelimited(huge); }),
              "Cannot read file \"" + huge +
                  "\": it is larger than 64 MB, the limit for a table of numbers");
}
#endif

TEST(Reader, LayoutsAreDetected) {
    struct TCase {
        const char* Bytes;
        const char* Layout;
        double Second; // the value of row 1, column 2
    } cases[] = {
        {"1,5\t2,5\n", "tab-separated, decimal comma", 2.5},
        {"1.5,2.5\n", "comma-separated, decimal point", 2.5},
        {"1.5, 2.5\n", "comma-separated, decimal point", 2.5},
        {"1,5 2,5\n", "blank-separated, decimal comma", 2.5},
        {"1.5  2e3\n", "blank-separated, decimal point", 2000},
        {"1,5;2;\n", "semicolon-separated, decimal comma", 2},
    };
    for (const TCase& c : cases) {
        const TDelimitedTable table = ParseDelimited(c.Bytes, "t");
        EXPECT_EQ(table.Layout(), c.Layout) << c.Bytes;
        ASSERT_EQ(table.Columns.size(), 2u) << c.Bytes;
        EXPECT_EQ(table.Columns[0][0], 1.5) << c.Bytes;
        EXPECT_EQ(table.Columns[1][0], c.Second) << c.Bytes;
    }
}

} // namespace
} // namespace zelt
