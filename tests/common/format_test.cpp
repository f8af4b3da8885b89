// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "common/format.h"

#include <gtest/gtest.h>

#include <clocale>

namespace zelt {
namespace {

TEST(FormatTest, ScientificHasUpperCaseEAndThreeExponentDigits) {
    EXPECT_EQ(Format("%.3e", {1.234e17}), "1.234E+017");
    EXPECT_EQ(Format("%10.4e", {1.234e8}), "1.2340E+008");
    EXPECT_EQ(Format("%3.1e", {1e15}), "1.0E+015");
    EXPECT_EQ(Format("%3.1e", {2.54e16}), "2.5E+016");
    EXPECT_EQ(Format("%.3e", {0.0}), "0.000E+000");
    EXPECT_EQ(Format("%.3e", {-4.5e-7}), "-4.500E-007");
    EXPECT_EQ(Format("%.2e", {9.999e99}), "1.00E+100");
    EXPECT_EQ(Format("%.3e", {1e300}), "1.000E+300");
    EXPECT_EQ(Format("%.1e", {1e-320}), "1.0E-320");
    EXPECT_EQ(Format("%15.3e", {1234.6}), "     1.235E+003");
}

TEST(FormatTest, FixedRoundsHalfAwayFromZero) {
    EXPECT_EQ(Format("%.0f", {12345.6}), "12346");
    EXPECT_EQ(Format("%.0f", {2.5}), "3");
    EXPECT_EQ(Format("%.2f", {0.125}), "0.13");
    EXPECT_EQ(Format("%.2f", {-0.125}), "-0.13");
    EXPECT_EQ(Format("%.2f", {2.675}), "2.67"); // the double lies below 2.675
    EXPECT_EQ(Format("%.3f", {1.0}), "1.000");
    EXPECT_EQ(Format("%.3f", {0.0006}), "0.001");
    EXPECT_EQ(Format("%.3f", {-0.0004}), "0.000");
    EXPECT_EQ(Format("%.1f", {9.96}), "10.0");
    EXPECT_EQ(Format("%.0f", {9.6}), "10");
    EXPECT_EQ(Format("%.7f", {11.54835433}), "11.5483543");
    EXPECT_EQ(Format("%11.8f", {11.54835433}), "11.54835433");
    EXPECT_EQ(Format("%.6f", {500.1001}), "500.100100");
    EXPECT_EQ(Format("%.0f", {1e20}), "100000000000000000000");
}

TEST(FormatTest, WidthsAlignAndNeverCut) {
    EXPECT_EQ(Format("%4d|%-6s|%11.1f", {3, "2[3/2]", 2.5}), "   3|2[3/2]|        2.5");
    EXPECT_EQ(Format("%-10s|", {"log10(n_1)x"}), "log10(n_1)x|");
    EXPECT_EQ(Format("%3s%-4s|", {"Ar", "I"}), " ArI   |");
    EXPECT_EQ(Format("%5d", {-42}), "  -42");
    EXPECT_EQ(Format("%d", {-2147483647 - 1}), "-2147483648");
    EXPECT_EQ(Format("%.3d", {7}), "007");
    EXPECT_EQ(Format("%.3s", {"abcdef"}), "abc");
    EXPECT_EQ(Format("100%% of %s", {"lines"}), "100% of lines");
    EXPECT_EQ(Format("\xB1u(n_%d)", {1}), "\xB1u(n_1)");
}

TEST(FormatTest, MismatchedArgumentsRaiseConvertError) {
    EXPECT_THROW(Format("%d", {1.5}), EConvertError);
    EXPECT_THROW(Format("%f", {1}), EConvertError);
    EXPECT_THROW(Format("%s", {1}), EConvertError);
    EXPECT_THROW(Format("%d %d", {1}), EConvertError);
    EXPECT_THROW(Format("%q", {1}), EConvertError);
    EXPECT_THROW(Format("50%", {}), EConvertError);
    try {
        Format("%d", {"x"});
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Format '%d' invalid or incompatible with argument");
    }
}

TEST(FormatTest, DecimalPointIgnoresTheLocale) {
    // A locale with a decimal comma, by its Linux or its Windows name, where one is installed.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (german == nullptr)
        german = std::setlocale(LC_NUMERIC, "German_Germany.1252");
    EXPECT_EQ(Format("%.3f %.1e", {1.5, 2.0}), "1.500 2.0E+000");
    EXPECT_EQ(FloatToStr(0.5), "0.5");
    if (german)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(FloatToStrTest, ShortestGeneralForm) {
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(2.5e16), "2.5E16");
    EXPECT_EQ(FloatToStr(50000), "50000");
    EXPECT_EQ(FloatToStr(0.5), "0.5");
    EXPECT_EQ(FloatToStr(12346), "12346");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00002), "2E-5");
    EXPECT_EQ(FloatToStr(-1.5e-7), "-1.5E-7");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FloatToStr(0.0), "0");
    EXPECT_EQ(FloatToStr(300), "300");
}

TEST(WriteRealTest, WidthOnlyRealHasFourExponentDigits) {
    EXPECT_EQ(WriteReal(18.5, 12), " 1.850E+0001");
    EXPECT_EQ(WriteReal(5000, 12), " 5.000E+0003");
    EXPECT_EQ(WriteReal(-18.5, 12), "-1.850E+0001");
    EXPECT_EQ(WriteReal(1.234567e-5, 15), " 1.234567E-0005");
    EXPECT_EQ(WriteReal(0, 15), " 0.000000E+0000");
    EXPECT_EQ(WriteReal(11.5, 8), " 1.2E+0001"); // at least two digits, wider than asked
    EXPECT_EQ(WriteReal(1, 28), "   1.00000000000000000E+0000");
}

TEST(WriteFixedTest, WidthAndDecimals) {
    EXPECT_EQ(WriteFixed(1, 6, 2), "  1.00");
    EXPECT_EQ(WriteFixed(-0.95, 6, 2), " -0.95");
    EXPECT_EQ(WriteFixed(696.5431, 15, 5), "      696.54310");
    EXPECT_EQ(WriteFixed(2, 2, 0), " 2");
    EXPECT_EQ(WriteFixed(13.32785693, 15, 2), "          13.33");
}

} // namespace
} // namespace zelt
