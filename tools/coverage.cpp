// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/coverage.h"

#include "common/errors.h"
#include "linemodel/freelevels.h"
#include "linemodel/likelihood.h"
#include "linemodel/region.h"
#include "tools/demodata.h"

#include <cmath>
#include <numbers>

namespace zelt {

namespace {

// The map's range of the demo configuration: 1e15 to 1e18 m-3, 500 to 4000 K.
const TSearchRange kRange = {15, 18, 500, 4000};
constexpr double kTemperature = 1500; // K

} // namespace

void LoadCoverageSpecies(TAtomicData& data, const std::string& dataFolder,
                         const std::string& scratchFile) {
    data.ChangeSpecies(dataFolder + "/Ar_levels.txt", dataFolder + "/", "Ar,I");
    SelectDemoLines(data, scratchFile);
}

void RunCoverage(TAtomicData& data, const TCoverageCase& c, std::uint64_t seed,
                 TCoverageCounts& counts, const std::string& logPath) {
    const TParamVector truth = DemoParams(c.Density, kTemperature);
    const std::vector<double> exact = DemoIntensities(data, truth);
    // n_tot of the truth: the populations of the model there.
    data.ModelBF(truth, 0);
    data.ClearPrecalc();
    long double total = 0;
    for (std::int32_t j = 0; j < kDemoLevels; ++j)
        total += data.Levels[j].Population;
    TParamVector start = truth;
    Slot(start, LogDensity) = 16;
    Slot(start, Temperature) = 1000;
    Slot(start, FitCount) = 2;
    TUniformRandom random(seed);
    for (int r = 0; r < c.Realisations; ++r) {
        const std::vector<double> noisy = NoisyIntensities(exact, c.Noise, random);
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            TLine& line = data.SelectedLines[i];
            const auto k = static_cast<std::size_t>(i);
            line.Intensity = noisy[k];
            line.IntensityUncertainty = c.Uncertainties ? c.Noise * exact[k] : 0;
        }
        data.CalcBranchingFractions();
        if (!logPath.empty()) {
            const TFitResult line = data.FitLines(start, 50, 2, 0, "", logPath, nullptr, 0);
            const long double n = std::pow(10.0L, Slot(line.Params, LogDensity));
            const long double u = std::numbers::ln10_v<long double> * n * line.Uncertainty[1];
            ++counts.LineFits;
            counts.Line += std::fabs(n - c.Density) <= u;
            counts.LineUncertainty += static_cast<double>(u / c.Density);
        }
        const TLikelihoodFit fit = FitLikelihood(data, start, kRange);
        if (!fit.Quoted)
            throw Exception("A realisation without an uncertainty to quote");
        ++counts.Fits;
        const TResultValues& v = fit.Values;
        const double offset = static_cast<double>(v.Densities[0] / c.Density - 1);
        counts.Offset += offset;
        counts.Squares += offset * offset;
        counts.Quoted += static_cast<double>(v.Uncertainties[0] / c.Density);
        counts.Density += std::fabs(v.Densities[0] - c.Density) <= v.Uncertainties[0];
        counts.Temperature += std::fabs(v.Temperature - kTemperature) <= v.TemperatureUncertainty;
        counts.Total += std::fabs(v.Total - total) <= v.TotalUncertainty;
        counts.Profile += fit.DensityLow && fit.DensityHigh && *fit.DensityLow <= c.Density &&
                          c.Density <= *fit.DensityHigh;
        // The joint region as a map cuts it (MapRegion): a map of 2 x 2 points whose first
        // point is the truth, its cell inside the region or not.
        const auto x = static_cast<double>(Slot(truth, LogDensity));
        const TMapRange cell = {x, x + 2e-3, kTemperature, kTemperature + 2, 1e-3, 1};
        const TChiSquareMap map = ChiSquareMapOf(data, truth, cell, 2, 2, 1);
        const TMapRegion region = MapRegion(map, cell, kQuoteLevel);
        counts.Region += region.Exists && map.Grid[0][0] <= region.Threshold;
        // Every level free, against these Boltzmann data.
        TFreeLevelsModel free(data, truth);
        const TFreeLevelsFit levels = FitFreeLevelsFrom(free, fit);
        const TModelComparison test =
            CompareModels(levels.Noise, fit.ChiSquare, fit.Parameters, levels.Fit.SumOfSquares,
                          levels.Parameters, levels.DegreesOfFreedom);
        if (test.Applicable) {
            ++counts.Tested;
            counts.Rejected += test.PValue < 0.05;
        }
    }
}

} // namespace zelt
