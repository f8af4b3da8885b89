// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/linefit.h"

#include "leastsquares/chocho.h"

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

constexpr int kMaxIterations = 12;
constexpr double kShiftConverged = 1e-6; // nm

// The edges of pixel i: halfway to its neighbours' centres, as wide on the far side at the ends.
std::pair<double, double> Edges(const TRawSpectrum& s, std::size_t i) {
    const std::vector<double>& w = s.Wavelengths;
    const double low = i > 0 ? (w[i - 1] + w[i]) / 2 : w[i] - (w[i + 1] - w[i]) / 2;
    const double high = i + 1 < w.size() ? (w[i] + w[i + 1]) / 2 : w[i] + (w[i] - w[i - 1]) / 2;
    return {low, high};
}

} // namespace

double PixelCounts(const TRawSpectrum& s, const TLineShape& shape, std::size_t i, double centre,
                   double counts) {
    const auto [low, high] = Edges(s, i);
    return counts * shape.Between(low - centre, high - centre);
}

TLineFitResult FitLines(const TRawSpectrum& s, const TLineShape& shape, const TLineFitInput& in) {
    TLineFitResult fit;
    const std::size_t k = in.Centres.size(), m = in.Pixels.size();
    const std::size_t shiftIndex = k + 2;
    auto n = static_cast<std::int32_t>(k + 2 + (in.FitShift ? 1 : 0));
    fit.Counts.assign(k, 0);
    fit.Variances.assign(k, 0);
    for (const std::size_t i : in.Pixels)
        fit.Mean += s.Wavelengths[i] / static_cast<double>(m);
    fit.Dof = m > static_cast<std::size_t>(n) ? m - static_cast<std::size_t>(n) : 0;

    // The counts of the lines alone, first from the data above the lower quartile.
    std::vector<double> lines(m);
    {
        std::vector<double> y;
        for (std::size_t p = 0; p < m; ++p)
            y.push_back(s.Counts[in.Pixels[p]] - (in.Fixed.empty() ? 0 : in.Fixed[p]));
        std::vector<double> sorted = y;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(m / 4),
                         sorted.end());
        for (std::size_t p = 0; p < m; ++p)
            lines[p] = std::max(y[p] - sorted[m / 4], 0.0);
    }
    std::vector<std::vector<double>> shares(m, std::vector<double>(k)), slopes = shares;
    TPackedMatrix normal;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        // The shift's derivative needs the lines' counts: it joins from the second step on.
        const bool shift = in.FitShift && iteration > 0;
        n = static_cast<std::int32_t>(k + 2 + (shift ? 1 : 0));
        // The design: each line's share of each pixel, and its slope in the shift (the profile
        // at the pixel's lower edge less that at its upper edge).
        for (std::size_t p = 0; p < m; ++p) {
            const auto [low, high] = Edges(s, in.Pixels[p]);
            for (std::size_t c = 0; c < k; ++c) {
                const double centre = in.Centres[c] + fit.Shift;
                shares[p][c] = shape.Between(low - centre, high - centre);
                slopes[p][c] = shape.At(low - centre) - shape.At(high - centre);
            }
        }
        normal = TPackedMatrix();
        TParamVector right;
        fit.Chi2 = 0;
        for (std::size_t p = 0; p < m; ++p) {
            const std::size_t i = in.Pixels[p];
            const double weight = 1 / (in.Noise[i] + in.Gain * lines[p]);
            double model = fit.Background(s.Wavelengths[i]);
            double shiftSlope = 0;
            for (std::size_t c = 0; c < k; ++c) {
                model += fit.Counts[c] * shares[p][c];
                shiftSlope += fit.Counts[c] * slopes[p][c];
            }
            const double residual = s.Counts[i] - (in.Fixed.empty() ? 0 : in.Fixed[p]) - model;
            fit.Chi2 += weight * residual * residual;
            // The derivatives of the model in the order counts..., a, b, shift.
            TParamVector d;
            for (std::size_t c = 0; c < k; ++c)
                d[static_cast<std::int32_t>(c + 1)] = shares[p][c];
            d[static_cast<std::int32_t>(k + 1)] = 1;
            d[static_cast<std::int32_t>(k + 2)] = s.Wavelengths[i] - fit.Mean;
            if (shift)
                d[static_cast<std::int32_t>(shiftIndex + 1)] = shiftSlope;
            for (std::int32_t r = 1; r <= n; ++r) {
                right[r] += weight * d[r] * residual;
                for (std::int32_t c = 1; c <= r; ++c)
                    normal[r * (r - 1) / 2 + c] += weight * d[r] * d[c];
            }
        }
        bool ok = true;
        TPackedMatrix factor = normal;
        CholDecompose(n, factor, ok);
        if (!ok) {
            fit.Singular = true;
            return fit;
        }
        CholSolve(n, factor, right);
        for (std::size_t c = 0; c < k; ++c)
            fit.Counts[c] += static_cast<double>(right[static_cast<std::int32_t>(c + 1)]);
        fit.A += static_cast<double>(right[static_cast<std::int32_t>(k + 1)]);
        fit.B += static_cast<double>(right[static_cast<std::int32_t>(k + 2)]);
        const double step =
            shift ? static_cast<double>(right[static_cast<std::int32_t>(shiftIndex + 1)]) : 0;
        fit.Shift += step;
        // The lines' counts in each pixel for the next weights.
        double change = 0;
        for (std::size_t p = 0; p < m; ++p) {
            double counts = 0;
            for (std::size_t c = 0; c < k; ++c)
                counts += fit.Counts[c] * shares[p][c];
            change = std::max(change, std::abs(std::max(counts, 0.0) - lines[p]) /
                                          (in.Noise[in.Pixels[p]] + in.Gain * lines[p]));
            lines[p] = std::max(counts, 0.0);
        }
        if ((shift || !in.FitShift) && std::abs(step) < kShiftConverged && change < 1e-4)
            break;
    }
    // The variance of each line's counts: (J^T W J)^-1, scaled up by chi^2 / nu when the
    // pixels scatter more than their noise says.
    TPackedMatrix factor = normal;
    bool ok = true;
    CholDecompose(n, factor, ok);
    const double scale = fit.Dof > 0 ? std::max(1.0, fit.Chi2 / static_cast<double>(fit.Dof)) : 1.0;
    for (std::size_t c = 0; c < k; ++c) {
        TParamVector unit;
        unit[static_cast<std::int32_t>(c + 1)] = 1;
        CholSolve(n, factor, unit);
        fit.Variances[c] = static_cast<double>(unit[static_cast<std::int32_t>(c + 1)]) * scale;
    }
    return fit;
}

} // namespace zelt
