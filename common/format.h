// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number formatting as the program prints it: "." as decimal separator whatever the locale,
// rounding half away from zero on the decimal digits (0.125 with two decimals is 0.13), and
// exponents written with their sign and at least three digits (1.234E+017).

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace zelt {

// One argument of Format: an integer, a real or a text.
class TFormatArg {
public:
    template <std::integral T>
    requires(!std::same_as<T, bool>) TFormatArg(T value) : value_(static_cast<long long>(value)) {}
    template <std::floating_point T>
    TFormatArg(T value) : value_(static_cast<long double>(value)) {}
    TFormatArg(const char* text) : value_(std::string(text)) {}
    TFormatArg(std::string text) : value_(std::move(text)) {}
    TFormatArg(std::string_view text) : value_(std::string(text)) {}

    const std::variant<long long, long double, std::string>& value() const { return value_; }

private:
    std::variant<long long, long double, std::string> value_;
};

// Formats `pattern` with its arguments. Specifiers: "%" ["-"] [width] ["." precision] type,
// with the types
//   d  integer (precision: minimum number of digits),
//   s  text (precision: maximum number of characters),
//   f  fixed point with `precision` decimals (default 6),
//   e  scientific: one digit, ".", `precision` decimals (default 6), "E", the exponent's sign
//      and at least three digits,
// and "%%" for a percent sign. A width right-aligns the field in blanks; "-" left-aligns it.
// A wrong type, a missing argument or an unknown specifier raises EConvertError.
std::string Format(std::string_view pattern, std::initializer_list<TFormatArg> args);

// The shortest general form of a real (configuration values): at most 15 significant digits,
// fixed notation unless there are more than 15 digits before the point or the magnitude is
// below 0.0001; then mantissa, "E", an optional "-" and the bare exponent.
// 1e15 -> "1E15", 50000 -> "50000", 0.5 -> "0.5", 2.5e-5 -> "2.5E-5".
std::string FloatToStr(long double value);

// The width-only real field of the log: a sign position (blank or "-"), one digit, ".", then
// width - 9 digits (significant digits = width - 8, clamped to 2 .. 18), "E", the exponent's
// sign and four digits; blanks in front when the width is larger. 18.5 at width 12 gives
// " 1.850E+0001".
std::string WriteReal(long double value, int width);

// The width:decimals field: fixed point with `decimals` decimals, right-aligned in `width`.
std::string WriteFixed(long double value, int width, int decimals);

// The text with its control characters (codes below 32, and 127) written as "\t", "\n", "\r"
// or "\x1B", so that a file name holding them stays on its line and in its column.
std::string VisibleControls(std::string_view text);

} // namespace zelt
