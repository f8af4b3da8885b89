// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program holds its texts in the Windows-1252 code page, as its files store them ("±" is
// the byte 0xB1). These convert to and from UTF-8 for the screen and the terminal.

#include <string>
#include <string_view>

namespace zelt {

std::string Cp1252ToUtf8(std::string_view text);
// Text held in Windows-1252 that may carry names of the file system in UTF-8 (a result line with
// "müller.txt" in it), as UTF-8: a well-formed UTF-8 sequence stands for itself, every other byte
// is a Windows-1252 character. A text that is all UTF-8 comes back unchanged.
std::string MixedToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become "?"; malformed UTF-8 bytes too.
std::string Utf8ToCp1252(std::string_view text);

} // namespace zelt
