// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/convert.h"

#include <gtest/gtest.h>

#include <clocale>

namespace zelt {
namespace {

TEST(ConvertTest, RealsWithPointOnly) {
    double v = -1;
    EXPECT_TRUE(TryStrToFloat("2e-3", v));
    EXPECT_EQ(v, 2e-3);
    EXPECT_TRUE(TryStrToFloat(" 1.0E+015 ", v));
    EXPECT_EQ(v, 1e15);
    EXPECT_TRUE(TryStrToFloat("-.5", v));
    EXPECT_EQ(v, -0.5);
    EXPECT_TRUE(TryStrToFloat("+7", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", " ", "1,5", "inf", "-nan", "1e400", "abc", "1.5x", "--1", "e5"})
        EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
    EXPECT_EQ(v, 7); // unchanged by a failure
}

TEST(ConvertTest, ExtendedRealsStraightFromTheText) {
    long double v = -1;
    EXPECT_TRUE(TryStrToExtended("0.168", v));
    EXPECT_EQ(v, 0.168L);
    EXPECT_NE(v, static_cast<long double>(0.168));
    EXPECT_TRUE(TryStrToExtended(" 2.5E+016 ", v));
    EXPECT_EQ(v, 2.5e16L);
    // A locale with a decimal comma changes nothing.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_TRUE(TryStrToExtended("-.35", v));
    EXPECT_EQ(v, -0.35L);
    EXPECT_FALSE(TryStrToExtended("1,5", v));
    if (german)
        std::setlocale(LC_NUMERIC, "C");
    for (const char* bad : {"", "inf", "-nan", "1e400", "1e4000", "0x1p3", "1.5x", "e5"})
        EXPECT_FALSE(TryStrToExtended(bad, v)) << bad;
    EXPECT_EQ(v, -0.35L);
}

TEST(ConvertTest, IntegersDecimalOrHex) {
    std::int32_t v = -1;
    EXPECT_TRUE(TryStrToInt("50", v));
    EXPECT_EQ(v, 50);
    EXPECT_TRUE(TryStrToInt("0x20", v));
    EXPECT_EQ(v, 32);
    EXPECT_TRUE(TryStrToInt("$1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    for (const char* bad : {"", "0x", "2147483648", "1.5", "12abc", "1e3", "- 1"})
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
}

} // namespace
} // namespace zelt
