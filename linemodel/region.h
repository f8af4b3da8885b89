// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The joint confidence region of log10 n_1 and T_exc. For a least-squares fit of p = 2
// parameters with an unknown error scale the region at level 1 - alpha is
//     S(theta) <= S_min (1 + p/nu F(p, nu; 1 - alpha))
// (Beale 1960; Bates and Watts, Nonlinear Regression Analysis, ch. 6), S the sum of squares,
// F the quantile of the F distribution and nu the degrees of freedom. The map's region is that
// of the likelihood of the intensities (RegionBound) as grid cells; the result
// line's fit's covariance gives the linearised region of its sum of squares, an ellipse.

#include "linemodel/modeltypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// The number of parameters of a map and of a two-parameter fit.
inline constexpr std::int32_t kRegionParameters = 2;
// The levels the window offers: about one, two and three standard deviations.
inline constexpr std::array<double, 3> kRegionLevels = {0.683, 0.954, 0.997};

// Independent branching fractions of the selected lines: the fractions of one upper level add
// up to 1, so an upper level with m measured lines gives m - 1 of them. Lines without a
// measured fraction (BFMeasured <= 0) are no observations: the fit gives them weight 0 and
// they are not counted.
std::int32_t IndependentFractions(const TCheckedVector<TLine>& lines);

// nu = independent fractions - 2: the demo spectrum's 29 lines from 10 upper levels give 17.
std::int32_t RegionDegreesOfFreedom(const TCheckedVector<TLine>& lines);

// The quantile F(2, nu; level) of the F distribution (Boost.Math), level in (0, 1), nu >= 1.
long double FQuantile(std::int32_t nu, long double level);

// The region's bound on the sum of squares relative to its minimum: 1 + 2/nu F(2, nu; level).
long double RegionFactor(std::int32_t nu, long double level);

// A point of the map's plane: x = log10 n_1 (n_1 in m-3), y = T_exc in K.
struct TPlanePoint {
    double X = 0, Y = 0;
};
// A closed line: its last point repeats the first.
using TOutline = std::vector<TPlanePoint>;

// The region of a map at one level.
struct TMapRegion {
    double Level = 0;                  // e.g. 0.683
    std::int32_t DegreesOfFreedom = 0; // nu
    std::int32_t Parameters = kRegionParameters;
    TNoiseModel Noise = TNoiseModel::Relative;
    bool Exists = false;  // false where nu allows no region (RegionBound) or the map is empty
    double Threshold = 0; // the largest chi^2 inside, RegionBound
    double FromLogDensity = 0, ToLogDensity = 0;   // extent over the grid values of its cells
    double FromTemperature = 0, ToTemperature = 0; // K
    bool CutByGrid = false;                        // a cell of the region lies on the grid's edge
    // No grid point lies inside: the region is smaller than the grid's cells, or lies outside
    // the grid; its extent is then the minimum's point.
    enum class TNoCell { No, BetweenPoints, OutsideGrid } NoCell = TNoCell::No;
    double LogDensityStep = 0, TemperatureStep = 0; // of the map, for the extent's decimals
    std::vector<TOutline> Outlines; // its border, one closed line per connected piece
};

// The rise of chi^2 above its minimum chi2min that bounds a region of `parameters` parameters
// at `level`: chi2_quantile(parameters; level) for given uncertainties (Wilks), and
// chi2min p/nu F(p, nu; level) when the scale is estimated (Beale 1960). Absent with nu < 1
// for an estimated scale, or nu < 0.
std::optional<long double> ChiSquareRise(TNoiseModel noise, long double chi2min, std::int32_t nu,
                                         std::int32_t parameters, long double level);

// The chi^2 of a map's grid and the minimum its confidence region rises from.
struct TChiSquareMap {
    TCheckedVector<TCheckedVector<double>> Grid; // ChiSquareGrid (likelihood.h)
    TNoiseModel Noise = TNoiseModel::Relative;
    // log10 n_1 and T_exc, or log10 n_1 alone where the map has a single temperature.
    std::int32_t Parameters = 2;
    std::int32_t DegreesOfFreedom = 0; // nu = lines - upper levels with lines - Parameters
    long double Minimum = 0;           // chi^2_min
    long double MinimumLogDensity = 0, MinimumTemperature = 0; // where it lies
    bool Found = false; // false where no grid point could be computed
};

// The bound of the map's confidence region at `level`: chi^2 <= chi^2_min + ChiSquareRise for
// the map's parameters. Absent where the degrees of freedom allow no region or the map is empty.
std::optional<long double> RegionBound(const TChiSquareMap& map, long double level);

// The region of `map` (rows: temperatures, columns: log10 densities of `range`) at `level`:
// the cells with chi^2 <= RegionBound(map, level). Its outline runs through the bound, linearly
// interpolated between grid points, and along the border of the cells the map shows where the
// region reaches the grid's edge.
TMapRegion MapRegion(const TChiSquareMap& map, const TMapRange& range, double level);

// One line on the region: its level, nu, the threshold (Full only) and the extent, and "cut by
// the grid" when the region reaches the grid's edge; or why there is none.
enum class TRegionDetail { Full, Extent };
std::string RegionText(const TMapRegion& region, TRegionDetail detail = TRegionDetail::Full);

// The linearised region of a two-parameter fit at `level`: with C the minimiser's covariance
// (the inverse of the unscaled normal matrix J^T W J) and S its final sum of squares,
//     S(theta) - S ~ (theta - theta^)^T C^-1 (theta - theta^),
// so the map's bound S(theta) <= S (1 + 2/nu F) becomes the ellipse
//     (theta - theta^)^T C^-1 (theta - theta^) <= S 2/nu F(2, nu; level).
// `points` points around it (and the first again); empty unless the fit has two fitted slots,
// nu >= 1 and C is positive definite.
TOutline ConfidenceEllipse(const TFitResult& fit, std::int32_t nu, double level,
                           std::int32_t points = 120);

} // namespace zelt
