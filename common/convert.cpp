// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/convert.h"

#include "common/textfile.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

namespace zelt {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool TryStrToFloat(std::string_view text, double& value) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || !(IsDigit(text.front()) || text.front() == '.' || text.front() == '-'))
        return false;
    // from_chars would also take "inf" and "nan": only digits may follow the sign.
    const std::string_view body = text.front() == '-' ? text.substr(1) : text;
    if (body.empty() || !(IsDigit(body.front()) || body.front() == '.'))
        return false;
    double result = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), result, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

bool TryStrToExtended(std::string_view text, long double& value) {
    double checked = 0;
    if (!TryStrToFloat(text, checked))
        return false;
    // strtold, because not every standard library's from_chars reads a long double in full
    // precision; it expects the decimal point of the C locale, which need not be ".".
    const std::string_view point = std::localeconv()->decimal_point;
    std::string digits;
    for (const char c : TrimBlanks(text)) {
        if (c == '.')
            digits += point;
        else
            digits += c;
    }
    value = std::strtold(digits.c_str(), nullptr);
    return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
    text = TrimBlanks(text);
    int base = 10;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text.front())))
        return false;
    std::int64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result < INT32_MIN || result > INT32_MAX)
        return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

} // namespace zelt
