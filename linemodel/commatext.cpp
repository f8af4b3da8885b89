// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/commatext.h"

namespace zelt {

namespace {

constexpr char kQuote = '"';
constexpr char kDelimiter = ',';

// A NUL ends the text, as it would end a C string.
bool AtEnd(const std::string& text, std::size_t i) {
    return i >= text.size() || text[i] == '\0';
}
bool IsBlank(const std::string& text, std::size_t i) {
    return !AtEnd(text, i) && static_cast<unsigned char>(text[i]) <= ' ';
}

// The quoted item starting at the opening quote at i; i ends after the closing quote, or at
// the end of the text when the quote is never closed.
std::string ExtractQuoted(const std::string& text, std::size_t& i) {
    std::string item;
    for (++i; !AtEnd(text, i); ++i) {
        if (text[i] != kQuote) {
            item += text[i];
            continue;
        }
        if (AtEnd(text, i + 1) || text[i + 1] != kQuote) {
            ++i;
            return item;
        }
        item += kQuote;
        ++i;
    }
    return item;
}

} // namespace

std::vector<std::string> SplitCommaText(const std::string& text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (IsBlank(text, i))
        ++i;
    while (!AtEnd(text, i)) {
        if (text[i] == kQuote) {
            items.push_back(ExtractQuoted(text, i));
        } else {
            const std::size_t first = i;
            while (!AtEnd(text, i) && !IsBlank(text, i) && text[i] != kDelimiter)
                ++i;
            items.push_back(text.substr(first, i - first));
        }
        while (IsBlank(text, i))
            ++i;
        if (!AtEnd(text, i) && text[i] == kDelimiter) {
            if (AtEnd(text, i + 1))
                items.emplace_back();
            do
                ++i;
            while (IsBlank(text, i));
        }
    }
    return items;
}

} // namespace zelt
