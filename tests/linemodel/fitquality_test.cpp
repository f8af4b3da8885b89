// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/fitquality.h"

#include "linemodel/atomicdata.h"
#include "linemodel/likelihood.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ModelParams;
using Texts = std::vector<std::string>;

// The demo spectrum of 2e17 m-3 and 1500 K, and the three pairs of its lines from 2p2, 2p3
// and 2p4 to 1s5 and 1s4.
const std::string kDemo = test::DemoFile("measurements/argon_2e17.txt");
const std::string kPairs = "696.5431 381.634\r\n727.2936 161.595\r\n706.7218 216.755\r\n"
                           "738.3980 386.587\r\n714.7042 63.531\r\n747.1164 2.257\r\n";

class Quality : public ::testing::Test {
protected:
    void SetUp() override { test::LoadArgon(data); }
    void Read(const std::string& file) {
        data.ImportLines(file);
        data.CalcBranchingFractions();
    }
    void ReadText(const std::string& text) { Read(folder.Write("f.txt", text)); }
    // A fit as zeltfit-cli makes it with the demo configuration (gas temperature 400 K, path
    // 0.05 m, Boltzmax 4, 50 iterations); `line` receives its result line.
    TFitResult Fit(long double logDensity, long double temperature, std::int32_t fitCount,
                   long double path = 0.05, long double levels = 4, long double gas = 400) {
        TReportList report;
        data.ResultHeaderCount = 1;
        const TFitResult fit =
            data.FitLines(ModelParams(logDensity, temperature, path, levels, gas), 50, fitCount, 0,
                          "f.txt", folder.File("zeltfit.txt"), &report, 0);
        line = report.back();
        return fit;
    }
    // The same as "Fit" makes it: judged with the likelihood fit over the demo's map range.
    TFitResult FitJudged(long double logDensity, long double temperature, std::int32_t fitCount) {
        TParamVector p = ModelParams(logDensity, temperature);
        Slot(p, FitCount) = fitCount;
        const TLikelihoodFit likelihood = FitLikelihood(data, p, {15, 18, 500, 4000});
        TReportList report;
        data.ResultHeaderCount = 1;
        const TFitResult fit = data.FitLines(p, 50, fitCount, 0, "f.txt",
                                             folder.File("zeltfit.txt"), &report, 0, &likelihood);
        line = report.back();
        return fit;
    }
    // Intensities of the model at n_1 = 10^logDensity m-3 and 1500 K, times (1 + noise g), g
    // normal from `seed`.
    void Synthetic(long double logDensity, long double noise = 0, std::uint64_t seed = 0) {
        Read(kDemo);
        const TParamVector truth = ModelParams(logDensity, 1500);
        TUniformRandom random(seed);
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            TLine& l = data.SelectedLines[i];
            l.Intensity = static_cast<double>(data.ModelBF(truth, i) / l.Data.Wavelength *
                                              (1 + GaussRandom(0, noise, random)));
        }
        data.ClearPrecalc();
        data.CalcBranchingFractions();
    }
    std::string Procedure(long double logDensity, long double temperature, std::int32_t fitCount,
                          long double path = 0.05, long double levels = 4, long double gas = 400) {
        return Fit(logDensity, temperature, fitCount, path, levels, gas).Quality.Procedure;
    }

    test::TempFolder folder;
    TAtomicData data{nullptr};
    std::string line;
};

TEST_F(Quality, ASoundFitKeepsItsLineAndItsLikelihoodFinds) {
    Read(kDemo);
    TFitResult fit = FitJudged(16, 1000, 2);
    EXPECT_EQ(line, "2.941E+017 1.883E+015  2.018E+017 1.738E+015 6.782E+016 6.584E+014 "
                    "1.050E+016 1.418E+014 1.404E+016 2.631E+014  1507    12 1.672E-004 f.txt  "
                    "fit:OK");
    EXPECT_EQ(fit.Quality.Flags, 0u);
    EXPECT_TRUE(fit.Quality.Problems.empty());
    ASSERT_TRUE(fit.Likelihood && fit.Likelihood->Quoted);
    // 29 lines from 10 upper levels: nu = 19, 17 after the two parameters.
    EXPECT_EQ(fit.Quality.Fractions, 19);
    EXPECT_EQ(fit.Quality.DegreesOfFreedom, 17);
    EXPECT_EQ(fit.Likelihood->DegreesOfFreedom, 17);
    EXPECT_EQ(fit.Quality.SumOfSquares, fit.SumOfSquares);
    EXPECT_EQ(*fit.Quality.SumPerPoint, fit.SumOfSquares / 27);
    EXPECT_FALSE(fit.Quality.ChiSquarePerDegree);

    // With every intensity's uncertainty given, chi^2 / nu is the likelihood's.
    for (TLine& l : data.SelectedLines)
        l.IntensityUncertainty = 0.01 * l.Intensity;
    fit = FitJudged(16, 1000, 2);
    ASSERT_TRUE(fit.Quality.ChiSquarePerDegree);
    EXPECT_EQ(*fit.Quality.ChiSquarePerDegree, fit.Likelihood->ChiSquare / 17);
}

// The referee case: the model's own intensities at 1e18 m-3 and 1500 K, fitted from
// 1e16 m-3 at that temperature: the first step jumps to log10 n_1 = 21.06 and the fit ends near
// 4e20 m-3, where the coarse grid's 1e18 m-3 fits far better. Its numbers stay.
TEST_F(Quality, ALocalMinimumIsNamedWithTheGridsBetterPoint) {
    Synthetic(18);
    const TFitResult fit = FitJudged(16, 1500, 1);
    EXPECT_TRUE(line.starts_with("5.773E+020 5.376E+020  3.965E+020 5.376E+020 ")) << line;
    EXPECT_TRUE(line.ends_with("  1500     0 2.815E-001 f.txt  fit:local minimum")) << line;
    EXPECT_EQ(fit.Quality.Problems,
              (Texts{"The fit ended at S = 2.815E-001, but the point n_1 = 1.000E+018 m-3, "
                     "T_exc = 1500 K of a coarse grid over the map's range has S = " +
                         Format("%.3e", {fit.Likelihood->LineFitBest.Sum}) +
                         ": a local minimum; start the fit there.",
                     "The result line's uncertainty of n_1, 5.376E+020 m-3, is not below n_1 = "
                     "3.965E+020 m-3 itself."}));
    // The likelihood fit finds the truth.
    EXPECT_NEAR(static_cast<double>(Slot(fit.Likelihood->Params, LogDensity)), 18, 1e-9);
    // From 3e17 m-3 the fit finds it too, and is sound.
    EXPECT_EQ(FitJudged(17.5, 1500, 1).Quality.Procedure, "fit:sum reached");
}

// Thin lines (1e12 m-3) with 5 % noise and T_exc fitted: fits that run away to a density of 0,
// that end with u(n_1) above n_1, or whose likelihood bounds n_1 only from above.
TEST_F(Quality, ThinDataAreFlaggedNeverAnError) {
    Synthetic(12, 0.05, 8);
    TFitResult fit = FitJudged(16, 1000, 2);
    EXPECT_TRUE(line.starts_with("0.000E+000 0.000E+000  0.000E+000 0.000E+000 ")) << line;
    EXPECT_TRUE(line.ends_with("f.txt  fit:diverged")) << line;
    EXPECT_TRUE(fit.Quality.Problems[0].starts_with("The fit ran away to n_1 = 2.667E-957 m-3"))
        << fit.Quality.Problems[0];
    EXPECT_NE(fit.Quality.Flags & DensityNotDetermined, 0u);

    Synthetic(12, 0.05, 2);
    fit = FitJudged(16, 1000, 2);
    EXPECT_TRUE(line.ends_with("fit:n_1 not determined")) << line;
    EXPECT_EQ(fit.Quality.Problems[0],
              "The result line's uncertainty of n_1, 7.462E+014 m-3, is not below n_1 = "
              "1.753E+014 m-3 itself.");
}
// Started at 1e5 K the fit lands at -1507 K, which the model takes as +1507 K.
TEST_F(Quality, TemperatureAtOrBelowZero) {
    Read(kDemo);
    const TFitResult fit = Fit(17, 1e5, 2);
    EXPECT_EQ(line, "2.941E+017 1.883E+015  2.018E+017 1.738E+015 6.782E+016 6.584E+014 "
                    "1.050E+016 1.418E+014 1.404E+016 2.631E+014 -1507    12 1.672E-004 f.txt  "
                    "fit:T_exc not positive");
    EXPECT_EQ(fit.Quality.Flags, TemperatureNotPositive);
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"T_exc = -1507 K is not above 0 K; the model takes its absolute value."});
    // A fixed temperature below 0 K too, unless no second level is populated.
    EXPECT_EQ(Procedure(17, -1500, 1), "fit:T_exc not positive");
    EXPECT_EQ(Procedure(17, -1500, 1, 0.05, 1), "fit:OK");
}

// An absorption path of 1e-12 m leaves every line thin: the guard holds log10 n_1 at its start
// and the line's u is the guard's. Saturation does the same from the other side.
TEST_F(Quality, ADensityTheDataDoNotMove) {
    Read(kDemo);
    const TFitResult fit = Fit(16, 1000, 1, 1e-12);
    EXPECT_EQ(line, "1.300E+016 2.881E+015  1.000E+016 2.881E+015 2.506E+015 0.000E+000 "
                    "2.631E+014 0.000E+000 2.336E+014 0.000E+000  1000     0 4.385E-001 f.txt  "
                    "fit:n_1 not determined");
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"log10 n_1: the data do not move it (the minimiser's guard held it fixed), so "
                    "its uncertainty is the guard's, not the data's."});

    EXPECT_EQ(Procedure(16, 1000, 1, 1e30), "fit:n_1 not determined");
    EXPECT_EQ(Procedure(16, 1000, 1, 0.05, 4, 1e-300), "fit:n_1 not determined");
    EXPECT_EQ(Procedure(-308, 1000, 1), "fit:n_1 not determined");
}

TEST_F(Quality, ATemperatureTheDataDoNotResolve) {
    Read(kDemo);
    // From 1e7 K the populations hardly differ from g_j / g_1: the guard holds T_exc.
    TFitResult fit = Fit(16, 1e7, 2);
    EXPECT_EQ(fit.Quality.Procedure, "fit:T_exc not determined");
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"T_exc: the data do not move it (the minimiser's guard held it fixed), so "
                    "its uncertainty is the guard's, not the data's."});
    EXPECT_EQ(Procedure(16, 1e308, 2), "fit:T_exc not determined");
    EXPECT_EQ(Procedure(16, 1000, 2, 0.05, 1), "fit:T_exc not determined");

    // Where the guard did not act: dE / kT below 1e-3 (the four 1s levels span 0.2797 eV), and
    // an uncertainty as large as the temperature.
    fit = Fit(16, 1000, 2);
    Slot(fit.Params, Temperature) = 4e6;
    fit.Quality = JudgeFit(data.SelectedLines, data.Levels, fit, 2, {false, false}, {});
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"T_exc = 4000000 K is beyond what the populations resolve: the absorbing "
                    "levels span 0.2797 eV, dE/(k T_exc) = 8.1E-004, below 1.0E-003."});
    Slot(fit.Params, Temperature) = 1500;
    fit = FitJudged(16, 1000, 2);
    fit.Likelihood->Values.TemperatureUncertainty = 3136;
    fit.Quality = JudgeFit(data.SelectedLines, data.Levels, fit, 2, {false, false}, {});
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"The uncertainty of T_exc, 3136 K, is not below T_exc = 1509 K itself."});
}

// Two lines of one upper level give one independent fraction for two parameters.
TEST_F(Quality, FewerFractionsThanParameters) {
    ReadText("696.5431 381.634\r\n727.2936 161.595\r\n");
    const TFitResult fit = Fit(16, 1000, 2);
    EXPECT_EQ(fit.Quality.Procedure, "fit:too few fractions");
    EXPECT_EQ(fit.Quality.Problems[0], "1 independent branching fraction(s) for 2 fitted "
                                       "parameter(s): an upper level with m measured lines "
                                       "gives m - 1.");
    EXPECT_EQ(Procedure(16, 1000, 1), "fit:sum reached"); // one fraction for one parameter
    // A map, too: nu below its two parameters.
    data.InitMap(3, 3);
    TParamVector p = ModelParams(0, 0);
    TMapRange range;
    data.CalcMap(3, 3, p, 15, 17, 1000, 4000, "f.txt", range, nullptr, 0);
    EXPECT_EQ(data.MapQuality.Procedure, "map:too few fractions");
}

TEST_F(Quality, NoInformationAtAll) {
    ReadText("696.5431 0\r\n727.2936 0\r\n706.7218 -1\r\n738.3980 0\r\n");
    TFitResult fit = Fit(16, 1000, 2);
    EXPECT_EQ(line, "1.300E+016 0.000E+000  1.000E+016 0.000E+000 2.506E+015 0.000E+000 "
                    "2.631E+014 0.000E+000 2.336E+014 0.000E+000  1000     0 0.000E+000 f.txt  "
                    "fit:no information");
    EXPECT_EQ(fit.Quality.Problems[0], "No selected line has a positive intensity.");
    Read(kDemo);
    fit = Fit(16, 1000, 1, 0.05, 0);
    EXPECT_EQ(fit.Quality.Problems[0],
              "No level is populated (Boltzmax below 1), so no line absorbs.");
    EXPECT_EQ(fit.Quality.Procedure, "fit:no information");
    // The map of such a spectrum is flat; a sound one says "map" as before.
    data.InitMap(3, 3);
    TParamVector p = ModelParams(0, 0, 0.05, 0);
    TMapRange range;
    TReportList report;
    data.CalcMap(3, 3, p, 15, 17, 1000, 4000, "f.txt", range, &report, 0);
    EXPECT_TRUE(report.back().ends_with("f.txt  map:no information")) << report.back();
    p = ModelParams(0, 0);
    data.CalcMap(3, 3, p, 15, 17, 1000, 4000, "f.txt", range, &report, 0);
    EXPECT_TRUE(report.back().ends_with("f.txt  map")) << report.back();
    EXPECT_EQ(data.MapQuality.Flags, 0u);
    EXPECT_EQ(*data.MapQuality.SumPerPoint, Slot(p, ResultRSS));
    EXPECT_EQ(data.MapQuality.SumOfSquares, Slot(p, ResultRSS) * 27);
}

// A background subtraction can leave a weak line below zero: kept, warned about, flagged.
TEST_F(Quality, ANegativeIntensity) {
    std::string text = "696.5431 381.634\r\n727.2936 161.595\r\n706.7218 216.755\r\n"
                       "738.3980 386.587\r\n714.7042 63.531\r\n747.1164 -2.257\r\n";
    ReadText(text);
    EXPECT_EQ(data.ImportWarnings.size(), 1u);
    const TFitResult fit = Fit(16, 1000, 1);
    EXPECT_EQ(fit.Quality.Procedure, "fit:negative intensity");
    EXPECT_EQ(fit.Quality.Problems,
              Texts{"1 line(s) with a negative intensity, the first at 747.1164 nm: their "
                    "measured fractions are not physical."});
}

} // namespace
} // namespace zelt
