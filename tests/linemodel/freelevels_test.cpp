// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/freelevels.h"

#include "linemodel/constants.h"
#include "linemodel/likelihood.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ModelParams;

// log10 n (m-3) of 1s5, 1s4, 1s3 and 1s2: n(1s3)/n(1s5) = 0.13 as in a low-pressure argon
// discharge, where Boltzmann balance at 1000 to 1500 K would give 0.03 to 0.05.
const std::vector<long double> kFree = {16.69897L, 16.0L, 15.8129L, 15.903L};
// The demo configuration's map range.
const TSearchRange kRange = {15, 18, 500, 4000};

class FreeLevels : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadArgon(data);
        data.ImportLines(test::DemoFile("measurements/argon_5e16.txt"));
    }
    // Intensities of the 29 demo lines from the free model at log10 densities `truth` (every
    // level free), times (1 + noise g) with g normal from `seed`: the photon rates b / lambda.
    void Measure(const std::vector<long double>& truth, double noise = 0, std::uint64_t seed = 0) {
        TFreeLevelsModel model(data, setup);
        TParamVector q;
        for (std::int32_t j = 0; j < model.Levels(); ++j)
            q[model.DensitySlot(j)] = truth[static_cast<std::size_t>(j)];
        TCheckedVector<long double> fractions;
        model.Fractions()(q, fractions);
        data.ClearPrecalc();
        TUniformRandom random(seed);
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            TLine& line = data.SelectedLines[i];
            line.Intensity = static_cast<double>(fractions[i] / line.Data.Wavelength *
                                                 (1 + GaussRandom(0, noise, random)));
        }
        data.CalcBranchingFractions();
    }
    TFreeLevelsRun Run(const std::vector<std::int32_t>& chosen = {}) {
        return FitFreeLevels(data, setup, 50, 2, kRange, chosen, log);
    }

    TAtomicData data{nullptr};
    const TParamVector setup = ModelParams(16, 1000);
    test::TempFolder folder;
    const std::string log = folder.File("zeltfit.txt");
};

TEST_F(FreeLevels, ExactIntensitiesGiveBackEveryDensityTheBoltzmannFitCannot) {
    Measure(kFree);
    const TFreeLevelsRun run = Run();
    ASSERT_TRUE(run.Boltzmann);
    // The Boltzmann fits miss n(1s5) by 10 % and more.
    EXPECT_GT(std::fabs(std::pow(10.0L, Slot(run.Likelihood.Params, LogDensity) - kFree[0]) - 1),
              0.1);
    ASSERT_EQ(run.Free.Levels.size(), 4u);
    for (const TFreeLevel& level : run.Free.Levels) {
        EXPECT_TRUE(level.Free);
        EXPECT_TRUE(level.Determined);
        EXPECT_NEAR(static_cast<double>(level.Density / std::pow(10.0L, kFree[level.Level])), 1,
                    1e-6)
            << level.Level;
        EXPECT_EQ(data.Levels[level.Level].Population, level.Density);
    }
    for (const TLine& line : data.SelectedLines)
        EXPECT_NEAR(line.BFFit, line.BFMeasured, 1e-7) << line.Data.Wavelength;
    // 29 lines from 10 upper levels, 4 parameters.
    EXPECT_EQ(run.Free.Parameters, 4);
    EXPECT_EQ(run.Free.DegreesOfFreedom, 15);
    // n(1s3)/n(1s5) = r would take (E_3 - E_1) e / (k ln((g_3 / g_1) / r)) under Boltzmann.
    const TFreeLevel& third = run.Free.Levels[2];
    const double ratio = std::pow(10.0, static_cast<double>(kFree[2] - kFree[0]));
    EXPECT_NEAR(static_cast<double>(third.Ratio / ratio), 1, 1e-6);
    EXPECT_NEAR(static_cast<double>(*third.Temperature),
                0.17480596 * 1.60217733e-19 / (1.380658e-23 * std::log(0.2 / ratio)), 0.01);
    EXPECT_FALSE(run.Free.Levels[0].Temperature);
    EXPECT_EQ(data.PrecalcStore.size(), 0);
    // The log is the Boltzmann fit's.
    EXPECT_NE(folder.Read("zeltfit.txt").find("  Te   "), std::string::npos);
}

TEST_F(FreeLevels, OneLevelFreeTheOthersTiedByBoltzmann) {
    // 1s3 alone away from the Boltzmann balance of the others at 1500 K.
    const long double t = 1500;
    std::vector<long double> truth;
    for (std::int32_t j = 0; j < 4; ++j)
        truth.push_back(kFree[0] + std::log10(data.Levels[j].G / data.Levels[0].G) -
                        (data.Levels[j].Energy - data.Levels[0].Energy) * kElementaryCharge /
                            (kBoltzmann * t * std::log(10.0L)));
    truth[2] = kFree[2];
    Measure(truth, 0.01, 3);
    const TFreeLevelsRun run = Run({3});
    // log10 n_1, T_exc and log10 n_3.
    EXPECT_EQ(run.Free.Parameters, 3);
    EXPECT_EQ(run.Free.DegreesOfFreedom, 16);
    const std::vector<TFreeLevel>& levels = run.Free.Levels;
    EXPECT_TRUE(levels[0].Free);
    EXPECT_FALSE(levels[1].Free);
    EXPECT_TRUE(levels[2].Free);
    EXPECT_FALSE(levels[3].Free);
    for (const TFreeLevel& level : levels) {
        ASSERT_TRUE(level.Uncertainty) << level.Level;
        EXPECT_LT(std::fabs(level.LogDensity - truth[static_cast<std::size_t>(level.Level)]),
                  3 * *level.Uncertainty / level.Density / std::log(10.0L))
            << level.Level;
    }
    // The tied levels follow n_1 and T_exc: their ratio's temperature is the fit's.
    const long double fitted = Slot(run.Free.Fit.Params, Temperature);
    EXPECT_NEAR(static_cast<double>(levels[1].Ratio),
                static_cast<double>(data.Levels[1].G / data.Levels[0].G *
                                    std::exp(-(data.Levels[1].Energy - data.Levels[0].Energy) *
                                             kElementaryCharge / (kBoltzmann * fitted))),
                1e-12);
    // The data ask for 1s3 free.
    ASSERT_TRUE(run.Comparison->Applicable);
    EXPECT_EQ(run.Comparison->FreeParameters - run.Comparison->BoltzmannParameters, 1);
    EXPECT_LT(run.Comparison->PValue, 1e-6);
    const std::vector<std::string> table = FreeLevelsTable(data, run.Free);
    EXPECT_NE(table[1].find(", tied (Boltzmann)"), std::string::npos) << table[1];
    EXPECT_EQ(table[2].find("tied"), std::string::npos) << table[2];
}

TEST_F(FreeLevels, TheTestTellsFreeLevelsFromBoltzmannBalance) {
    int significant = 0;
    for (int seed = 1; seed <= 20; ++seed) {
        Measure(kFree, 0.01, seed);
        const TModelComparison c = *Run().Comparison;
        ASSERT_TRUE(c.Applicable);
        EXPECT_EQ(c.Noise, TNoiseModel::Relative);
        EXPECT_EQ(c.BoltzmannParameters, 2);
        EXPECT_EQ(c.FreeParameters, 4);
        significant += c.PValue < 0.01;
    }
    EXPECT_EQ(significant, 20);
    // (Boltzmann data: tests/tools/coverage_test.cpp.)

    // F = ((3 - 1) / 2) / (1 / 10) = 10; for 2 numerator degrees of freedom the p-value is
    // (1 + 2 F / nu)^(-nu / 2) = 3^-5. With given uncertainties LR = 2 and p = exp(-LR / 2).
    TModelComparison c = CompareModels(TNoiseModel::Relative, 3, 2, 1, 4, 10);
    EXPECT_NEAR(static_cast<double>(c.Statistic), 10, 1e-15);
    EXPECT_NEAR(static_cast<double>(c.PValue), 1.0 / 243, 1e-15);
    c = CompareModels(TNoiseModel::Given, 3, 2, 1, 4, 0);
    EXPECT_TRUE(c.Applicable);
    EXPECT_NEAR(static_cast<double>(c.Statistic), 2, 1e-15);
    EXPECT_NEAR(static_cast<double>(c.PValue), std::exp(-1.0), 1e-15);
    EXPECT_EQ(CompareModels(TNoiseModel::Relative, 3, 2, 1, 2, 10).Reason,
              "the free fit has 2 parameters, the Boltzmann fit 2");
    EXPECT_EQ(CompareModels(TNoiseModel::Relative, 3, 1, 1, 4, 0).Reason,
              "no degree of freedom is left to the free fit (nu = 0)");
    EXPECT_FALSE(CompareModels(TNoiseModel::Relative, 3, 1, 0, 4, 5).Applicable);
}

TEST_F(FreeLevels, AThinLevelIsNotDeterminedAndOneNoLineAbsorbsFromIsNoParameter) {
    // n(1s2) = 1e8 m-3: its lines have optical depths near 1e-8.
    Measure({16.69897L, 16.0L, 15.8129L, 8.0L}, 0.01, 7);
    TFreeLevelsRun run = Run();
    const TFreeLevel& thin = run.Free.Levels[3];
    EXPECT_FALSE(thin.Determined);
    EXPECT_FALSE(thin.Uncertainty);
    EXPECT_FALSE(thin.RatioUncertainty);
    EXPECT_TRUE(run.Free.Levels[2].Determined);
    TReportList report;
    WriteFreeLevelsResults(data, run.Free, report, "thin.txt");
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0], "n_tot/m-3 \xB1u(n_tot)    n_1/m-3   \xB1u(n_1)   n_2/m-3   \xB1u(n_2)   "
                         "n_3/m-3   \xB1u(n_3)   n_4/m-3   \xB1u(n_4)   T/K  u(T)       RSS "
                         "Filename  Procedure");
    EXPECT_TRUE(report[1].starts_with("      n.d.       n.d.  5.0")) << report[1];
    EXPECT_TRUE(report[1].ends_with("       n.d.       n.d.  free  free " +
                                    Format("%.3e", {run.Free.Fit.SumOfSquares}) +
                                    " thin.txt  fit:n_4 not determined"))
        << report[1];

    // 1s2 the lower level of no selected line: not a parameter, so nu counts one more.
    TCheckedVector<TLine> kept;
    for (const TLine& line : data.SelectedLines)
        if (line.LowerLevel != 3)
            kept.push_back(line);
    data.SelectedLines = kept;
    data.CalcBranchingFractions();
    run = Run();
    EXPECT_EQ(run.Free.Parameters, 3);
    EXPECT_EQ(run.Free.DegreesOfFreedom,
              TIntensityData(data).Lines() - TIntensityData(data).UpperLevels() - 3);
    EXPECT_FALSE(run.Free.Levels[3].Determined);
    for (int j = 0; j < 3; ++j)
        EXPECT_TRUE(run.Free.Levels[static_cast<std::size_t>(j)].Uncertainty) << j;
}

TEST_F(FreeLevels, RefusesWhatItCannotFit) {
    EXPECT_EQ(
        test::ErrorText<Exception>([&] { TFreeLevelsModel(data, ModelParams(16, 1000, 0.05, 9)); }),
        "Free lower levels: Boltzmax = 9 levels, but a fit takes at most 8 parameters.");
    EXPECT_EQ(
        test::ErrorText<Exception>([&] { TFreeLevelsModel(data, ModelParams(16, 1000, 0.05, 0)); }),
        "Free lower levels: no level is populated (Boltzmax = 0).");
    EXPECT_EQ(test::ErrorText<Exception>([&] {
                  TFreeLevelsModel(data, setup, {2, 5});
              }),
              "Free lower levels: level 5 is not one of the 4 populated levels (Boltzmax).");
    // A density beyond the model's range is named; the fit rejects such a trial step.
    TFreeLevelsModel model(data, setup);
    TParamVector q;
    q[1] = 400;
    TCheckedVector<long double> fractions;
    EXPECT_EQ(test::ErrorText<EOverflow>([&] { model.Fractions()(q, fractions); }),
              "Floating point overflow in the free level densities (log10 400, 0, 0, 0)");
}

} // namespace
} // namespace zelt
