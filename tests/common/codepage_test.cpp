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

// A result line held in Windows-1252 with a file name of the system in UTF-8.
TEST(CodepageTest, MixedTextKeepsItsUtf8Names) {
    EXPECT_EQ(MixedToUtf8("\xB1u 1.6E-002 m\xC3\xBCller.txt  fit:OK"),
              "\xC2\xB1u 1.6E-002 m\xC3\xBCller.txt  fit:OK");
    EXPECT_EQ(MixedToUtf8("\xE4\u4E2D\xC3\x80"), "\xC3\xA4\u4E2D\xC3\x80");
    // Overlong forms and surrogates are no UTF-8: their bytes are Windows-1252.
    EXPECT_EQ(MixedToUtf8("\xC0\xAF\xED\xA0\x80"), "\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xE2\x82\xAC");
}

} // namespace
} // namespace zelt
