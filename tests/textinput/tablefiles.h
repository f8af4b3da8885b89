// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test helpers: builders for table file lines, and a fresh temporary folder per test.

#include "tests/common/tempfolder.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace zelt::test {

inline std::string Pad(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The fields of one atomic table line as they stand in the file.
struct AtomLineFields {
    std::string element = "Fe", ion = "I";
    std::string wavelength = "500", value1 = "1.5", aki = "0.5", value2 = "2", value3 = "3",
                logGf = "-1.25";
    std::string code = "C1";
    std::string eLower = "0.5", eUpper = "2.75", value4 = "1.5", value5 = "2.5", gi = "9",
                gk = "11";
    std::string text1 = "3d6.4s2 a5D-3d6.4s.4p z5F", text2 = "a5D-z5F", text3 = "T3",
                text4 = "Text four", text5 = " five 5 ";
};

// One line in the column layout of an atomic table, with CR LF.
inline std::string AtomLine(const AtomLineFields& f) {
    return Pad(f.element, 2) + " " + Pad(f.ion, 4) + " " + f.wavelength + " " + f.value1 + " " +
           f.aki + " " + f.value2 + " " + f.value3 + " " + f.logGf + " " + Pad(f.code, 4) + " " +
           f.eLower + " " + f.eUpper + " " + f.value4 + " " + f.value5 + " " + f.gi + " " + f.gk +
           " " + Pad(f.text1, 40) + " " + Pad(f.text2, 16) + " " + Pad(f.text3, 4) + " " +
           Pad(f.text4, 14) + " " + Pad(f.text5, 8) + "ignored\r\n";
}

// An atomic line that differs from the default only in wavelength and code.
inline std::string AtomLine(const std::string& wavelength, const std::string& code = "C1") {
    AtomLineFields f;
    f.wavelength = wavelength;
    f.code = code;
    return AtomLine(f);
}

inline const std::string kAtomHeader = "Atomic lines\r\nline 2\r\n\r\nline 4\r\nline 5\r\n";

} // namespace zelt::test
