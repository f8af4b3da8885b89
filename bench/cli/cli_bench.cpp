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

// The first 20 lines of the demo argon table: wavelength (nm) and A (1e8 s-1).
const std::vector<std::pair<const char*, double>> kLines = {
    {"667.7282", 0.00236}, {"696.5431", 0.064}, {"706.7218", 0.038},   {"714.7042", 0.0063},
    {"727.2936", 0.0183},  {"738.3980", 0.085}, {"747.1164", 0.00022}, {"750.3869", 0.45},
    {"751.4652", 0.40},    {"763.5106", 0.245}, {"772.3761", 0.052},   {"772.4207", 0.117},
    {"794.8176", 0.186},   {"800.6157", 0.049}, {"801.4786", 0.093},   {"810.3693", 0.25},
    {"811.5311", 0.33},    {"826.4522", 0.153}, {"840.8210", 0.223},   {"842.4648", 0.215}};

fs::path MakeFiles() {
    const fs::path folder = fs::temp_directory_path() / "zelt-cli-bench";
    fs::remove_all(folder);
    fs::create_directories(folder / "spectra");
    std::ofstream(folder / "zeltfit.ini")
        << "[_Files]\nDatabase=" ZELT_SOURCE_DIR "/data\n[_Parameters]\nTn=400\nPath=0.05\n"
           "[Ar I]\nLevels=Ar_levels.txt\nLines=Ar,I\nm=39.948\nBoltzmax=4\n";
    for (int f = 0; f < 100; ++f) {
        std::ofstream out(folder / "spectra" / ("spectrum" + std::to_string(1000 + f) + ".txt"));
        for (std::size_t i = 0; i < kLines.size(); ++i) {
            // photon rate ~ A, energy intensity ~ A / wavelength, with a few per cent of scatter
            const double scatter = 1 + 0.03 * ((f * 7 + static_cast<int>(i) * 13) % 5 - 2);
            out << kLines[i].first << ' '
                << 1e5 * kLines[i].second / std::stod(kLines[i].first) * scatter << '\n';
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
