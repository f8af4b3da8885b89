// Speed of the two main computations on the demo argon spectrum (29 lines, 14 levels):
// a 200 x 200 residual map and a two-parameter fit; and of the confidence region taken from
// the map.

#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/region.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace zelt {
namespace {

const std::string kDataFolder = std::string(ZELT_SOURCE_DIR) + "/data/";

// Argon I with the demo measurement at n(1s5) = 5e16 m-3 read and its fractions computed.
void LoadDemo(TAtomicData& data) {
    data.ChangeSpecies(kDataFolder + "Ar_levels.txt", kDataFolder, "Ar,I");
    data.ImportLines(kDataFolder + "measurements/argon_5e16.txt");
    data.CalcBranchingFractions();
}

TParamVector DemoParams() {
    TParamVector p;
    Slot(p, LogDensity) = 16;
    Slot(p, Temperature) = 1000;
    Slot(p, GasTemperature) = 400;
    Slot(p, PathLength) = 0.05;
    Slot(p, AtomMass) = 39.948L * kAtomicMassUnit;
    Slot(p, BoltzmannLevels) = 4;
    return p;
}

void BM_Map200x200(benchmark::State& state) {
    TAtomicData data(nullptr);
    LoadDemo(data);
    data.InitMap(200, 200);
    TMapRange range;
    for (auto _ : state) {
        TParamVector p = DemoParams();
        data.CalcMap(200, 200, p, 15, 18, 500, 4000, "argon_5e16.txt", range, nullptr, 0);
        benchmark::DoNotOptimize(data.RSSMap[0][0]);
    }
}
BENCHMARK(BM_Map200x200)->Unit(benchmark::kMillisecond);

// The region of a 200 x 200 map at one level: threshold, extent and outline.
void BM_Region200x200(benchmark::State& state) {
    TAtomicData data(nullptr);
    LoadDemo(data);
    data.InitMap(200, 200);
    TMapRange range;
    TParamVector p = DemoParams();
    data.CalcMap(200, 200, p, 16.5, 16.9, 1000, 2000, "argon_5e16.txt", range, nullptr, 0);
    for (auto _ : state) {
        const TMapRegion region = MapRegion(data.RSSMap, range, 17, 0.954);
        benchmark::DoNotOptimize(region.Outlines.size());
    }
}
BENCHMARK(BM_Region200x200)->Unit(benchmark::kMillisecond);

void BM_FitTwoParameters(benchmark::State& state) {
    TAtomicData data(nullptr);
    LoadDemo(data);
    const std::string log =
        (std::filesystem::temp_directory_path() / "zelt-bench-fit.txt").string();
    for (auto _ : state) {
        const TFitResult fit =
            data.FitLines(DemoParams(), 50, 2, 0, "argon_5e16.txt", log, nullptr, 0);
        benchmark::DoNotOptimize(fit.SumOfSquares);
    }
    std::filesystem::remove(log);
}
BENCHMARK(BM_FitTwoParameters)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace zelt

BENCHMARK_MAIN();
