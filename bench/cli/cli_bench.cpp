// SPDX-License-Identifier: GPL-3.0-or-later
// A batch fit of 100 measurement files of 20 lines each through zeltfit-cli, process start
// included (target: under 1 s); and the demo folder copied to 600 files fitted for the density
// and to 3000 files fitted for density and T_exc, each on 1 and on 2 threads (target: 2 threads
// at least 1.8 times the rate of one, measured in the same run).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh folder with the configuration of the demo database and an empty folder "spectra".
fs::path MakeFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder / "spectra");
    std::ofstream(folder / "zeltfit.ini")
        << "[_Files]\nDatabase=" ZELT_SOURCE_DIR "/data\n[_Parameters]\nTn=400\nPath=0.05\n"
           "[Ar I]\nLevels=Ar_levels.txt\nLines=Ar,I\nm=39.948\nBoltzmax=4\n";
    return folder;
}

// The batch fit of the folder's spectra, its output dropped.
std::string BatchFitCommand(const fs::path& folder, const std::string& options) {
    return std::string("'") + ZELT_CLI_PATH + "' --ini '" + (folder / "zeltfit.ini").string() +
           "' batch fit '" + (folder / "spectra").string() + "' --log '" +
           (folder / "fit.log").string() + "'" + options + " > /dev/null";
}

fs::path MakeFiles() {
    const fs::path folder = MakeFolder("zelt-cli-bench");
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
    const std::string command = BatchFitCommand(folder, " --fit-temperature");
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("zeltfit-cli failed");
    fs::remove_all(folder);
}
BENCHMARK(BatchFit100Files)->Unit(benchmark::kMillisecond)->Iterations(5);

// The three demo measurements copied to state.range(0) files, fitted with T_exc when
// state.range(1) is 1, on state.range(2) threads; the counter is the rate in files per second of
// wall-clock time.
void BatchFitDemo(benchmark::State& state) {
    const auto files = static_cast<int>(state.range(0));
    const fs::path folder = MakeFolder("zelt-cli-bench-demo");
    const char* demo[] = {"argon_1e16", "argon_2e17", "argon_5e16"};
    for (int f = 0; f < files; ++f)
        fs::copy_file(
            fs::path(ZELT_SOURCE_DIR "/data/measurements") / (std::string(demo[f % 3]) + ".txt"),
            folder / "spectra" / (std::string(demo[f % 3]) + "_" + std::to_string(f) + ".txt"));
    const std::string command =
        BatchFitCommand(folder, std::string(state.range(1) == 1 ? " --fit-temperature" : "") +
                                    " --threads " + std::to_string(state.range(2)));
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("zeltfit-cli failed");
    state.counters["files/s"] = benchmark::Counter(files * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    fs::remove_all(folder);
}
BENCHMARK(BatchFitDemo)
    ->ArgNames({"files", "temperature", "threads"})
    ->Args({600, 0, 1})
    ->Args({600, 0, 2})
    ->Args({3000, 1, 1})
    ->Args({3000, 1, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
