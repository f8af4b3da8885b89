// SPDX-License-Identifier: GPL-3.0-or-later
// How often the uncertainties the program asks a user to quote cover the truth: synthetic
// measurements of the demo argon species made by the model itself (tools/demodata.h, no part of
// the fit), with relative Gaussian noise on the intensities, fitted as "Fit" fits them.

#include "linemodel/freelevels.h"
#include "linemodel/likelihood.h"
#include "tools/demodata.h"

#include "tests/common/tempfolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace zelt {
namespace {

// The map's range of the demo configuration.
const TSearchRange kRange = {15, 18, 500, 4000};

struct TCase {
    double Density;     // m-3, the true n_1
    double Noise;       // relative standard deviation of an intensity
    bool Uncertainties; // u(I) given (NAME.lines.tsv) rather than estimated
    int Realisations;
};

// Counts of realisations whose interval covers the truth.
struct TCounts {
    int Fits = 0, Density = 0, Temperature = 0, Total = 0, Profile = 0, Region = 0;
    int Tested = 0, Rejected = 0; // free-levels tests of Boltzmann data, rejected at 5 %
};

class Coverage : public ::testing::Test {
protected:
    void SetUp() override {
        data.ChangeSpecies(std::string(ZELT_SOURCE_DIR) + "/data/Ar_levels.txt",
                           std::string(ZELT_SOURCE_DIR) + "/data/", "Ar,I");
        SelectDemoLines(data, folder.File("selection.txt"));
    }

    void Run(const TCase& c, std::uint64_t seed, TCounts& counts) {
        const TParamVector truth = DemoParams(c.Density, 1500);
        const std::vector<double> exact = DemoIntensities(data, truth);
        // n_tot of the truth: the populations of the model evaluated there.
        data.ModelBF(truth, 0);
        data.ClearPrecalc();
        long double total = 0;
        for (std::int32_t j = 0; j < kDemoLevels; ++j)
            total += data.Levels[j].Population;
        TUniformRandom random(seed);
        for (int r = 0; r < c.Realisations; ++r) {
            const std::vector<double> noisy = NoisyIntensities(exact, c.Noise, random);
            for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
                TLine& line = data.SelectedLines[i];
                line.Intensity = noisy[static_cast<std::size_t>(i)];
                line.IntensityUncertainty =
                    c.Uncertainties ? c.Noise * exact[static_cast<std::size_t>(i)] : 0;
            }
            data.CalcBranchingFractions();
            TParamVector p = truth;
            Slot(p, LogDensity) = 16;
            Slot(p, Temperature) = 1000;
            Slot(p, FitCount) = 2;
            const TLikelihoodFit fit = FitLikelihood(data, p, kRange);
            ASSERT_TRUE(fit.Quoted) << r;
            ++counts.Fits;
            const TResultValues& v = fit.Values;
            counts.Density += std::fabs(v.Densities[0] - c.Density) <= v.Uncertainties[0];
            counts.Temperature += std::fabs(v.Temperature - 1500) <= v.TemperatureUncertainty;
            counts.Total += std::fabs(v.Total - total) <= v.TotalUncertainty;
            counts.Profile += fit.DensityLow && fit.DensityHigh && *fit.DensityLow <= c.Density &&
                              c.Density <= *fit.DensityHigh;
            // The joint region of n_1 and T_exc: chi^2 at the truth within the rise.
            const TIntensityData intensities(data);
            TChiSquare chi2(intensities, BoltzmannFractions(data));
            counts.Region +=
                chi2(truth) <= fit.ChiSquare + *ChiSquareRise(fit.Noise, fit.ChiSquare,
                                                              fit.DegreesOfFreedom, 2, kQuoteLevel);
            TFreeLevelsModel free(data, truth);
            const TFreeLevelsFit levels = FitFreeLevelsFrom(free, fit);
            const TModelComparison test =
                CompareModels(levels.Noise, fit.ChiSquare, fit.Parameters, levels.Fit.SumOfSquares,
                              levels.Parameters, levels.DegreesOfFreedom);
            ASSERT_TRUE(test.Applicable) << r;
            ++counts.Tested;
            counts.Rejected += test.PValue < 0.05;
        }
    }

    TAtomicData data{nullptr};
    test::TempFolder folder;
};

TEST_F(Coverage, QuotedUncertaintiesAndRegionsCoverTheTruthAsOftenAsTheySay) {
    TCounts counts;
    std::uint64_t seed = 1;
    for (const TCase& c : {TCase{5e16, 0.02, false, 90}, TCase{1e16, 0.02, false, 70},
                           TCase{2e17, 0.05, false, 70}, TCase{5e16, 0.02, true, 70}})
        Run(c, seed++, counts);
    const auto share = [&](int count) { return static_cast<double>(count) / counts.Fits; };
    // 0.683 expected; a binomial of 300 scatters by 0.027.
    for (const int covered :
         {counts.Density, counts.Temperature, counts.Total, counts.Profile, counts.Region}) {
        EXPECT_GE(share(covered), 0.62);
        EXPECT_LE(share(covered), 0.75);
    }
    // Data in Boltzmann balance: the test at 5 % rejects about 5 % of them.
    EXPECT_LE(static_cast<double>(counts.Rejected) / counts.Tested, 0.09);
    std::printf(
        "n_1 %.3f, T_exc %.3f, n_tot %.3f, profile %.3f, region %.3f, rejected %.3f of %d\n",
        share(counts.Density), share(counts.Temperature), share(counts.Total),
        share(counts.Profile), share(counts.Region),
        static_cast<double>(counts.Rejected) / counts.Tested, counts.Fits);
}

} // namespace
} // namespace zelt
