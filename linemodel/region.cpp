// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/region.h"

#include "common/errors.h"
#include "common/format.h"
#include "common/fpcheck.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <unordered_map>

namespace zelt {

namespace {

// 2/nu F(2, nu; level): the region's rise of the sum of squares relative to its minimum.
long double Spread(std::int32_t nu, long double level) {
    return static_cast<long double>(kRegionParameters) / nu * FQuantile(nu, level);
}

// The map padded by one ring of points outside the region on every side, so that the outline
// of a region that reaches the grid's edge closes along the border of the edge cells. Indices
// are those of the padded grid: row r, column c is map point (r - 1, c - 1).
class TPaddedGrid {
public:
    TPaddedGrid(const TCheckedVector<TCheckedVector<double>>& map, const TCheckedVector<double>& xs,
                const TCheckedVector<double>& ys, const TMapRange& range, double threshold)
        : map_(map), xs_(xs), ys_(ys), xStep_(range.LogDensityStep), yStep_(range.TemperatureStep),
          threshold_(threshold) {}

    int Rows() const { return ys_.size() + 2; }
    int Columns() const { return xs_.size() + 2; }

    bool Inside(int r, int c) const { return OnMap(r, c) && Value(r, c) <= threshold_; }

    // Where the outline crosses the edge from the inside point a to its outside neighbour b:
    // interpolated linearly to the threshold between two map points, at the cells' border
    // (halfway) when b is a padding point.
    TPlanePoint Crossing(int ra, int ca, int rb, int cb) const {
        const TPlanePoint a = Position(ra, ca), b = Position(rb, cb);
        const double t =
            OnMap(rb, cb) ? (threshold_ - Value(ra, ca)) / (Value(rb, cb) - Value(ra, ca)) : 0.5;
        return {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)};
    }

private:
    bool OnMap(int r, int c) const {
        return r >= 1 && r < Rows() - 1 && c >= 1 && c < Columns() - 1;
    }
    double Value(int r, int c) const { return map_[r - 1][c - 1]; }
    // Padding points lie one step before the first and after the last grid value.
    static double Coordinate(const TCheckedVector<double>& values, double step, int i) {
        if (i == 0)
            return values[0] - step;
        if (i == values.size() + 1)
            return values.back() + step;
        return values[i - 1];
    }
    TPlanePoint Position(int r, int c) const {
        return {Coordinate(xs_, xStep_, c), Coordinate(ys_, yStep_, r)};
    }

    const TCheckedVector<TCheckedVector<double>>& map_;
    const TCheckedVector<double>& xs_;
    const TCheckedVector<double>& ys_;
    double xStep_, yStep_;
    double threshold_;
};

// The outline by marching squares: in each square of four neighbouring points the border
// enters and leaves through the edges whose ends lie on different sides of the threshold.
// Each crossed edge is shared by two squares, so the pieces join into closed lines.
std::vector<TOutline> Outlines(const TPaddedGrid& grid) {
    struct TCrossing {
        TPlanePoint Point;
        long long Links[2] = {-1, -1};
    };
    std::unordered_map<long long, TCrossing> crossings;
    const long long columns = grid.Columns();
    // Edge (r, c) -> (r, c + 1) is 2 (r C + c), edge (r, c) -> (r + 1, c) is 2 (r C + c) + 1.
    const auto horizontal = [&](int r, int c) { return 2 * (r * columns + c); };
    const auto vertical = [&](int r, int c) { return 2 * (r * columns + c) + 1; };
    const auto link = [&](long long from, long long to) {
        long long* links = crossings[from].Links;
        links[links[0] < 0 ? 0 : 1] = to;
    };
    for (int r = 0; r + 1 < grid.Rows(); ++r)
        for (int c = 0; c + 1 < grid.Columns(); ++c) {
            // Corners counter-clockwise from (r, c); edge k runs from corner k to corner k + 1.
            const int rows[4] = {r, r, r + 1, r + 1}, cols[4] = {c, c + 1, c + 1, c};
            const long long edges[4] = {horizontal(r, c), vertical(r, c + 1), horizontal(r + 1, c),
                                        vertical(r, c)};
            bool inside[4];
            for (int k = 0; k < 4; ++k)
                inside[k] = grid.Inside(rows[k], cols[k]);
            int crossed[4], count = 0;
            for (int k = 0; k < 4; ++k) {
                const int next = (k + 1) % 4;
                if (inside[k] == inside[next])
                    continue;
                crossed[count++] = k;
                const int in = inside[k] ? k : next, out = inside[k] ? next : k;
                crossings[edges[k]].Point = grid.Crossing(rows[in], cols[in], rows[out], cols[out]);
            }
            if (count == 2) {
                link(edges[crossed[0]], edges[crossed[1]]);
                link(edges[crossed[1]], edges[crossed[0]]);
            } else if (count == 4) {
                // A saddle: the two inside corners stay apart, as cells touching at a corner.
                for (int k = 0; k < 4; ++k)
                    if (inside[k]) {
                        const long long before = edges[(k + 3) % 4], after = edges[k];
                        link(before, after);
                        link(after, before);
                    }
            }
        }
    // Walk each closed line once, in the order of the edge numbers for a stable result.
    std::map<long long, bool> visited;
    for (const auto& [edge, crossing] : crossings)
        visited[edge] = false;
    std::vector<TOutline> outlines;
    for (auto& [start, done] : visited) {
        if (done)
            continue;
        TOutline outline;
        long long previous = -1, current = start;
        do {
            visited[current] = true;
            const TCrossing& crossing = crossings.at(current);
            outline.push_back(crossing.Point);
            const long long next =
                crossing.Links[0] != previous ? crossing.Links[0] : crossing.Links[1];
            previous = current;
            current = next;
        } while (current != start && current >= 0);
        outline.push_back(outline.front());
        outlines.push_back(std::move(outline));
    }
    return outlines;
}

// A grid value with the decimals of the grid step, at most one beyond the step's first
// significant digit: steps of 0.25, 0.001 and 2/30 show 15.25, 16.693 and 16.667.
std::string AxisText(double value, double step) {
    if (step == 0)
        return FloatToStr(value);
    const double size = std::abs(step);
    const int most = std::clamp(static_cast<int>(std::ceil(-std::log10(size))) + 1, 0, 15);
    int decimals = 0;
    for (double scaled = size; decimals < most; ++decimals, scaled *= 10)
        if (std::abs(scaled - std::round(scaled)) < 1e-9 * scaled)
            break;
    return Format("%." + std::to_string(decimals) + "f", {value});
}

} // namespace

std::int32_t IndependentFractions(const TCheckedVector<TLine>& lines) {
    std::map<std::int32_t, std::int32_t> measured; // upper level -> measured lines
    for (const TLine& line : lines)
        if (line.BFMeasured > 0)
            ++measured[line.UpperLevel];
    std::int32_t count = 0;
    for (const auto& [level, m] : measured)
        count += m - 1;
    return count;
}

std::int32_t RegionDegreesOfFreedom(const TCheckedVector<TLine>& lines) {
    return IndependentFractions(lines) - kRegionParameters;
}

long double FQuantile(std::int32_t nu, long double level) {
    if (nu < 1 || !(level > 0 && level < 1))
        throw ERangeError(
            Format("No F quantile for %d degrees of freedom at level %s", {nu, FloatToStr(level)}));
    const boost::math::fisher_f_distribution<long double> distribution(kRegionParameters, nu);
    return boost::math::quantile(distribution, level);
}

long double RegionFactor(std::int32_t nu, long double level) {
    return 1 + Spread(nu, level);
}

std::optional<long double> ChiSquareRise(TNoiseModel noise, long double chi2min, std::int32_t nu,
                                         std::int32_t parameters, long double level) {
    if (noise == TNoiseModel::Given) {
        if (nu < 0)
            return std::nullopt;
        const boost::math::chi_squared_distribution<long double> distribution(parameters);
        return boost::math::quantile(distribution, level);
    }
    if (nu < 1)
        return std::nullopt;
    const boost::math::fisher_f_distribution<long double> distribution(parameters, nu);
    return chi2min * parameters / nu * boost::math::quantile(distribution, level);
}

std::optional<long double> RegionBound(const TChiSquareMap& map, long double level) {
    if (!map.Found)
        return std::nullopt;
    const std::optional<long double> rise =
        ChiSquareRise(map.Noise, map.Minimum, map.DegreesOfFreedom, map.Parameters, level);
    if (!rise)
        return std::nullopt;
    return map.Minimum + *rise;
}

TMapRegion MapRegion(const TChiSquareMap& chi2, const TMapRange& range, double level) {
    TMapRegion region;
    region.Level = level;
    region.DegreesOfFreedom = chi2.DegreesOfFreedom;
    region.Parameters = chi2.Parameters;
    region.Noise = chi2.Noise;
    region.LogDensityStep = range.LogDensityStep;
    region.TemperatureStep = range.TemperatureStep;
    const TCheckedVector<TCheckedVector<double>>& map = chi2.Grid;
    if (map.empty() || map[0].empty())
        return region;
    FpReset();
    const std::optional<long double> bound = RegionBound(chi2, level);
    if (!bound)
        return region;
    region.Threshold = static_cast<double>(*bound);
    FpCheck("the threshold of the confidence region");
    region.Exists = true;
    const std::int32_t rows = map.size(), columns = map[0].size();

    const TCheckedVector<double> xs =
        GridValues(range.FromLogDensity, range.LogDensityStep, columns);
    const TCheckedVector<double> ys =
        GridValues(range.FromTemperature, range.TemperatureStep, rows);
    bool first = true;
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c) {
            if (map[r][c] > region.Threshold)
                continue;
            const double x = xs[c], y = ys[r];
            region.FromLogDensity = first ? x : std::min(region.FromLogDensity, x);
            region.ToLogDensity = first ? x : std::max(region.ToLogDensity, x);
            region.FromTemperature = first ? y : std::min(region.FromTemperature, y);
            region.ToTemperature = first ? y : std::max(region.ToTemperature, y);
            first = false;
            if (r == 0 || r == rows - 1 || c == 0 || c == columns - 1)
                region.CutByGrid = true;
        }
    if (first) {
        region.FromLogDensity = region.ToLogDensity = static_cast<double>(chi2.MinimumLogDensity);
        region.FromTemperature = region.ToTemperature =
            static_cast<double>(chi2.MinimumTemperature);
        // Within half a step of the grid's points on each axis.
        const auto within = [](double value, const TCheckedVector<double>& axis, double step) {
            const double half = std::abs(step) / 2;
            return value >= std::min(axis[0], axis.back()) - half &&
                   value <= std::max(axis[0], axis.back()) + half;
        };
        region.NoCell = within(region.FromLogDensity, xs, range.LogDensityStep) &&
                                within(region.FromTemperature, ys, range.TemperatureStep)
                            ? TMapRegion::TNoCell::BetweenPoints
                            : TMapRegion::TNoCell::OutsideGrid;
    }
    region.Outlines = Outlines(TPaddedGrid(map, xs, ys, range, region.Threshold));
    FpCheck("the outline of the confidence region");
    return region;
}

std::string RegionText(const TMapRegion& region, TRegionDetail detail) {
    std::string text = "Region " + FloatToStr(region.Level * 100) + " %: ";
    if (!region.Exists) {
        // An estimated noise scale takes one degree of freedom more.
        const std::int32_t fractions = region.DegreesOfFreedom + region.Parameters;
        const std::int32_t needed =
            region.Parameters + (region.Noise == TNoiseModel::Relative ? 1 : 0);
        if (fractions >= needed)
            return text + "none, the map is empty";
        return text +
               Format("none, the measured lines give %d independent branching %s for %d "
                      "%s (at least %d needed)",
                      {fractions, fractions == 1 ? "fraction" : "fractions", region.Parameters,
                       region.Parameters == 1 ? "parameter" : "parameters", needed});
    }
    if (detail == TRegionDetail::Full)
        text += Format("%d degrees of freedom, RSS <= %.3e, ",
                       {region.DegreesOfFreedom, region.Threshold});
    text += Format("log10 n_1 [m-3] from %s to %s, T_exc from %s to %s K",
                   {AxisText(region.FromLogDensity, region.LogDensityStep),
                    AxisText(region.ToLogDensity, region.LogDensityStep),
                    AxisText(region.FromTemperature, region.TemperatureStep),
                    AxisText(region.ToTemperature, region.TemperatureStep)});
    if (region.CutByGrid)
        text += ", cut by the grid";
    if (region.NoCell == TMapRegion::TNoCell::BetweenPoints)
        text += ", between grid points";
    if (region.NoCell == TMapRegion::TNoCell::OutsideGrid)
        text += ", outside the grid";
    return text;
}

TOutline ConfidenceEllipse(const TFitResult& fit, std::int32_t nu, double level,
                           std::int32_t points) {
    // Slot FitCount keeps the number of fitted slots the fit was asked for.
    if (Slot(fit.Params, FitCount) != kRegionParameters || nu < 1 || points < 3)
        return {};
    FpReset();
    const long double c11 = fit.Covariance[1], c12 = fit.Covariance[2], c22 = fit.Covariance[4];
    // C = L L^T with L lower triangular; theta = theta^ + r L (cos phi, sin phi) then gives
    // (theta - theta^)^T C^-1 (theta - theta^) = r^2 = S 2/nu F.
    if (!(c11 > 0))
        return {};
    const long double l11 = std::sqrt(c11), l21 = c12 / l11, rest = c22 - l21 * l21;
    if (!(rest > 0))
        return {};
    const long double l22 = std::sqrt(rest);
    const long double radius = std::sqrt(fit.SumOfSquares * Spread(nu, level));
    const long double x = Slot(fit.Params, LogDensity), y = Slot(fit.Params, Temperature);
    TOutline ellipse;
    for (std::int32_t k = 0; k < points; ++k) {
        const long double phi = 2 * std::numbers::pi_v<long double> * k / points;
        const long double u = radius * std::cos(phi), v = radius * std::sin(phi);
        ellipse.push_back(
            {static_cast<double>(x + l11 * u), static_cast<double>(y + l21 * u + l22 * v)});
    }
    ellipse.push_back(ellipse.front());
    FpCheck("the ellipse of the fit's covariance");
    return ellipse;
}

} // namespace zelt
