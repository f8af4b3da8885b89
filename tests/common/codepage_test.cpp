// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/codepage.h"

#include <gtest/gtest.h>

namespace zelt {
namespace {

TEST(CodepageTest, PlusMinusAndEuroRoundTrip) {
    EXPECT_EQ(Cp1252ToUtf8("n_tot \xB1u"), "n_tot \u00B1u");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Utf8ToCp1252("\u00B1u(n_1) \u20AC"), "\xB1u(n_1) \x80");
    EXPECT_EQ(Utf8ToCp1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");
    std::string every;
    for (int c = 1; c < 256; ++c)
        every += static_cast<char>(c);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(every)), every);
}

} // namespace
} // namespace zelt
