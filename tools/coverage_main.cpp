// SPDX-License-Identifier: GPL-3.0-or-later
// zeltfit-coverage: the coverage table of docs/MODEL.md. For each case of the referee
// test, `realisations` synthetic measurements (default 500) fitted as the result line's fit and
// as the likelihood fit; prints a Markdown table of the spread of n_1, the typical relative
// uncertainties, and how often each interval covers the truth (0.683 expected).
//
//   zeltfit-coverage [realisations] [data folder]

#include "tools/coverage.h"

#include "common/format.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace {

std::string Share(int count, int of) {
    return of > 0 ? zelt::Format("%.3f", {static_cast<double>(count) / of}) : "";
}

constexpr const char* kUsage = "usage: zeltfit-coverage [realisations (1 to 1000000, default "
                               "500)] [data folder]\n";

int Run(int argc, char** argv) {
    using namespace zelt;
    if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    int realisations = 500;
    if (argc > 1) {
        char* end = nullptr;
        const long count = std::strtol(argv[1], &end, 10);
        if (*end != '\0' || count < 1 || count > 1000000 || argc > 3) {
            std::cerr << kUsage;
            return 2;
        }
        realisations = static_cast<int>(count);
    }
    const std::string folder = argc > 2 ? argv[2] : ZELT_SOURCE_DIR "/data";
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / "zeltfit-coverage";
    std::filesystem::create_directories(scratch);
    TAtomicData data(nullptr);
    LoadCoverageSpecies(data, folder, (scratch / "selection.txt").string());
    const TCoverageCase cases[] = {{1e16, 0.02, false, realisations},
                                   {5e16, 0.02, false, realisations},
                                   {5e16, 0.05, false, realisations},
                                   {2e17, 0.05, false, realisations},
                                   {5e16, 0.02, true, realisations}};
    std::cout << "| true n_1, noise | spread of n_1 | line u | line covers | quoted u | n_1 covers "
                 "| T_exc covers | n_tot covers | profile covers | region covers | free test "
                 "rejects |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
    std::uint64_t seed = 1;
    for (const TCoverageCase& c : cases) {
        TCoverageCounts n;
        RunCoverage(data, c, seed++, n, (scratch / "zeltfit.txt").string());
        const double mean = n.Offset / n.Fits;
        std::cout << Format("| %.0e, %.0f %%%s | %.1f %% | %.1f %% | %s | %.1f %% | %s | %s | %s | "
                            "%s | %s | %s |\n",
                            {c.Density, c.Noise * 100, c.Uncertainties ? ", u given" : "",
                             100 * std::sqrt(n.Squares / n.Fits - mean * mean),
                             100 * n.LineUncertainty / n.LineFits, Share(n.Line, n.LineFits),
                             100 * n.Quoted / n.Fits, Share(n.Density, n.Fits),
                             Share(n.Temperature, n.Fits), Share(n.Total, n.Fits),
                             Share(n.Profile, n.Fits), Share(n.Region, n.Fits),
                             Share(n.Rejected, n.Tested)});
    }
    std::filesystem::remove_all(scratch);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
