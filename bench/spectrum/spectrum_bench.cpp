// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the import of raw spectra: one 3648-pixel spectrum of the demo argon species read
// from its semicolon-separated export, its 29 lines integrated, the measurement file and the
// table beside it written; and a folder of 1000 such spectra imported as zeltfit-cli import
// does, on 1 and on 2 threads (target: under 10 s on 2 cores).

#include "app/application.h"
#include "common/textfile.h"
#include "spectrum/integration.h"
#include "spectrum/synthetic.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zelt;

constexpr int kSpectra = 1000;
constexpr int kDistinct = 10; // spectra of different noise, repeated through the folder

void WriteFile(const std::string& fileName, const std::string& text) {
    TTextWriter writer;
    writer.Create(fileName);
    writer.Write(text);
    writer.Close();
}

// A temporary folder of kSpectra exports of the demo spectrum at 5e16 m-3, and the species.
class Folder {
public:
    Folder() {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() /
                  ("zelt-bench-spectrum-" + std::to_string(random()));
        std::filesystem::create_directories(folder_ / "out");
        const std::string data = ZELT_SOURCE_DIR "/data/";
        species_.ChangeSpecies(data + "Ar_levels.txt", data, "Ar,I");
        species_.ImportLines(data + "measurements/argon_5e16.txt");
        TParamVector p;
        Slot(p, LogDensity) = 16.698970004336019L;
        Slot(p, Temperature) = 1500;
        Slot(p, GasTemperature) = 400;
        Slot(p, PathLength) = 0.05L;
        Slot(p, AtomMass) = 39.948L * 1.6605402e-27L;
        Slot(p, BoltzmannLevels) = 4;
        const std::vector<TSyntheticLine> lines = ModelLines(species_, p, 2e5);
        lines_ = MeasurableLines(species_);
        std::vector<std::string> texts;
        for (int k = 0; k < kDistinct; ++k) {
            TSyntheticOptions options;
            options.Dark = 1000;
            options.Seed = static_cast<std::uint64_t>(k + 1);
            texts.push_back(SemicolonExport(SyntheticSpectrum(lines, options), options.Dark));
        }
        std::ofstream(folder_ / "zeltfit.ini")
            << "[_Files]\nDatabase=" ZELT_SOURCE_DIR "/data\n[Ar I]\nLevels=Ar_levels.txt\n"
               "Lines=Ar,I\nm=39.948\nBoltzmax=4\n";
        std::filesystem::create_directories(folder_ / "spectra");
        for (int i = 0; i < kSpectra; ++i) {
            files_.push_back(
                (folder_ / "spectra" / ("spectrum" + std::to_string(i) + ".csv")).string());
            WriteFile(files_.back(), texts[static_cast<std::size_t>(i % kDistinct)]);
        }
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    // Imports one spectrum as zeltfit-cli import does; false when a line is lost.
    bool Import(std::size_t i) const {
        const TIntegration result = IntegrateLines(ReadSpectrum(files_[i], {}), lines_, {});
        const std::string out = (folder_ / "out" / "spectrum.txt").string();
        WriteMeasurement(out, result.Measurement());
        WriteFile(LineTableFor(out), IntegrationTable(result));
        return result.Measurement().size() >= 26;
    }

    // Imports the folder as zeltfit-cli import DIR --threads N does; false when a file failed.
    bool ImportAll(std::int32_t threads) const {
        TZeltApp app((folder_ / "zeltfit.ini").string());
        app.ChangeSpecies("Ar I");
        bool ok = true;
        app.ImportSpectra(
            files_, (folder_ / "out").string(), {}, threads,
            [&](const std::string&, const TImportOutcome& outcome) { ok = ok && outcome.Done; });
        return ok;
    }

private:
    std::filesystem::path folder_;
    TAtomicData species_{nullptr};
    std::vector<TSpeciesLine> lines_;
    std::vector<std::string> files_;
};

const Folder& TheFolder() {
    static const Folder folder;
    return folder;
}

void BM_ImportSpectrum(benchmark::State& state) {
    const Folder& folder = TheFolder();
    for (auto _ : state)
        if (!folder.Import(0))
            state.SkipWithError("lines lost");
}
BENCHMARK(BM_ImportSpectrum)->Unit(benchmark::kMillisecond);

void BM_ImportFolder(benchmark::State& state) {
    const Folder& folder = TheFolder();
    for (auto _ : state)
        if (!folder.ImportAll(static_cast<std::int32_t>(state.range(0))))
            state.SkipWithError("a spectrum failed");
}
BENCHMARK(BM_ImportFolder)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
