// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"
#include "linemodel/atomicdata.h"
#include "linemodel/extended.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <limits>

namespace zelt {
namespace {

struct TMapResult {
    TCheckedVector<TCheckedVector<double>> Cells;
    TParamVector Params;
    TReportList Report;
    std::vector<double> Fractions; // BFFit of the lines afterwards
};

// The range of a map: log10 n_1 (n_1 in m-3) and T_exc (K).
struct TGridRange {
    double FromLogDensity = 14, ToLogDensity = 19, FromTemperature = 300, ToTemperature = 12000;
};

// A map over `range` on `threads` threads.
TMapResult Map(TAtomicData& data, const TParamVector& p, int densityPoints, int temperaturePoints,
               int threads, const TGridRange& range = {}) {
    TMapResult result;
    result.Params = p;
    data.MapThreads = threads;
    data.ResultHeaderCount = 1;
    data.InitMap(temperaturePoints, densityPoints);
    data.CalcMap(densityPoints, temperaturePoints, result.Params, range.FromLogDensity,
                 range.ToLogDensity, range.FromTemperature, range.ToTemperature, "x.txt",
                 data.MapRange, &result.Report, 0);
    result.Cells = data.RSSMap;
    for (const TLine& line : data.SelectedLines)
        result.Fractions.push_back(line.BFFit);
    return result;
}

void ExpectSameMap(const TMapResult& a, const TMapResult& b, const std::string& what) {
    ASSERT_EQ(a.Cells.size(), b.Cells.size()) << what;
    for (int r = 0; r < a.Cells.size(); ++r)
        for (int c = 0; c < a.Cells[r].size(); ++c)
            ASSERT_EQ(a.Cells[r][c], b.Cells[r][c]) << what << " row " << r << " column " << c;
    EXPECT_EQ(a.Params, b.Params) << what;
    EXPECT_EQ(a.Report, b.Report) << what;
    EXPECT_EQ(a.Fractions, b.Fractions) << what;
}

// Every cell equals the residual of that grid point evaluated on its own through the model
// cache, to the last bit.
void ExpectPointByPoint(TAtomicData& data, const TParamVector& p, const TMapResult& map) {
    const TMapRange& range = data.MapRange;
    TParamVector q = p;
    double temperature = range.FromTemperature;
    for (int r = 0; r < map.Cells.size(); ++r) {
        double logDensity = range.FromLogDensity;
        for (int c = 0; c < map.Cells[r].size(); ++c) {
            Slot(q, LogDensity) = logDensity;
            Slot(q, Temperature) = temperature;
            ASSERT_EQ(map.Cells[r][c], static_cast<double>(data.CalcRSS(q, 2)))
                << "row " << r << " column " << c;
            logDensity = ExtendedSum(logDensity, range.LogDensityStep);
        }
        temperature = ExtendedSum(temperature, range.TemperatureStep);
    }
}

// Argon I with the demo measurement at n(1s5) = 5e16 m-3 and its fractions.
void LoadDemo(TAtomicData& demo) {
    test::LoadArgon(demo);
    demo.ImportLines(test::DemoFile("measurements/argon_5e16.txt"));
    demo.CalcBranchingFractions();
}

TEST(ParallelMap, EqualsTheMapOfOneThreadAndThePointByPointResiduals) {
    TAtomicData demo(nullptr);
    LoadDemo(demo);
    const TParamVector argon = test::ModelParams(0, 0, 0.05, 4);
    const TMapResult one = Map(demo, argon, 23, 17, 1);
    ExpectSameMap(one, Map(demo, argon, 23, 17, 0), "argon, every core");
    ExpectSameMap(one, Map(demo, argon, 23, 17, 5), "argon, 5 threads");
    ExpectPointByPoint(demo, argon, one);
    // Rows computed in several blocks of columns, the last one short.
    const TMapResult wide = Map(demo, argon, 150, 3, 1);
    ExpectSameMap(wide, Map(demo, argon, 150, 3, 2), "argon, 150 columns");
    ExpectPointByPoint(demo, argon, wide);
    // Depths below 0 and infinite ones, whose escape factors follow no rule of depths >= 0.
    for (const long double path : {-1e-9L, std::numeric_limits<long double>::infinity()}) {
        const TParamVector odd = test::ModelParams(0, 0, path, 4);
        ExpectPointByPoint(demo, odd, Map(demo, odd, 23, 5, 2));
    }

    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        TAtomicData data(nullptr);
        const TParamVector p = test::RandomSpecies(data, seed);
        const std::string what = "species " + std::to_string(seed);
        const int columns = seed % 4 == 0 ? 70 : 9;
        const TMapResult single = Map(data, p, columns, 7, 1);
        ExpectSameMap(single, Map(data, p, columns, 7, 3), what);
        ExpectPointByPoint(data, p, single);
    }
}

// The grid of the map benchmarks, 160 x 125 of its points: the grid model's rows on every core
// give each cell the bits of its grid point computed on its own through the model cache.
TEST(ParallelMap, EqualsThePointByPointResidualsOverTheBenchmarkGrid) {
    TAtomicData demo(nullptr);
    LoadDemo(demo);
    const TParamVector argon = test::ModelParams(0, 0, 0.05, 4);
    ExpectPointByPoint(demo, argon, Map(demo, argon, 160, 125, 0, {15, 18, 500, 4000}));
}

TEST(ParallelMap, EveryEscapeModelMapsAsPointByPointAndATableRefusesItsFirstDepthBeyond) {
    TAtomicData demo(nullptr);
    LoadDemo(demo);
    const TParamVector argon = test::ModelParams(0, 0, 0.05, 4);
    test::TempFolder folder;
    const std::string wide = folder.Write("wide.txt", "1e-30 1\n1e30 1e-29\n");
    const std::string narrow = folder.Write("narrow.txt", "1e-30 1\n10 0.1\n");
    for (const std::string& choice : {std::string("doppler"), wide}) {
        demo.Escape = EscapeModelOf(choice);
        const TMapResult one = Map(demo, argon, 23, 17, 1);
        ExpectSameMap(one, Map(demo, argon, 23, 17, 3), choice);
        ExpectPointByPoint(demo, argon, one);
    }
    // The map reaches depths above 10 first at some grid point: both paths stop there, by name.
    demo.Escape = EscapeModelOf(narrow);
    std::vector<std::string> messages;
    for (const int threads : {1, 3}) {
        TParamVector p = argon;
        demo.MapThreads = threads;
        demo.InitMap(17, 23);
        messages.push_back(test::ErrorText<Exception>([&] {
            demo.CalcMap(23, 17, p, 14, 19, 300, 12000, "x.txt", demo.MapRange, nullptr, 0);
        }));
    }
    EXPECT_TRUE(messages[0].starts_with("The optical depth 1.")) << messages[0];
    EXPECT_TRUE(messages[0].ends_with("lies outside the escape factor table \"" + narrow +
                                      "\", which covers 1E-30 to 10"))
        << messages[0];
    EXPECT_EQ(messages[1], messages[0]);
}

TEST(ParallelMap, FewerRowsThanThreads) {
    TAtomicData data(nullptr);
    const TParamVector p = test::RandomSpecies(data, 7);
    ExpectSameMap(Map(data, p, 30, 2, 1), Map(data, p, 30, 2, 8), "2 rows");
    ExpectSameMap(Map(data, p, 30, 1, 1), Map(data, p, 30, 1, 8), "1 row");
}

TEST(ParallelMap, AFaultIsTheFirstInRowOrderAndLeavesTheMapAsAPointByPointRun) {
    // Rows at -1000, -500, 0, 500 K: the row at 0 K has no Boltzmann factors.
    TAtomicData data(nullptr);
    const TParamVector p = test::RandomSpecies(data, 3);
    std::vector<std::string> messages;
    std::vector<TMapResult> maps;
    for (const int threads : {1, 4}) {
        TMapResult result;
        result.Params = p;
        data.MapThreads = threads;
        data.InitMap(4, 6);
        for (auto& row : data.RSSMap)
            for (double& cell : row)
                cell = -7;
        messages.push_back(test::ErrorText<EInvalidOp>([&] {
            data.CalcMap(6, 4, result.Params, 15, 18, -1000, 1000, "x.txt", data.MapRange, nullptr,
                         0);
        }));
        result.Cells = data.RSSMap;
        for (const TLine& line : data.SelectedLines)
            result.Fractions.push_back(line.BFFit);
        maps.push_back(result);
    }
    EXPECT_EQ(messages[0], "Invalid floating point operation in the level populations (log10 "
                           "density 15, temperature 0 K)");
    EXPECT_EQ(messages[1], messages[0]);
    ExpectSameMap(maps[0], maps[1], "fault");
    EXPECT_NE(maps[1].Cells[1][5], -7);
    EXPECT_EQ(maps[1].Cells[2][0], -7);
    EXPECT_EQ(maps[1].Cells[3][5], -7);
}

} // namespace
} // namespace zelt
