// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/format.h"

#include "common/errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zelt {

namespace {

// A finite real as 18 significant decimal digits: value = d0.d1d2...d17 x 10^exponent.
// 18 digits hold every 80-bit extended value to within its last bit, so the rounding
// below is done on the digits the value really has.
struct TDecimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

constexpr int kDigits = 18;

TDecimal ToDecimal(long double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, kDigits - 1);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    TDecimal d;
    std::size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    // The point is whatever is not a digit: MinGW-w64's libstdc++ writes long doubles through
    // the C runtime, which puts the locale's decimal separator there.
    for (; i < text.size() && text[i] != 'e'; ++i)
        if (text[i] >= '0' && text[i] <= '9')
            d.digits += text[i];
    d.exponent = std::atoi(std::string(text.substr(i + 1)).c_str());
    return d;
}

bool AllZero(const std::string& digits) {
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0'; });
}

// Keeps `keep` leading digits (keep may be 0 or negative), rounding half away from zero on
// the next digit; a carry out of the first digit raises the exponent.
void RoundTo(TDecimal& d, int keep) {
    if (keep >= static_cast<int>(d.digits.size())) {
        d.digits.append(static_cast<std::size_t>(keep) - d.digits.size(), '0');
        return;
    }
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (!up)
        return;
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
        d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
        ++d.digits[static_cast<std::size_t>(i)];
    } else {
        // 9.99 -> 10.0: one digit more, so a fixed field keeps its decimals.
        d.digits.assign(static_cast<std::size_t>(keep) + 1, '0');
        d.digits.front() = '1';
        ++d.exponent;
    }
}

std::string NonFinite(long double value) {
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

std::string ExponentText(int exponent, int minDigits) {
    std::string digits = std::to_string(std::abs(exponent));
    if (static_cast<int>(digits.size()) < minDigits)
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    return (exponent < 0 ? "-" : "+") + digits;
}

// Mantissa with `significant` digits and the exponent field: "1.850E+0001".
std::string Scientific(long double value, int significant, int exponentDigits, bool& negative) {
    TDecimal d = ToDecimal(value);
    RoundTo(d, significant);
    d.digits.resize(static_cast<std::size_t>(significant));
    if (AllZero(d.digits))
        d.exponent = 0;
    negative = d.negative && !AllZero(d.digits);
    std::string text(1, d.digits[0]);
    if (significant > 1)
        text.append(".").append(d.digits, 1);
    return text + "E" + ExponentText(d.exponent, exponentDigits);
}

std::string FixedPoint(long double value, int decimals, bool& negative) {
    TDecimal d = ToDecimal(value);
    // Digits before the point: exponent + 1 (none for values below 1).
    RoundTo(d, d.exponent + 1 + decimals);
    negative = d.negative && !AllZero(d.digits);
    std::string integer, fraction;
    const int intDigits = d.exponent + 1;
    if (intDigits > 0) {
        integer = d.digits.substr(0, static_cast<std::size_t>(intDigits));
        fraction = d.digits.substr(static_cast<std::size_t>(intDigits));
    } else {
        integer = "0";
        fraction =
            std::string(static_cast<std::size_t>(std::min(-intDigits, decimals)), '0') + d.digits;
    }
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    return decimals > 0 ? integer + "." + fraction : integer;
}

std::string Pad(std::string text, int width, bool leftAlign) {
    if (static_cast<int>(text.size()) >= width)
        return text;
    const std::string blanks(static_cast<std::size_t>(width) - text.size(), ' ');
    return leftAlign ? text + blanks : blanks + text;
}

[[noreturn]] void BadFormat(std::string_view pattern) {
    throw EConvertError("Format '" + std::string(pattern) +
                        "' invalid or incompatible with argument");
}

struct TSpecifier {
    bool leftAlign = false;
    int width = 0;
    int precision = -1;
    char type = 0;
};

std::string FormatOne(const TSpecifier& field, const TFormatArg& arg, std::string_view pattern) {
    const auto& value = arg.value();
    switch (field.type) {
    case 'd': {
        const long long* number = std::get_if<long long>(&value);
        if (!number)
            BadFormat(pattern);
        std::string digits = std::to_string(*number < 0 ? -(*number + 1) + 1ULL
                                                        : static_cast<unsigned long long>(*number));
        if (static_cast<int>(digits.size()) < field.precision)
            digits.insert(0, static_cast<std::size_t>(field.precision) - digits.size(), '0');
        return (*number < 0 ? "-" : "") + digits;
    }
    case 's': {
        const std::string* text = std::get_if<std::string>(&value);
        if (!text)
            BadFormat(pattern);
        return field.precision >= 0 ? text->substr(0, static_cast<std::size_t>(field.precision))
                                    : *text;
    }
    case 'f':
    case 'e': {
        const long double* real = std::get_if<long double>(&value);
        if (!real)
            BadFormat(pattern);
        if (!std::isfinite(*real))
            return NonFinite(*real);
        const int precision = field.precision >= 0 ? field.precision : 6;
        bool negative = false;
        const std::string body = field.type == 'f' ? FixedPoint(*real, precision, negative)
                                                   : Scientific(*real, precision + 1, 3, negative);
        return (negative ? "-" : "") + body;
    }
    default:
        BadFormat(pattern);
    }
}

} // namespace

std::string Format(std::string_view pattern, std::initializer_list<TFormatArg> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        if (++i >= pattern.size())
            BadFormat(pattern);
        if (pattern[i] == '%') {
            out += '%';
            continue;
        }
        TSpecifier field;
        if (pattern[i] == '-') {
            field.leftAlign = true;
            ++i;
        }
        auto readNumber = [&](int& target) {
            target = 0;
            while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
                target = std::min(target * 10 + (pattern[i] - '0'), 100000);
                ++i;
            }
        };
        readNumber(field.width);
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            readNumber(field.precision);
        }
        if (i >= pattern.size() || next == args.end())
            BadFormat(pattern);
        field.type = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        out += Pad(FormatOne(field, *next++, pattern), field.width, field.leftAlign);
    }
    return out;
}

std::string FloatToStr(long double value) {
    if (!std::isfinite(value))
        return NonFinite(value);
    TDecimal d = ToDecimal(value);
    RoundTo(d, 15);
    d.digits.resize(15);
    if (AllZero(d.digits))
        return "0";
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    const std::string sign = d.negative ? "-" : "";
    const int count = static_cast<int>(d.digits.size());
    if (d.exponent >= 15 || d.exponent < -4) {
        std::string mantissa = d.digits.substr(0, 1);
        if (count > 1)
            mantissa.append(".").append(d.digits, 1);
        return sign + mantissa + "E" + std::to_string(d.exponent);
    }
    if (d.exponent < 0)
        return sign + "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    const int intDigits = d.exponent + 1;
    if (count <= intDigits)
        return sign + d.digits + std::string(static_cast<std::size_t>(intDigits - count), '0');
    return sign + d.digits.substr(0, static_cast<std::size_t>(intDigits)) + "." +
           d.digits.substr(static_cast<std::size_t>(intDigits));
}

std::string WriteReal(long double value, int width) {
    if (!std::isfinite(value))
        return Pad(NonFinite(value), width, false);
    const int significant = std::clamp(width - 8, 2, kDigits);
    bool negative = false;
    const std::string body = Scientific(value, significant, 4, negative);
    return Pad((negative ? "-" : " ") + body, width, false);
}

std::string WriteFixed(long double value, int width, int decimals) {
    if (!std::isfinite(value))
        return Pad(NonFinite(value), width, false);
    bool negative = false;
    const std::string body = FixedPoint(value, std::max(decimals, 0), negative);
    return Pad((negative ? "-" : "") + body, width, false);
}

std::string VisibleControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 32 && code != 127) {
            out += c;
            continue;
        }
        const char* named = c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        if (named != nullptr) {
            out += named;
            continue;
        }
        constexpr char kHex[] = "0123456789ABCDEF";
        out += {'\\', 'x', kHex[code >> 4], kHex[code & 15]};
    }
    return out;
}

} // namespace zelt
