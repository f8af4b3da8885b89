// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/freelevels.h"

#include "linemodel/constants.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ModelParams;

// log10 n (m-3) of 1s5, 1s4, 1s3 and 1s2: n(1s3)/n(1s5) = 0.13 as in a low-pressure argon
// discharge, where Boltzmann balance at 1000 to 1500 K would give 0.03 to 0.05.
const std::vector<long double> kFree = {16.69897L, 16.0L, 15.8129L, 15.903L};

// Boltzmann populations of the four levels at n(1s5) = 5e16 m-3 and 1500 K.
std::vector<long double> BoltzmannLogs() {
    const long double energies[] = {11.54835433L, 11.62359262L, 11.72316029L, 11.82807106L};
    const long double weights[] = {5, 3, 1, 3};
    std::vector<long double> logs;
    for (int k = 0; k < 4; ++k)
        logs.push_back(16.69897L + std::log10(weights[k] / weights[0]) -
                       (energies[k] - energies[0]) * kElementaryCharge /
                           (kBoltzmann * 1500 * std::log(10.0L)));
    return logs;
}

class FreeLevels : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadArgon(data);
        data.ImportLines(test::DemoFile("measurements/argon_5e16.txt"));
    }
    // Measured fractions of the 29 demo lines from the free model at log10 densities `truth`,
    // with Gaussian noise of amplitude `noise` on each line's share of its upper level's
    // photons: the equal scatter the fit's equal weights assume.
    void Measure(const std::vector<long double>& truth, double noise = 0, std::uint64_t seed = 0) {
        TFreeLevelsModel model(data, setup);
        TParamVector q;
        for (std::size_t k = 0; k < truth.size(); ++k)
            q[k + 1] = truth[k];
        TUniformRandom random(seed);
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            TLine& line = data.SelectedLines[i];
            const long double share = model.Fraction(q, i) + GaussRandom(0, noise, random);
            line.Intensity = static_cast<double>(share / line.Data.Wavelength);
        }
        data.ClearPrecalc();
        data.CalcBranchingFractions();
    }
    TFreeLevelsRun Run() { return FitFreeLevels(data, setup, 50, 2, {}, log); }

    TAtomicData data{nullptr};
    const TParamVector setup = ModelParams(16, 1000);
    test::TempFolder folder;
    const std::string log = folder.File("zeltfit.txt");
};

TEST_F(FreeLevels, ExactFractionsGiveBackEveryDensityTheBoltzmannFitCannot) {
    Measure(kFree);
    const TFreeLevelsRun run = Run();
    ASSERT_TRUE(run.Boltzmann);
    // The Boltzmann fit misses n(1s5) by 10 % and n(1s3)/n(1s5) by a factor of nearly 4.
    const TParamVector& boltzmann = run.Boltzmann->Params;
    EXPECT_GT(std::fabs(std::pow(10.0L, Slot(boltzmann, LogDensity) - kFree[0]) - 1), 0.1);
    EXPECT_LT(0.2L * std::exp(-0.17480596L * kElementaryCharge /
                              (kBoltzmann * Slot(boltzmann, Temperature))),
              0.13 / 3.5);
    ASSERT_EQ(run.Free.Levels.size(), 4u);
    for (const TFreeLevel& level : run.Free.Levels) {
        EXPECT_TRUE(level.Determined);
        EXPECT_NEAR(static_cast<double>(level.Density / std::pow(10.0L, kFree[level.Level])), 1,
                    1e-6)
            << level.Level;
        EXPECT_NEAR(data.Levels[level.Level].Population / level.Density, 1, 1e-15);
    }
    for (const TLine& line : data.SelectedLines)
        EXPECT_NEAR(line.BFFit, line.BFMeasured, 1e-7) << line.Data.Wavelength;
    EXPECT_EQ(run.Free.DegreesOfFreedom, 15); // 19 independent fractions, 4 levels
    // n(1s3)/n(1s5) = r would take (E_3 - E_1) e / (k ln((g_3 / g_1) / r)) under Boltzmann.
    const TFreeLevel& third = run.Free.Levels[2];
    const double ratio = std::pow(10.0, static_cast<double>(kFree[2] - kFree[0]));
    EXPECT_NEAR(static_cast<double>(third.Ratio / ratio), 1, 1e-6);
    EXPECT_NEAR(static_cast<double>(*third.Temperature),
                0.17480596 * 1.60217733e-19 / (1.380658e-23 * std::log(0.2 / ratio)), 0.01);
    EXPECT_FALSE(run.Free.Levels[0].Temperature);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(static_cast<double>(run.Free.Correlation[i][i]), 1, 1e-12);
    EXPECT_EQ(data.PrecalcStore.size(), 0);
    // The log names the densities; a fit afterwards names its own parameters again.
    EXPECT_NE(folder.Read("zeltfit.txt")
                  .find("iter  log10(n_1)  log10(n_2)  log10(n_3)  log10(n_4)             sumr"),
              std::string::npos);
    data.FitLines(setup, 5, 2, 0, "", log, nullptr, 0);
    EXPECT_NE(folder.Read("zeltfit.txt").find("  Te   "), std::string::npos);
}

TEST_F(FreeLevels, NoisyFractionsScatterWithinTheStatedUncertainties) {
    int within[4] = {}, twice[4] = {};
    for (int seed = 1; seed <= 100; ++seed) {
        Measure(kFree, 0.003, seed);
        for (const TFreeLevel& level : Run().Free.Levels) {
            ASSERT_TRUE(level.LogUncertainty) << seed;
            const long double off = std::fabs(level.LogDensity - kFree[level.Level]);
            within[level.Level] += off <= *level.LogUncertainty;
            twice[level.Level] += off <= 2 * *level.LogUncertainty;
        }
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_GT(within[k], 50) << k; // 68 expected
        EXPECT_GE(twice[k], 85) << k;  // 95 expected
    }
}

TEST_F(FreeLevels, TheFTestTellsFreeLevelsFromBoltzmannBalance) {
    int freeSignificant = 0, boltzmannSignificant = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        Measure(kFree, 0.003, seed);
        freeSignificant += Run().Comparison->PValue < 0.01;
        Measure(BoltzmannLogs(), 0.003, seed);
        const TModelComparison c = *Run().Comparison;
        ASSERT_TRUE(c.Applicable);
        EXPECT_EQ(c.BoltzmannParameters, 2);
        EXPECT_EQ(c.FreeParameters, 4);
        boltzmannSignificant += c.PValue < 0.05;
    }
    EXPECT_EQ(freeSignificant, 100);
    EXPECT_LE(boltzmannSignificant, 10); // 5 expected

    // F = ((3 - 1) / 2) / (1 / 10) = 10; for 2 numerator degrees of freedom the p-value is
    // (1 + 2 F / nu)^(-nu / 2) = 3^-5.
    const TModelComparison c = CompareModels(3, 2, 1, 4, 10);
    EXPECT_NEAR(static_cast<double>(c.F), 10, 1e-15);
    EXPECT_NEAR(static_cast<double>(c.PValue), 1.0 / 243, 1e-15);
    EXPECT_EQ(CompareModels(3, 2, 1, 2, 10).Reason,
              "the free fit has 2 levels, the Boltzmann fit 2 parameters");
    EXPECT_EQ(CompareModels(3, 1, 1, 4, 0).Reason,
              "no degree of freedom is left to the free fit (nu = 0)");
    EXPECT_FALSE(CompareModels(3, 1, 0, 4, 5).Applicable);
}

TEST_F(FreeLevels, AnOpticallyThinLevelIsNotDetermined) {
    // n(1s2) = 1e8 m-3: its lines have optical depths near 1e-8.
    Measure({16.69897L, 16.0L, 15.8129L, 8.0L}, 0.003, 7);
    TFreeLevelsRun run = Run();
    const TFreeLevel& thin = run.Free.Levels[3];
    EXPECT_FALSE(thin.Determined);
    EXPECT_FALSE(thin.Uncertainty);
    EXPECT_FALSE(thin.RatioUncertainty);
    EXPECT_EQ(run.Free.Correlation[0][3], 0);
    EXPECT_TRUE(run.Free.Levels[2].Determined);
    TReportList report;
    WriteFreeLevelsResults(data, run.Free, report, "thin.txt");
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0], "n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   n_2/m-3   \xB1u(n_2)   "
                         "n_3/m-3   \xB1u(n_3)   n_4/m-3   \xB1u(n_4)   T/K  u(T)       RSS "
                         "Filename  Procedure");
    EXPECT_EQ(report[1], "      n.d.       n.d.  5.122E+016 8.166E+014 1.011E+016 3.244E+014 "
                         "6.504E+015 1.865E+014       n.d.       n.d.  free  free 1.890E-004 "
                         "thin.txt  fit:n_4 not determined");

    // A level that is the lower level of no selected line: the minimiser's guard freezes it.
    TCheckedVector<TLine> kept;
    for (const TLine& line : data.SelectedLines)
        if (line.LowerLevel != 3)
            kept.push_back(line);
    data.SelectedLines = kept;
    data.CalcBranchingFractions();
    run = Run();
    EXPECT_FALSE(run.Free.Levels[3].Determined);
    EXPECT_EQ(run.Free.Levels[3].LogDensity, run.Free.Fit.Params[4]);
    EXPECT_TRUE(run.Free.Levels[0].Uncertainty);
}

TEST_F(FreeLevels, RefusesWhatItCannotFit) {
    EXPECT_EQ(
        test::ErrorText<Exception>([&] { TFreeLevelsModel(data, ModelParams(16, 1000, 0.05, 9)); }),
        "Free lower levels: Boltzmax = 9 levels, but a fit takes at most 8 parameters.");
    EXPECT_EQ(
        test::ErrorText<Exception>([&] { TFreeLevelsModel(data, ModelParams(16, 1000, 0.05, 0)); }),
        "Free lower levels: no level is populated (Boltzmax = 0).");
    EXPECT_EQ(test::ErrorText<Exception>([&] {
                  FitFreeLevels(data, setup, 50, 2, {16, 16}, log);
              }),
              "Free lower levels: 2 start densities for 4 levels.");
    // A trial density beyond the model's range rejects the step instead of ending the fit.
    TFreeLevelsModel model(data, setup);
    TParamVector q;
    q[1] = 400;
    bool ok = true;
    EXPECT_EQ(model.Trial(q, ok, 0), 0);
    EXPECT_FALSE(ok);
    EXPECT_THROW(model.Fraction(q, 0), EOverflow);
}

} // namespace
} // namespace zelt
