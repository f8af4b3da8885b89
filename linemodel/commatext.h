// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The item lists of the configuration file, such as the species' "Lines=Fe,I".

#include <string>
#include <vector>

namespace zelt {

// Splits a comma text into items: items are separated by a comma or by blanks (characters up
// to and including the space); blanks around a comma belong to no item; an item in double
// quotes may hold commas and blanks, and "" inside it stands for one quote; a comma at the
// very end adds an empty item. "Fe, I" and "Fe I" give Fe and I; "Fe,I," gives Fe, I and "".
std::vector<std::string> SplitCommaText(const std::string& text);

} // namespace zelt
