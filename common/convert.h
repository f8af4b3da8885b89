// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions of user texts (edit boxes, configuration values, command-line options) to
// numbers, with "." as the decimal separator whatever the locale.

#include <cstdint>
#include <string_view>

namespace zelt {

// A real: optional blanks, [+-] digits [. digits] [(e|E) [+-] digits], optional blanks.
// False for anything else, including "1,5", "inf", "nan" and values beyond a double.
bool TryStrToFloat(std::string_view text, double& value);

// The same texts as TryStrToFloat, converted straight to an extended real: "0.168" gives the
// long double nearest 0.168, not the double nearest it widened.
bool TryStrToExtended(std::string_view text, long double& value);

// A 32-bit integer: optional blanks, [+-] decimal digits, or "0x"/"0X"/"$" and hexadecimal
// digits, optional blanks. False for anything else and for values outside 32 bits.
bool TryStrToInt(std::string_view text, std::int32_t& value);

} // namespace zelt
