// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/likelihood.h"

#include "linemodel/fitrun.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ModelParams;

// The demo configuration's map range: 1e15 to 1e18 m-3, 500 to 4000 K.
const TSearchRange kRange = {15, 18, 500, 4000};

class Likelihood : public ::testing::Test {
protected:
    void SetUp() override { test::LoadArgon(data); }
    void Read(const std::string& file) {
        data.ImportLines(file);
        data.CalcBranchingFractions();
    }
    // The intensities of the model at `truth`: the photon rate b / lambda of every line.
    void Exact(const TParamVector& truth) {
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            TLine& line = data.SelectedLines[i];
            line.Intensity = static_cast<double>(data.ModelBF(truth, i) / line.Data.Wavelength);
        }
        data.ClearPrecalc();
        data.CalcBranchingFractions();
    }
    TLikelihoodFit Fit(long double temperature, std::int32_t fitCount) {
        TParamVector p = ModelParams(16, temperature);
        Slot(p, FitCount) = fitCount;
        return FitLikelihood(data, p, kRange);
    }

    TAtomicData data{nullptr};
    test::TempFolder folder;
};

TEST_F(Likelihood, ChiSquareProfilesOneTotalPerUpperLevel) {
    // Three pairs of lines from 2p2, 2p3 and 2p4, a line without intensity and one with A = 0
    // (794.8176 nm, 2p4 -> 1s3, set so here): neither of the last two is a datum.
    Read(folder.Write("f.txt", "696.5431 381.634\r\n727.2936 161.595\r\n706.7218 216.755\r\n"
                               "738.3980 386.587\r\n714.7042 63.531\r\n747.1164 2.257\r\n"
                               "794.8176 0\r\n826.4522 40\r\n"));
    data.SelectedLines[7].Data.Aki = 0;
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = 0.5 + 0.01 * line.Intensity;
    TIntensityData given(data);
    EXPECT_EQ(given.Noise(), TNoiseModel::Given);
    EXPECT_EQ(given.Lines(), 6);
    EXPECT_EQ(given.UpperLevels(), 3);
    EXPECT_EQ(given.DegreesOfFreedom(2), 1);
    // chi^2 of a pair with photon rates q, their sigma s and model fractions b is
    // (q1 b2 - q2 b1)^2 / (s1^2 b2^2 + s2^2 b1^2).
    TCheckedVector<long double> b(data.SelectedLines.size());
    for (std::int32_t i = 0; i < b.size(); ++i)
        b[i] = 0.3L + 0.05L * i;
    long double expected = 0;
    for (std::int32_t k = 0; k < 6; k += 2) {
        const TLine &one = data.SelectedLines[k], &two = data.SelectedLines[k + 1];
        const long double q1 = one.Intensity * one.Data.Wavelength,
                          q2 = two.Intensity * two.Data.Wavelength;
        const long double s1 = one.IntensityUncertainty * one.Data.Wavelength,
                          s2 = two.IntensityUncertainty * two.Data.Wavelength;
        const long double d = q1 * b[k + 1] - q2 * b[k];
        expected += d * d / (s1 * s1 * b[k + 1] * b[k + 1] + s2 * s2 * b[k] * b[k]);
    }
    EXPECT_NEAR(static_cast<double>(given.ChiSquare(b) / expected), 1, 1e-15);
    // 1s5 and 1s4 are absorbed from; 1s3 only by the line of A = 0.
    EXPECT_TRUE(given.Absorbs(0));
    EXPECT_TRUE(given.Absorbs(1));
    EXPECT_FALSE(given.Absorbs(2));
    // One line without an uncertainty: the relative noise, sigma = q.
    data.SelectedLines[3].IntensityUncertainty = 0;
    const TIntensityData relative(data);
    EXPECT_EQ(relative.Noise(), TNoiseModel::Relative);
    EXPECT_EQ(relative.Observed(3), 1);
    EXPECT_EQ(NoiseModelText(TNoiseModel::Relative), "relative, u(I) = s I, s from the fit");
}

TEST_F(Likelihood, TheDemoSpectrumGivesTheQuotedNumbersWithTheirCovariance) {
    Read(test::DemoFile("measurements/argon_5e16.txt"));
    const TLikelihoodFit fit = Fit(1000, 2);
    ASSERT_TRUE(fit.Done);
    EXPECT_EQ(fit.Noise, TNoiseModel::Relative);
    // 29 lines from 10 upper levels, 2 parameters.
    EXPECT_EQ(fit.DegreesOfFreedom, 17);
    EXPECT_TRUE(fit.Divergence.empty());
    ASSERT_TRUE(fit.Quoted);
    const TResultValues& v = fit.Values;
    const auto near = [](long double value, double expected) {
        return std::fabs(static_cast<double>(value) / expected - 1) < 2e-4;
    };
    EXPECT_TRUE(near(v.Densities[0], 4.970e16)) << v.Densities[0];
    EXPECT_TRUE(near(v.Uncertainties[0], 7.075e14)) << v.Uncertainties[0];
    EXPECT_TRUE(near(v.Temperature, 1470.1)) << v.Temperature;
    EXPECT_TRUE(near(v.TemperatureUncertainty, 32.80)) << v.TemperatureUncertainty;
    // s = sqrt(chi^2 / nu): the demo files carry 1 % noise.
    EXPECT_TRUE(near(*fit.Scale, 0.010677)) << *fit.Scale;
    EXPECT_NEAR(static_cast<double>(*fit.Scale * *fit.Scale * 17 / fit.ChiSquare), 1, 1e-15);
    EXPECT_FALSE(fit.PValue);
    // The profile interval is a little wider above than below.
    EXPECT_TRUE(near(*fit.DensityLow, 4.8974e16)) << *fit.DensityLow;
    EXPECT_TRUE(near(*fit.DensityHigh, 5.0433e16)) << *fit.DensityHigh;
    // The densities are the model's populations at the minimum; n_tot's uncertainty takes the
    // covariance of log10 n_1 and T_exc (negative here), so it stays below the sum in
    // quadrature.
    TPrecalcScope scope(data);
    data.ModelBF(fit.Params, 0);
    long double quadrature = 0;
    for (std::int32_t j = 0; j < 4; ++j) {
        EXPECT_EQ(v.Densities[j], data.Levels[j].Population);
        quadrature += v.Uncertainties[j] * v.Uncertainties[j];
    }
    EXPECT_LT((*fit.Covariance)[1], 0);
    EXPECT_TRUE(near(v.TotalUncertainty, 1.0425e15)) << v.TotalUncertainty;
    EXPECT_GT(v.TotalUncertainty, std::sqrt(quadrature));

    // Density alone: every n_k is a multiple of n_1, u(n_k) = (n_k / n_1) u(n_1).
    const TLikelihoodFit density = Fit(1500, 1);
    EXPECT_EQ(density.DegreesOfFreedom, 18);
    const TResultValues& d = density.Values;
    for (std::int32_t j = 1; j < 4; ++j)
        EXPECT_NEAR(static_cast<double>(d.Uncertainties[j] /
                                        (d.Densities[j] / d.Densities[0] * d.Uncertainties[0])),
                    1, 1e-15);
    EXPECT_NEAR(
        static_cast<double>(d.TotalUncertainty / (d.Total / d.Densities[0] * d.Uncertainties[0])),
        1, 1e-15);
    EXPECT_EQ(d.TemperatureUncertainty, 0);
}

TEST_F(Likelihood, GivenUncertaintiesAreNotScaledAndGiveAGoodnessOfFit) {
    Read(test::DemoFile("measurements/argon_5e16.txt"));
    // The demo's 1 % noise given as the uncertainty of every intensity.
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = 0.01 * line.Intensity;
    const TLikelihoodFit fit = Fit(1000, 2);
    EXPECT_EQ(fit.Noise, TNoiseModel::Given);
    EXPECT_FALSE(fit.Scale);
    // chi^2 = 17 s^2 / 0.01^2 with the s estimated above, and the same minimum.
    EXPECT_NEAR(static_cast<double>(fit.ChiSquare), 1.937894e-3 / 1e-4, 1e-3);
    ASSERT_TRUE(fit.PValue);
    EXPECT_NEAR(static_cast<double>(*fit.PValue), 0.308, 0.002);
    EXPECT_NEAR(static_cast<double>(fit.Values.Uncertainties[0] / 7.075e14), 0.01 / 0.010677, 2e-3);
}

TEST_F(Likelihood, TheCoarseGridFindsTheBasinAFirstStepLeaves) {
    // The model's own intensities at n_1 = 1e18 m-3 and 1500 K: the result line's fit from 1e16
    // ends near 4e20 (tests/linemodel/fitquality_test.cpp); the grid includes 1e18.
    Read(test::DemoFile("measurements/argon_5e16.txt"));
    Exact(ModelParams(18, 1500));
    const TLikelihoodFit fit = Fit(1500, 1);
    EXPECT_NEAR(static_cast<double>(Slot(fit.Params, LogDensity)), 18, 1e-9);
    EXPECT_EQ(fit.GridBest.LogDensity, 18);
    EXPECT_EQ(fit.LineFitBest.LogDensity, 18);
    EXPECT_LT(fit.LineFitBest.Sum, 1e-25);
    // Exact intensities leave only the scatter of rounding.
    EXPECT_LT(fit.Values.Uncertainties[0] / fit.Values.Densities[0], 1e-12);
}

TEST_F(Likelihood, ThinLinesBoundTheDensityOnlyFromAbove) {
    // The model's intensities at 1e12 m-3, where no line absorbs, with 2 % given as their
    // uncertainty.
    Read(test::DemoFile("measurements/argon_5e16.txt"));
    Exact(ModelParams(12, 1500));
    for (TLine& line : data.SelectedLines)
        line.IntensityUncertainty = 0.02 * line.Intensity;
    const TLikelihoodFit fit = Fit(1500, 1);
    EXPECT_LT(fit.ChiSquare, 1e-3);
    // chi^2 rises by 1 nowhere below the minimum: no lower bound.
    EXPECT_FALSE(fit.DensityLow);
    ASSERT_TRUE(fit.DensityHigh);
    EXPECT_GT(*fit.DensityHigh, 1e14);
    EXPECT_LT(*fit.DensityHigh, 1e16);
}

TEST_F(Likelihood, TheMapsChiSquareIsTheFitsOnEveryThread) {
    Read(test::DemoFile("measurements/argon_1e16.txt"));
    TParamVector p = ModelParams(0, 0);
    const TMapRange range = {15.5, 16.5, 1000, 2000, 0.25, 250};
    const auto one = ChiSquareGrid(data, p, range, 4, 4, 1);
    const auto three = ChiSquareGrid(data, p, range, 4, 4, 3);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(three[r][c], one[r][c]);
    const TIntensityData intensities(data);
    TChiSquare chi2(intensities, BoltzmannFractions(data));
    Slot(p, LogDensity) = 15.75;
    Slot(p, Temperature) = 1500;
    EXPECT_EQ(one[2][1], static_cast<double>(chi2(p)));
    // Cell by cell the fit's chi^2, also where the model overflows (1e26 m-3), at 0 K (the rows
    // the map's grid model leaves to the point-by-point path) and with the doppler escape factor.
    for (const TEscapeModel& escape : {TEscapeModel(), TEscapeModel::Doppler()}) {
        data.Escape = escape;
        TChiSquare fit(intensities, BoltzmannFractions(data));
        for (const TMapRange& wide :
             {TMapRange{8, 26, 0, 45000, 2, 15000}, TMapRange{14, 20, 10, 40, 0.5, 10}}) {
            const auto grid = ChiSquareGrid(data, p, wide, 4, 10, 2);
            const auto densities = GridValues(wide.FromLogDensity, wide.LogDensityStep, 10);
            const auto temperatures = GridValues(wide.FromTemperature, wide.TemperatureStep, 4);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 10; ++c) {
                    Slot(p, LogDensity) = densities[c];
                    Slot(p, Temperature) = temperatures[r];
                    EXPECT_EQ(grid[r][c], static_cast<double>(fit(p)))
                        << densities[c] << " " << temperatures[r];
                }
        }
    }
    int asked = 0;
    EXPECT_EQ(test::ErrorText<EAbort>([&] {
                  ChiSquareGrid(data, p, range, 4, 4, 1,
                                [&](std::int32_t, std::int32_t) { return ++asked < 2; });
              }),
              "The map was cancelled.");
}

TEST(LikelihoodRules, RisesAndScales) {
    // Two parameters at 68.3 %: chi2_2 quantile -2 ln(1 - 0.683) = 2.298 for given
    // uncertainties; chi2min 2/nu F(2, nu; 0.683) when the scale is estimated.
    EXPECT_NEAR(static_cast<double>(*ChiSquareRise(TNoiseModel::Given, 5, 10, 2, 0.683)),
                -2 * std::log(1 - 0.683), 1e-12);
    // F(2, nu; q) = nu / 2 ((1 - q)^(-2 / nu) - 1).
    const double f = 10.0 / 2 * (std::pow(1 - 0.683, -2.0 / 10) - 1);
    EXPECT_NEAR(static_cast<double>(*ChiSquareRise(TNoiseModel::Relative, 5, 10, 2, 0.683)),
                5 * 2.0 / 10 * f, 1e-12);
    EXPECT_FALSE(ChiSquareRise(TNoiseModel::Relative, 5, 0, 2, 0.683));
    EXPECT_FALSE(ChiSquareScale(TNoiseModel::Relative, 5, 0));
    EXPECT_EQ(*ChiSquareScale(TNoiseModel::Given, 5, 0), 1);
}

} // namespace
} // namespace zelt
