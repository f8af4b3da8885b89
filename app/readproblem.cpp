// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/readproblem.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/textfile.h"
#include "linemodel/modeltypes.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace zelt {

namespace {

// A number written with ',' for '.': digits on both sides of the one comma.
bool DecimalComma(const std::string& token) {
    const std::size_t comma = token.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 >= token.size() ||
        !std::isdigit(static_cast<unsigned char>(token[comma - 1])) ||
        !std::isdigit(static_cast<unsigned char>(token[comma + 1])))
        return false;
    std::string point = token;
    point[comma] = '.';
    double value = 0;
    return TryStrToFloat(point, value);
}

// A byte no text file holds: a control character other than the tab, or DEL.
bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 32 && c != '\t') || byte == 127;
}

// A text of the file as a message quotes it: at most kQuoted bytes, cut before a character and
// marked by an ellipsis, so that a long header line stays one line of the status bar.
constexpr std::size_t kQuoted = 40;
std::string Quoted(const std::string& text) {
    if (text.size() <= kQuoted)
        return text;
    std::size_t cut = kQuoted;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a UTF-8 sequence
    return text.substr(0, cut) + "\xE2\x80\xA6";
}

} // namespace

std::string MeasurementFileProblem(const std::string& path) {
    // Read as the reader reads: a pipe, a device or a file past the bound has said why already.
    std::istringstream file;
    try {
        file.str(ReadFileBytes(path, kMeasurementLimit));
    } catch (const EInOutError&) {
        return {};
    }
    // A file without one printable character the reader refuses by name ("it holds no text").
    const std::string& bytes = file.str();
    if (std::none_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 32; }))
        return {};
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (number == 1 && line.starts_with("\xEF\xBB\xBF"))
            return "The file begins with a UTF-8 byte order mark: save it as plain text "
                   "without one.";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (std::any_of(line.begin(), line.end(), IsControl))
            return Format("Line %d holds bytes that are no text: the file is no text file, and a "
                          "measurement file holds only numbers, a wavelength and an intensity on "
                          "each line.",
                          {number});
        // The reader takes two numbers from a line and skips the rest, a comment perhaps.
        std::istringstream tokens(line);
        std::string token;
        for (int taken = 0; taken < 2 && tokens >> token; ++taken) {
            double value = 0;
            if (TryStrToFloat(token, value))
                continue;
            if (DecimalComma(token))
                return Format("Line %d has a decimal comma (\"%s\"): numbers take '.' as the "
                              "decimal separator.",
                              {number, Quoted(token)});
            if (std::any_of(token.begin(), token.end(),
                            [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
                return Format("Line %d is a header line (\"%s\"): a measurement file holds "
                              "only numbers, a wavelength and an intensity on each line.",
                              {number, Quoted(line)});
            return {};
        }
    }
    return {};
}

} // namespace zelt
