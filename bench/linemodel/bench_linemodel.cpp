// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the two main computations on the demo argon spectrum (29 lines, 14 levels): the
// residual map (200 x 200 and 1000 x 1000, on one thread and on every core; 200 x 200 also with
// the doppler escape factor) and a two-parameter fit, and beside it the fit of the four free
// lower levels, timed by the wall clock, as the user waits for them; the exponentials of the map
// alone, the floor of its arithmetic; and the confidence region taken from a map. With
// repetitions each also reports its best repetition ("min"), the figure the NumPy and SciPy
// references print (bench/references/compare.sh runs them all).

#include "linemodel/absorption.h"
#include "linemodel/atomicdata.h"
#include "linemodel/constants.h"
#include "linemodel/extended.h"
#include "linemodel/freelevels.h"
#include "linemodel/likelihood.h"
#include "linemodel/region.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace zelt {
namespace {

const std::string kDataFolder = std::string(ZELT_SOURCE_DIR) + "/data/";

double Smallest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

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

// Arguments: points per axis, threads (0: one per core).
void MapWith(benchmark::State& state, const TEscapeModel& escape) {
    const auto points = static_cast<std::int32_t>(state.range(0));
    TAtomicData data(nullptr);
    LoadDemo(data);
    data.Escape = escape;
    // The doppler factor's table is made on first use, not in the timed maps.
    DopplerEscapeFactor(1);
    data.MapThreads = static_cast<std::int32_t>(state.range(1));
    data.InitMap(points, points);
    TMapRange range;
    for (auto _ : state) {
        TParamVector p = DemoParams();
        data.CalcMap(points, points, p, 15, 18, 500, 4000, "argon_5e16.txt", range, nullptr, 0);
        benchmark::DoNotOptimize(data.RSSMap[0][0]);
    }
}

void BM_Map(benchmark::State& state) {
    MapWith(state, TEscapeModel());
}
BENCHMARK(BM_Map)
    ->ArgNames({"points", "threads"})
    ->Args({200, 1})
    ->Args({200, 0})
    ->Args({1000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Smallest);

// The same map with the exact escape factor of a Doppler source: within 1.5 times BM_Map.
void BM_MapDoppler(benchmark::State& state) {
    MapWith(state, TEscapeModel::Doppler());
}
BENCHMARK(BM_MapDoppler)
    ->ArgNames({"points", "threads"})
    ->Args({200, 1})
    ->Args({200, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Smallest);

// The optical depths tau at which the 200 x 200 demo map takes an exponential: every grid point
// and every line whose lower level is populated but not the first (the map computes the other
// lines' escape factors once per column or once for the map), in the map's order and precision.
std::vector<double> MapDepths() {
    constexpr std::int32_t points = 200;
    TAtomicData data(nullptr);
    LoadDemo(data);
    const TParamVector p = DemoParams();
    const double velocity = ThermalVelocity(static_cast<double>(Slot(p, GasTemperature)),
                                            static_cast<double>(Slot(p, AtomMass)));
    const auto step = [](long double from, double to) {
        return static_cast<double>((to - from) / points);
    };
    const std::int32_t populated = static_cast<std::int32_t>(Slot(p, BoltzmannLevels));
    std::vector<double> depths;
    for (const double temperature : GridValues(500, step(500, 4000), points)) {
        for (const double logDensity : GridValues(15, step(15, 18), points)) {
            for (const TLine& line : data.SelectedLines) {
                if (line.LowerLevel == 0 || line.LowerLevel >= populated)
                    continue;
                const TLevel& first = data.Levels[0];
                const TLevel& lower = data.Levels[line.LowerLevel];
                const long double boltzmann = BoltzmannFactor(
                    -kElementaryCharge * (static_cast<long double>(lower.Energy) - first.Energy),
                    kBoltzmann * temperature);
                const double n = Population(PowerOfTen(logDensity),
                                            static_cast<long double>(lower.G) / first.G, boltzmann);
                depths.push_back(
                    OpticalDepth(LineConstants(line.Data, velocity), n, Slot(p, PathLength)));
            }
        }
    }
    return depths;
}

// The floor of the map's arithmetic: the one extended exponential exp(-0.001 tau) per line and
// grid point that the model asks for, alone, over the 200 x 200 demo map's own depths (840,000
// exponentials), on one thread and shared among two.
void BM_MapExponentials(benchmark::State& state) {
    static const std::vector<double> depths = MapDepths();
    const std::size_t threads = static_cast<std::size_t>(state.threads());
    const std::size_t share = (depths.size() + threads - 1) / threads;
    const std::size_t from = share * static_cast<std::size_t>(state.thread_index());
    const std::size_t to = std::min(depths.size(), from + share);
    std::vector<long double> exponentials(to - from);
    for (auto _ : state) {
        for (std::size_t i = from; i < to; ++i)
            exponentials[i - from] = EscapeExponential(depths[i]);
        benchmark::DoNotOptimize(exponentials.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(to - from));
}
BENCHMARK(BM_MapExponentials)
    ->Threads(1)
    ->Threads(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Smallest);

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
BENCHMARK(BM_FitTwoParameters)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Smallest);

// The free fit of the four 1s levels alone (command 0), from the two-parameter likelihood fit,
// and the whole command (1): the result line's two-parameter fit, the likelihood fit, the free fit
// from it and the test.
void BM_FitFreeLevels(benchmark::State& state) {
    TAtomicData data(nullptr);
    LoadDemo(data);
    const std::string log =
        (std::filesystem::temp_directory_path() / "zelt-bench-free.txt").string();
    const TSearchRange range = {15, 18, 500, 4000};
    TParamVector p = DemoParams();
    Slot(p, FitCount) = 2;
    const TLikelihoodFit boltzmann = FitLikelihood(data, p, range);
    TFreeLevelsModel model(data, DemoParams());
    for (auto _ : state) {
        if (state.range(0) == 0) {
            const TFreeLevelsFit fit = FitFreeLevelsFrom(model, boltzmann);
            benchmark::DoNotOptimize(fit.Fit.SumOfSquares);
        } else {
            const TFreeLevelsRun run = FitFreeLevels(data, DemoParams(), 50, 2, range, {}, log);
            benchmark::DoNotOptimize(run.Comparison->PValue);
        }
    }
    std::filesystem::remove(log);
}
BENCHMARK(BM_FitFreeLevels)
    ->ArgName("command")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", Smallest);

} // namespace
} // namespace zelt

BENCHMARK_MAIN();
