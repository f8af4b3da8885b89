// SPDX-License-Identifier: GPL-3.0-or-later
// zeltfit-escapefactor [POINTS-PER-DECADE]: Mewe's and the program's doppler escape factor
// against the exact one of a Doppler line for tau from 1e-3 to 1e6, as a tab-separated table
// (tools/plot-escape-factor.py draws it).

#include "common/convert.h"
#include "tools/escapefactor.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    std::int32_t perDecade = 20;
    if (argc > 2 || (argc == 2 && !zelt::TryStrToInt(argv[1], perDecade))) {
        std::cerr << "Usage: zeltfit-escapefactor [POINTS-PER-DECADE]\n";
        return 2;
    }
    try {
        std::cout << zelt::EscapeFactorComparison(perDecade);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
