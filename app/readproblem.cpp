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

} // namespace

std::string MeasurementFileProblem(const std::string& path) {
    // Read as the reader reads: a pipe, a device or a file past the bound has said why already.
    std::istringstream file;
    try {
        file.str(ReadFileBytes(path, kMeasurementLimit));
    } catch (const EInOutError&) {
        return {};
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (number == 1 && line.starts_with("\xEF\xBB\xBF"))
            return "The file begins with a UTF-8 byte order mark: save it as plain text "
                   "without one.";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
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
                              {number, token});
            if (std::any_of(token.begin(), token.end(),
                            [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
                return Format("Line %d is a header line (\"%s\"): a measurement file holds "
                              "only numbers, a wavelength and an intensity on each line.",
                              {number, line});
            return {};
        }
    }
    return {};
}

} // namespace zelt
