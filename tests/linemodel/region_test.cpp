// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/region.h"

#include "modelfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

TEST(Region, ThresholdFromTheFQuantile) {
    // F(2, 17; 0.683) by scipy.stats.f.ppf; F(2, 17; 0.95) from the printed tables.
    EXPECT_NEAR(static_cast<double>(FQuantile(17, 0.683L)), 1.2301119267120946, 1e-15);
    EXPECT_NEAR(static_cast<double>(FQuantile(17, 0.95L)), 3.5915, 5e-5);
    // With 2 parameters the bound 1 + 2/nu F(2, nu; q) is (1 - q)^(-2/nu) in closed form.
    for (const std::int32_t nu : {1, 17, 100})
        for (const double level : kRegionLevels)
            EXPECT_NEAR(static_cast<double>(RegionFactor(nu, level)),
                        std::pow(1 - level, -2.0 / nu), 1e-12 * std::pow(1 - level, -2.0 / nu))
                << nu << " " << level;
    EXPECT_EQ(test::ErrorText<ERangeError>([] { FQuantile(0, 0.683L); }),
              "No F quantile for 0 degrees of freedom at level 0.683");
}

TEST(Region, DegreesOfFreedomOfTheDemoSpectrum) {
    TAtomicData data(nullptr);
    test::LoadArgon(data);
    data.ImportLines(test::DemoFile("measurements/argon_5e16.txt"));
    data.CalcBranchingFractions();
    ASSERT_EQ(data.SelectedLines.size(), 29);
    EXPECT_EQ(IndependentFractions(data.SelectedLines), 19); // 29 lines, 10 upper levels
    EXPECT_EQ(RegionDegreesOfFreedom(data.SelectedLines), 17);
    // A line without a measured fraction is no observation.
    data.SelectedLines[7].BFMeasured = 0;
    EXPECT_EQ(RegionDegreesOfFreedom(data.SelectedLines), 16);
}

// A fit whose sum of squares is exactly quadratic, S(theta) = S + d^T C^-1 d with d = theta -
// theta^, as a linear model gives: the map's region is then the fit's ellipse.
class QuadraticRegion : public ::testing::Test {
protected:
    QuadraticRegion() {
        Slot(fit.Params, LogDensity) = 16.7;
        Slot(fit.Params, Temperature) = 1500;
        Slot(fit.Params, FitCount) = 2;
        fit.SumOfSquares = 1;
        fit.Covariance[1] = 4e-4;                    // u(log10 n_1) = 0.02
        fit.Covariance[2] = fit.Covariance[3] = 0.6; // correlation 0.6
        fit.Covariance[4] = 2500;                    // u(T) = 50 K
    }
    // d^T C^-1 d
    double Distance(double x, double y) const {
        const double a = 4e-4, b = 0.6, c = 2500, dx = x - 16.7, dy = y - 1500;
        return (c * dx * dx - 2 * b * dx * dy + a * dy * dy) / (a * c - b * b);
    }
    // The map of chi^2 = S(theta) / (N - 2), N = 29, over `range` with nD x nT points, with an
    // estimated noise scale and its minimum 1/27 at theta^.
    TChiSquareMap Map(const TMapRange& range, int nD, int nT, std::int32_t nu = 17) const {
        TChiSquareMap map;
        map.Grid.resize(nT);
        const TCheckedVector<double> xs =
            GridValues(range.FromLogDensity, range.LogDensityStep, nD);
        const TCheckedVector<double> ys =
            GridValues(range.FromTemperature, range.TemperatureStep, nT);
        for (int r = 0; r < nT; ++r)
            for (const double x : xs)
                map.Grid[r].push_back((1 + Distance(x, ys[r])) / 27);
        map.DegreesOfFreedom = nu;
        map.Minimum = 1.0L / 27;
        map.Found = true;
        return map;
    }

    TFitResult fit;
    // r^2 = S 2/nu F(2, nu; 0.683), nu = 17
    const double radius2 = 2.0 / 17 * 1.2301119267120946;
};

TEST_F(QuadraticRegion, MapRecoversTheEllipseToAGridStep) {
    const TMapRange range{16.6, 16.8, 1400, 1600, 0.001, 2};
    const TMapRegion region = MapRegion(Map(range, 200, 100), range, 0.683);
    ASSERT_TRUE(region.Exists);
    EXPECT_NEAR(region.Threshold, (1 + radius2) / 27, 1e-15);
    // The bounding box of the ellipse: theta^ +- r sqrt(C_kk).
    const double halfX = std::sqrt(radius2 * 4e-4), halfY = std::sqrt(radius2 * 2500);
    EXPECT_NEAR(region.FromLogDensity, 16.7 - halfX, 0.001);
    EXPECT_NEAR(region.ToLogDensity, 16.7 + halfX, 0.001);
    EXPECT_NEAR(region.FromTemperature, 1500 - halfY, 2);
    EXPECT_NEAR(region.ToTemperature, 1500 + halfY, 2);
    EXPECT_FALSE(region.CutByGrid);
    EXPECT_EQ(RegionText(region), "Region 68.3 %: 17 degrees of freedom, RSS <= 4.240E-002, "
                                  "log10 n_1 [m-3] from 16.693 to 16.707, T_exc from 1482 to "
                                  "1518 K");

    // One closed outline through the threshold, interpolated between grid points.
    ASSERT_EQ(region.Outlines.size(), 1u);
    const TOutline& outline = region.Outlines[0];
    EXPECT_GT(outline.size(), 50u);
    EXPECT_EQ(outline.front().X, outline.back().X);
    EXPECT_EQ(outline.front().Y, outline.back().Y);
    for (const TPlanePoint& point : outline)
        EXPECT_NEAR(Distance(point.X, point.Y) / radius2, 1, 0.02) << point.X << " " << point.Y;

    // The fit's ellipse at the same level lies exactly on the bound.
    const TOutline ellipse = ConfidenceEllipse(fit, 17, 0.683);
    ASSERT_EQ(ellipse.size(), 121u);
    double lowX = 99, highY = 0;
    for (const TPlanePoint& point : ellipse) {
        EXPECT_NEAR(Distance(point.X, point.Y) / radius2, 1, 1e-9);
        lowX = std::min(lowX, point.X);
        highY = std::max(highY, point.Y);
    }
    EXPECT_NEAR(lowX, 16.7 - halfX, halfX * 1e-3);
    EXPECT_NEAR(highY, 1500 + halfY, halfY * 1e-3);
}

TEST_F(QuadraticRegion, CutByTheGrid) {
    // The grid starts at the best density: its first column cuts the region in half.
    const TMapRange range{16.7, 16.72, 1400, 1600, 0.0005, 5};
    const TMapRegion region = MapRegion(Map(range, 40, 40), range, 0.954);
    EXPECT_TRUE(region.CutByGrid);
    EXPECT_EQ(region.FromLogDensity, 16.7);
    EXPECT_TRUE(RegionText(region).ends_with(" K, cut by the grid")) << RegionText(region);
    // The outline closes along the border of the first column's cells.
    ASSERT_EQ(region.Outlines.size(), 1u);
    double lowX = 99;
    for (const TPlanePoint& point : region.Outlines[0])
        lowX = std::min(lowX, point.X);
    EXPECT_NEAR(lowX, 16.7 - 0.00025, 1e-12);
}

TEST_F(QuadraticRegion, SmallerThanACellOrOutsideTheGrid) {
    // Points 0.05 apart in log10 n_1 around 16.7 +- 0.014: none inside; the extent is the
    // minimum's point.
    const TMapRange coarse{16.62, 16.82, 1400, 1600, 0.05, 50};
    TChiSquareMap map = Map(coarse, 4, 4);
    map.MinimumLogDensity = 16.7;
    map.MinimumTemperature = 1500;
    const TMapRegion between = MapRegion(map, coarse, 0.683);
    ASSERT_TRUE(between.Exists);
    EXPECT_TRUE(between.Outlines.empty());
    EXPECT_EQ(RegionText(between, TRegionDetail::Extent),
              "Region 68.3 %: log10 n_1 [m-3] from 16.70 to 16.70, T_exc from 1500 to 1500 K, "
              "between grid points");
    // The minimum beyond the grid's last temperature.
    map.MinimumTemperature = 1800;
    EXPECT_TRUE(RegionText(MapRegion(map, coarse, 0.683)).ends_with(" K, outside the grid"));
}

TEST_F(QuadraticRegion, NoRegionWithoutDegreesOfFreedom) {
    const TMapRange range{16.6, 16.8, 1400, 1600, 0.01, 10};
    const TMapRegion region = MapRegion(Map(range, 20, 20, 0), range, 0.683);
    EXPECT_FALSE(region.Exists);
    EXPECT_TRUE(region.Outlines.empty());
    EXPECT_EQ(RegionText(region), "Region 68.3 %: none, the measured lines give 2 independent "
                                  "branching fractions for 2 parameters (at least 3 needed)");
    EXPECT_TRUE(ConfidenceEllipse(fit, 0, 0.683).empty());
    Slot(fit.Params, FitCount) = 1;
    EXPECT_TRUE(ConfidenceEllipse(fit, 17, 0.683).empty());
}

} // namespace
} // namespace zelt
