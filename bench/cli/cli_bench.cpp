// SPDX-License-Identifier: GPL-3.0-or-later
// A batch fit of 100 measurement files of 20 lines each through zeltfit-cli, process start
// included (target: under 1 s).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path MakeFiles() {
    const fs::path folder = fs::temp_directory_path() / "zelt-cli-bench";
    fs::remove_all(folder);
    fs::create_directories(folder / "spectra");
    std::ofstream(folder / "zeltfit.ini")
        << "[_Files]\nDatabase=" ZELT_SOURCE_DIR "/data\n[_Parameters]\nTn=400\nPath=0.05\n"
           "[Ar I]\nLevels=Ar_levels.txt\nLines=Ar,I\nm=39.948\nBoltzmax=4\n";
    // The first 20 lines of a demo spectrum, with a few per cent of scatter per file.
    std::ifstream demo(ZELT_SOURCE_DIR "/data/measurements/argon_5e16.txt");
    std::vector<std::pair<std::string, double>> lines;
    std::string wavelength;
    double intensity = 0;
    while (lines.size() < 20 && demo >> wavelength >> intensity)
        lines.emplace_back(wavelength, intensity);
    for (int f = 0; f < 100; ++f) {
        std::ofstream out(folder / "spectra" / ("spectrum" + std::to_string(1000 + f) + ".txt"));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const double scatter = 1 + 0.01 * ((f * 7 + static_cast<int>(i) * 13) % 5 - 2);
            out << lines[i].first << ' ' << lines[i].second * scatter << '\n';
        }
    }
    return folder;
}

void BatchFit100Files(benchmark::State& state) {
    const fs::path folder = MakeFiles();
    const std::string command = std::string("'") + ZELT_CLI_PATH + "' --ini '" +
                                (folder / "zeltfit.ini").string() + "' batch fit '" +
                                (folder / "spectra").string() + "' --fit-temperature --log '" +
                                (folder / "fit.log").string() + "' > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("zeltfit-cli failed");
    fs::remove_all(folder);
}
BENCHMARK(BatchFit100Files)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
