// SPDX-License-Identifier: GPL-3.0-or-later
// The number in the file names of a series, and the caption of its axis.

#include "app/series.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

struct TCase {
    std::vector<std::string> Names;
    std::vector<double> X;
    std::string Caption;
};

TEST(SeriesAxis, TheNumberThatChangesFromFileToFile) {
    const TCase cases[] = {
        {{"ar_0.5kW.txt", "ar_0.75kW.txt", "ar_10kW.TXT"}, {0.5, 0.75, 10}, "kW"},
        // A density is one number; with nothing after it the text before it is the caption.
        {{"argon_1e16.txt", "argon_2E+17.txt", "argon_5e-3.txt"}, {1e16, 2e17, 5e-3}, "argon"},
        // The date stays the same; of a run number and a power the last is taken.
        {{"2024-03-05_ar_0.5kW.txt", "2024-03-05_ar_2kW.txt"}, {0.5, 2}, "kW"},
        {{"run1_p=10Pa.txt", "run2_p=20Pa.txt"}, {10, 20}, "Pa"},
        // "-" is no sign; the exponent needs digits ("eV" is text).
        {{"ar-2eV.txt", "ar-3eV.txt"}, {2, 3}, "eV"},
        {{"only_7.5kW.txt"}, {7.5}, "kW"},
        // The texts compared without regard to case.
        {{"ar_1kW.txt", "Ar_2kW.txt"}, {1, 2}, "kW"},
    };
    for (const TCase& c : cases) {
        const TSeriesAxis axis = SeriesAxis(c.Names);
        ASSERT_EQ(axis.Quantities.size(), 1u) << c.Names[0];
        EXPECT_TRUE(axis.Quantities[0].FromNames) << c.Names[0];
        EXPECT_EQ(axis.X, c.X) << c.Names[0];
        EXPECT_EQ(axis.Quantities[0].Caption, c.Caption) << c.Names[0];
    }
}

// A folder of a power series and a pressure series: one quantity each, x from its own names.
TEST(SeriesAxis, OneQuantityPerUnitWhereTheNamesMixThem) {
    const TSeriesAxis axis =
        SeriesAxis({"I_2kW.txt", "p_0.5mbar.txt", "I_2.25kW.txt", "p_1mbar.txt", "q_3Pa.txt"});
    EXPECT_EQ(axis.X, (std::vector<double>{2, 0.5, 2.25, 1, 3}));
    EXPECT_EQ(axis.Quantity, (std::vector<std::size_t>{0, 1, 0, 1, 2}));
    ASSERT_EQ(axis.Quantities.size(), 3u);
    EXPECT_EQ(axis.Of(1).Caption, "mbar");
    EXPECT_TRUE(axis.Of(1).CaptionIsUnit);
    EXPECT_EQ(axis.Of(4).Caption, "Pa");
}

TEST(SeriesAxis, PositionsWhereTheNamesDoNotShareOnePattern) {
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{"ar_1kW.txt", "morning.txt"},
          // A pattern without a unit, two patterns of one unit.
          std::vector<std::string>{"ar_1kW.txt", "ar_2kW_3.txt"},
          std::vector<std::string>{"ar_1kW.txt", "ne_2kW.txt"}}) {
        const TSeriesAxis axis = SeriesAxis(names);
        ASSERT_EQ(axis.Quantities.size(), 1u) << names[1];
        EXPECT_FALSE(axis.Quantities[0].FromNames) << names[1];
        EXPECT_EQ(axis.X, (std::vector<double>{1, 2}));
        EXPECT_EQ(axis.Quantity, (std::vector<std::size_t>{0, 0}));
        EXPECT_EQ(axis.Quantities[0].Caption, "");
    }
    EXPECT_TRUE(SeriesAxis({}).X.empty());
}

} // namespace
} // namespace zelt
