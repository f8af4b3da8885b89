// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the line table store: loading 200,000 atomic lines merged from 4 table files, and the
// nearest-wavelength search in the loaded table.

#include "textinput/DataFld.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRecords = 200000;
constexpr int kFiles = 4;
constexpr int kSearches = 10000;
const std::vector<std::string> kElements = {"Fe"};
const std::vector<std::string> kIons = {"I", "II", "III", "IV"};

// A temporary database folder with the four table files Fe_I.txt to Fe_IV.txt; their lines
// interleave in wavelength from 200 to 700 nm.
class Database {
public:
    Database() {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() /
                  ("zelt-bench-textbase-" + std::to_string(random()));
        std::filesystem::create_directories(folder_);
        for (int f = 0; f < kFiles; ++f) {
            std::ofstream out(folder_ / ("Fe_" + kIons[f] + ".txt"), std::ios::binary);
            out << "Fe " << kIons[f] << " lines\r\nh2\r\nh3\r\nh4\r\nh5\r\n";
            char line[256];
            for (int i = f; i < kRecords; i += kFiles) {
                const double wavelength = 200 + i * (500.0 / kRecords);
                std::snprintf(line, sizeof line,
                              "Fe %-4s %.5f 1.0 0.512 2.0 3.0 -1.234 AAA  1.234 4.567 1.5 2.5 9 "
                              "11 %-40s %-16s %-4s %-14s %-8s\r\n",
                              kIons[f].c_str(), wavelength, "3d6.4s2 a5D-3d6.4s.4p z5F", "a5D-z5F",
                              "T3", "Text four", "five");
                out << line;
            }
        }
    }
    ~Database() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string Folder() const { return folder_.string(); }

private:
    std::filesystem::path folder_;
};

const Database& TheDatabase() {
    static const Database database;
    return database;
}

void BM_Load(benchmark::State& state) {
    const std::string folder = TheDatabase().Folder();
    for (auto _ : state) {
        zelt::TTextBase base(1000, 500);
        base.Load(folder, kElements, {}, kIons, {}, false, false);
        if (base.AtomCount() != kRecords)
            state.SkipWithError("wrong record count");
        benchmark::DoNotOptimize(base);
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

// One iteration is 10,000 searches; "per_search" is the time of one.
void BM_FindNearest(benchmark::State& state) {
    zelt::TTextBase base(1000, 500);
    base.Load(TheDatabase().Folder(), kElements, {}, kIons, {}, false, false);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> wavelengths(190, 710);
    std::vector<double> keys(kSearches);
    for (double& key : keys)
        key = wavelengths(random);
    zelt::TAtomRecord record;
    std::int32_t index = 0;
    std::uint8_t match = 0;
    for (auto _ : state) {
        for (const double key : keys) {
            base.FindNearest(0, index, key, match, record);
            benchmark::DoNotOptimize(index);
        }
    }
    state.counters["per_search"] = benchmark::Counter(
        kSearches, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FindNearest)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
