#include "common/convert.h"

#include <gtest/gtest.h>

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
